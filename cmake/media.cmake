# The installation media as a product of the build: build/media holds cardsetup.exe beside msie,
# ns, sun and Drivers. The project's own files come from media/; the vendor's files from the
# directory CARDSETUP_VENDOR_DIR names (laid out like the media), or stand-ins without one.
set(CARDSETUP_VENDOR_DIR "" CACHE PATH "Directory with the vendor's files, laid out like the media")
set(CARDSETUP_MEDIA_DIR ${CMAKE_BINARY_DIR}/media)
# Deployment tools' detection script for these media, beside them (not on them).
set(CARDSETUP_DETECTION_RULE ${CMAKE_BINARY_DIR}/cardsetup-detection.ps1)

find_package(Java 1.7 REQUIRED COMPONENTS Development)

# CopyPolicyFile runs in whatever Java runtime the PC has: build it for the oldest release that
# this javac still accepts.
set(probe_dir ${CMAKE_BINARY_DIR}/java-release-probe)
file(WRITE ${probe_dir}/Probe.java "class Probe {}\n")
execute_process(COMMAND ${Java_JAVAC_EXECUTABLE} --release 7 -Xlint:-options -d ${probe_dir}
                        ${probe_dir}/Probe.java
                RESULT_VARIABLE release7_result OUTPUT_QUIET ERROR_QUIET)
if(release7_result EQUAL 0)
  set(CARDSETUP_JAVA_RELEASE 7)
else()
  set(CARDSETUP_JAVA_RELEASE 8)
endif()
message(STATUS "CopyPolicyFile is compiled for Java ${CARDSETUP_JAVA_RELEASE}")

set(class_dir ${CMAKE_BINARY_DIR}/java/media)
set(policy_class ${class_dir}/CopyPolicyFile.class)
add_custom_command(OUTPUT ${policy_class}
  COMMAND ${Java_JAVAC_EXECUTABLE} --release ${CARDSETUP_JAVA_RELEASE} -Xlint:-options
          -encoding UTF-8 -d ${class_dir} ${CMAKE_SOURCE_DIR}/media/sun/CopyPolicyFile.java
  DEPENDS ${CMAKE_SOURCE_DIR}/media/sun/CopyPolicyFile.java
  COMMENT "Compiling CopyPolicyFile for Java ${CARDSETUP_JAVA_RELEASE}")

add_executable(driver_package_stand_in media/stand-ins/driver_package_stand_in.cpp)
if(NOT MSVC)
  target_link_options(driver_package_stand_in PRIVATE -s)
endif()

# Dates inside the media's archives: SOURCE_DATE_EPOCH when it is set, else the last commit's,
# so that two builds of the same sources give the same bytes.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(CARDSETUP_SOURCE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git -C ${CMAKE_SOURCE_DIR} log -1 --format=%ct
                  OUTPUT_VARIABLE CARDSETUP_SOURCE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE git_result ERROR_QUIET)
  if(NOT git_result EQUAL 0 OR CARDSETUP_SOURCE_EPOCH STREQUAL "")
    set(CARDSETUP_SOURCE_EPOCH 315619200)  # 1980-01-02, the earliest date an archive holds
  endif()
endif()
set(saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
set(ENV{SOURCE_DATE_EPOCH} ${CARDSETUP_SOURCE_EPOCH})
string(TIMESTAMP CARDSETUP_SOURCE_DATE "%Y-%m-%dT%H:%M:%SZ" UTC)
set(ENV{SOURCE_DATE_EPOCH} "${saved_epoch}")

# Signing: with a PKCS#12 file, cardsetup.exe and the project's own programs on the media are
# Authenticode-signed with osslsigncode. The password comes from the environment
# (CARDSETUP_SIGN_PASSWORD) and reaches osslsigncode through a file, never a command line.
set(CARDSETUP_SIGN_PKCS12 "$ENV{CARDSETUP_SIGN_PKCS12}" CACHE FILEPATH
    "PKCS#12 file to sign the programs with (password in CARDSETUP_SIGN_PASSWORD)")
set(CARDSETUP_SIGN_TIMESTAMP_URL "$ENV{CARDSETUP_SIGN_TIMESTAMP_URL}" CACHE STRING
    "Time-stamp server for the signatures; none gives signatures without a time stamp")
if(CARDSETUP_SIGN_PKCS12)
  find_program(OSSLSIGNCODE osslsigncode REQUIRED)
endif()

file(GLOB_RECURSE media_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/media/*)
set(vendor_inputs "")
if(CARDSETUP_VENDOR_DIR)
  file(GLOB_RECURSE vendor_inputs CONFIGURE_DEPENDS ${CARDSETUP_VENDOR_DIR}/*)
endif()
set(media_stamp ${CMAKE_BINARY_DIR}/media-assembled.stamp)
add_custom_command(OUTPUT ${media_stamp}
  COMMAND ${CMAKE_COMMAND} -DMEDIA=${CARDSETUP_MEDIA_DIR} -DSOURCE=${CMAKE_SOURCE_DIR}/media
          -DVENDOR=${CARDSETUP_VENDOR_DIR} -DPROGRAM=$<TARGET_FILE:cardsetup>
          -DCLASS=${policy_class} -DSTAND_IN_PACKAGE=$<TARGET_FILE:driver_package_stand_in>
          -DJAR=${Java_JAR_EXECUTABLE} -DSOURCE_DATE=${CARDSETUP_SOURCE_DATE}
          -DSIGN_PKCS12=${CARDSETUP_SIGN_PKCS12} -DSIGN_TIMESTAMP_URL=${CARDSETUP_SIGN_TIMESTAMP_URL}
          -DOSSLSIGNCODE=${OSSLSIGNCODE} -P ${CMAKE_SOURCE_DIR}/cmake/assemble_media.cmake
  COMMAND ${CMAKE_COMMAND} -DMEDIA=${CARDSETUP_MEDIA_DIR} -DVERSION=${PROJECT_VERSION}
          -DTEMPLATE=${CMAKE_SOURCE_DIR}/cmake/detection_rule.ps1.in
          -DOUTPUT=${CARDSETUP_DETECTION_RULE} -P ${CMAKE_SOURCE_DIR}/cmake/detection_rule.cmake
  COMMAND ${CMAKE_COMMAND} -E touch ${media_stamp}
  DEPENDS cardsetup driver_package_stand_in ${policy_class} ${media_sources} ${vendor_inputs}
          ${CMAKE_SOURCE_DIR}/cmake/assemble_media.cmake ${CMAKE_SOURCE_DIR}/cmake/sign.cmake
          ${CMAKE_SOURCE_DIR}/cmake/detection_rule.cmake
          ${CMAKE_SOURCE_DIR}/cmake/detection_rule.ps1.in
  COMMENT "Assembling the installation media in ${CARDSETUP_MEDIA_DIR}")
add_custom_target(media ALL DEPENDS ${media_stamp})
