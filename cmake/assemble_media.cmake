# Run as a script (cmake -P) by the build: assembles the installation media in MEDIA from the
# project's own files in SOURCE, the compiled CopyPolicyFile, the program, and the vendor's files
# from VENDOR (a directory laid out like the media) or, without one, small stand-ins.
# Variables: MEDIA SOURCE VENDOR PROGRAM CLASS STAND_IN_PACKAGE JAR SOURCE_DATE, and SIGN_PKCS12,
# SIGN_TIMESTAMP_URL, OSSLSIGNCODE when the project's programs are to be signed.
cmake_minimum_required(VERSION 3.20)
include(${CMAKE_CURRENT_LIST_DIR}/sign.cmake)

set(vendor_files sun/ocf1.2.jar sun/ocfpcsc1.dll msie/ocfpcsc1.dll ns/ocfpcsc1.dll
    Drivers/410.exe Drivers/twin-driver.exe Drivers/twin64-driver.exe Drivers/twin8-driver.exe
    Drivers/twin8_64-driver.exe)
set(vendor_trees msie/ocf ns/jars)
set(stand_in_note "ATRAPA / STAND-IN: the media were assembled without the vendor's files; real media hold the vendor's file here.\n")

file(REMOVE_RECURSE ${MEDIA})
file(MAKE_DIRECTORY ${MEDIA}/msie ${MEDIA}/ns ${MEDIA}/sun ${MEDIA}/Drivers)
file(COPY ${SOURCE}/sun/opencard.properties ${SOURCE}/sun/java.policy DESTINATION ${MEDIA}/sun)
file(COPY ${SOURCE}/ns/opencard.properties DESTINATION ${MEDIA}/ns)
file(GLOB launchers ${SOURCE}/Drivers/*.bat ${SOURCE}/Drivers/*.cmd)
file(COPY ${launchers} DESTINATION ${MEDIA}/Drivers)
file(COPY ${CLASS} DESTINATION ${MEDIA}/sun)
file(COPY ${PROGRAM} ${SOURCE}/CZYTAJ.TXT DESTINATION ${MEDIA})
sign_program(${MEDIA}/cardsetup.exe)
if(SIGN_PKCS12)
  set(signing "The project's programs on the media are signed with ${SIGN_PKCS12}.")
else()
  set(signing "The programs on the media are NOT SIGNED: no certificate was given (CARDSETUP_SIGN_PKCS12).")
endif()

if(VENDOR)
  foreach(path IN LISTS vendor_files vendor_trees)
    if(NOT EXISTS ${VENDOR}/${path})
      message(FATAL_ERROR "The vendor's directory ${VENDOR} has no ${path}")
    endif()
  endforeach()
  foreach(path IN LISTS vendor_files)
    configure_file(${VENDOR}/${path} ${MEDIA}/${path} COPYONLY)
  endforeach()
  foreach(path IN LISTS vendor_trees)
    file(COPY ${VENDOR}/${path}/ DESTINATION ${MEDIA}/${path})
  endforeach()
  set(origin "Assembled the media in ${MEDIA} with the vendor's files from ${VENDOR}")
  message(STATUS "${origin}\n${signing}")
  file(WRITE ${MEDIA}-origin.txt "${origin}\n${signing}\n")
  return()
endif()

foreach(path sun/ocfpcsc1.dll msie/ocfpcsc1.dll ns/ocfpcsc1.dll msie/ocf/STAND-IN.txt
        ns/jars/STAND-IN.txt)
  file(WRITE ${MEDIA}/${path} "${stand_in_note}")
endforeach()
file(WRITE ${MEDIA}/STAND-IN.txt "${stand_in_note}")
execute_process(COMMAND ${JAR} --create --file ${MEDIA}/sun/ocf1.2.jar --date=${SOURCE_DATE}
                        STAND-IN.txt
                WORKING_DIRECTORY ${MEDIA} RESULT_VARIABLE jar_result)
file(REMOVE ${MEDIA}/STAND-IN.txt)
if(NOT jar_result EQUAL 0)
  message(FATAL_ERROR "jar could not make the stand-in ocf1.2.jar")
endif()
foreach(path Drivers/410.exe Drivers/twin-driver.exe Drivers/twin64-driver.exe
        Drivers/twin8-driver.exe Drivers/twin8_64-driver.exe)
  configure_file(${STAND_IN_PACKAGE} ${MEDIA}/${path} COPYONLY)
  sign_program(${MEDIA}/${path})
endforeach()
set(origin "Assembled the media in ${MEDIA} with STAND-INS for the vendor's files (ocf1.2.jar, ocfpcsc1.dll, msie/ocf, ns/jars, the driver packages); configure with -DCARDSETUP_VENDOR_DIR=<dir> for real media")
message(STATUS "${origin}\n${signing}")
file(WRITE ${MEDIA}-origin.txt "${origin}\n${signing}\n")
