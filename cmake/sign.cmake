# Authenticode signing of one program with osslsigncode, for the media's assembly and for the
# release check. Without SIGN_PKCS12 it does nothing. The password is taken from the environment
# (CARDSETUP_SIGN_PASSWORD) and handed over in a file that only its owner can read.
# Variables: SIGN_PKCS12, SIGN_TIMESTAMP_URL (optional), OSSLSIGNCODE.

function(sign_program program)
  if(NOT SIGN_PKCS12)
    return()
  endif()
  get_filename_component(directory ${program} DIRECTORY)
  set(private ${directory}/.sign)
  set(password_file ${private}/password)
  set(signed ${program}.signed)
  file(MAKE_DIRECTORY ${private})
  file(CHMOD ${private} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  file(WRITE ${password_file} "$ENV{CARDSETUP_SIGN_PASSWORD}")
  set(time_stamp "")
  if(SIGN_TIMESTAMP_URL)
    set(time_stamp -t ${SIGN_TIMESTAMP_URL})
  endif()
  file(REMOVE ${signed})
  execute_process(COMMAND ${OSSLSIGNCODE} sign -pkcs12 ${SIGN_PKCS12} -readpass ${password_file}
                          -n cardsetup ${time_stamp}
                          -in ${program} -out ${signed}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  file(REMOVE_RECURSE ${private})
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "osslsigncode could not sign ${program}:\n${output}")
  endif()
  file(RENAME ${signed} ${program})
endfunction()

# Run as a script (cmake -P) it signs PROGRAM in place.
if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  sign_program(${PROGRAM})
endif()
