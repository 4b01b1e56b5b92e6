# Run as a test (cmake -P): the detection script that the build writes beside the media, RULE,
# holds the SHA-256 of exactly the media's files that the installer puts on the PC, looks for
# them where the installer puts them, needs no more than PowerShell 2.0, and is the one the
# administrators' page names.
# PowerShell is not at hand on Debian: what the script does when it runs is not checked here.
cmake_minimum_required(VERSION 3.20)

set(problems "")
file(READ ${RULE} rule)
file(READ ${DEPLOYING} deploying)

# Each file by its name in the script and its place on the media.
foreach(pair "ocfpcsc1.dll=sun/ocfpcsc1.dll" "ocf1.2.jar=sun/ocf1.2.jar"
        "opencard.properties=sun/opencard.properties")
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 name)
  list(GET pair 1 path)
  file(SHA256 ${MEDIA}/${path} hash)
  string(TOUPPER "${hash}" hash)
  string(REGEX MATCH "'${name}' +=+ '([0-9A-F]*)'" found "${rule}")
  if(NOT CMAKE_MATCH_1 STREQUAL hash)
    list(APPEND problems "${name}: '${CMAKE_MATCH_1}' where the media's ${path} is ${hash}")
  endif()
endforeach()
string(REGEX MATCHALL "\n    '[^']+' += '" named "${rule}")
list(LENGTH named count)
if(NOT count EQUAL 3)
  list(APPEND problems "the script names ${count} files, not the three the installer puts there")
endif()
if(rule MATCHES "@[A-Z0-9_]+@")
  list(APPEND problems "a blank is left: ${CMAKE_MATCH_0}")
endif()

# Where the installer writes: the system directory, and each runtime (a kit's below jre).
foreach(place [[$env:windir\System32\ocfpcsc1.dll]] [[$javaHome\lib\ext\ocf1.2.jar]]
        [[$javaHome\lib\opencard.properties]] [[HKLM:\SOFTWARE\JavaSoft\$family]]
        "'Java Runtime Environment', 'Java Development Kit'" [[$javaHome += '\jre']])
  string(FIND "${rule}" "${place}" at)
  if(at EQUAL -1)
    list(APPEND problems "the script does not look at ${place}")
  endif()
endforeach()

# Windows 7 has PowerShell 2.0: no cmdlet of a later one (Get-FileHash is PowerShell 4's).
if(rule MATCHES "Get-FileHash")
  list(APPEND problems "the script needs PowerShell 4 (Get-FileHash)")
endif()
# The administrators' page names the script and its template.
foreach(name "cardsetup-${VERSION}-detection.ps1" "cmake/detection_rule.ps1.in")
  string(FIND "${deploying}" "${name}" at)
  if(at EQUAL -1)
    list(APPEND problems "docs/deploying.md does not name ${name}")
  endif()
endforeach()

if(problems)
  string(REPLACE ";" "\n  " listed "${problems}")
  message(FATAL_ERROR "The detection script ${RULE}:\n  ${listed}")
endif()
message(STATUS "The detection script names the media's files with their hashes, as docs/deploying.md says")
