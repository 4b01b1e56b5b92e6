# Run as a test (cmake -P): every file that the installer's steps read from the media is in place
# in MEDIA, and is not empty, and so are the user's notes, CZYTAJ.TXT, as NOTES holds them and
# the README points to them. Fails naming each one that is missing.
cmake_minimum_required(VERSION 3.20)

set(files cardsetup.exe CZYTAJ.TXT msie/ocfpcsc1.dll ns/ocfpcsc1.dll ns/opencard.properties
    sun/ocf1.2.jar sun/opencard.properties sun/java.policy sun/ocfpcsc1.dll
    sun/CopyPolicyFile.class Drivers/410.exe Drivers/twin.bat Drivers/twin64.bat Drivers/twin8.bat
    Drivers/twin8_64.bat Drivers/driver-package.cmd Drivers/twin-driver.exe
    Drivers/twin64-driver.exe Drivers/twin8-driver.exe Drivers/twin8_64-driver.exe)
set(trees msie/ocf ns/jars)

set(missing "")
foreach(path IN LISTS files)
  if(NOT EXISTS ${MEDIA}/${path} OR IS_DIRECTORY ${MEDIA}/${path})
    list(APPEND missing ${path})
  else()
    file(SIZE ${MEDIA}/${path} size)
    if(size EQUAL 0)
      list(APPEND missing "${path} (empty)")
    endif()
  endif()
endforeach()
foreach(path IN LISTS trees)
  file(GLOB_RECURSE entries ${MEDIA}/${path}/*)
  if(NOT entries)
    list(APPEND missing "${path}/ (no files)")
  endif()
endforeach()
# Whether the file holds a line feed without its carriage return, read a byte at a time so that
# a pair is only ever matched whole.
function(has_bare_line_feed path result)
  file(READ ${path} hex HEX)
  string(REGEX REPLACE "(..)" "\\1 " bytes "${hex}")
  string(REPLACE "0d 0a " "" without_crlf "${bytes}")
  if(without_crlf MATCHES "(^| )0a ")
    set(${result} TRUE PARENT_SCOPE)
  else()
    set(${result} FALSE PARENT_SCOPE)
  endif()
endfunction()

# cmd.exe misreads labels in batch files with bare line feeds.
foreach(path Drivers/twin.bat Drivers/twin64.bat Drivers/twin8.bat Drivers/twin8_64.bat
        Drivers/driver-package.cmd)
  if(EXISTS ${MEDIA}/${path})
    has_bare_line_feed(${MEDIA}/${path} bare)
    if(bare)
      list(APPEND missing "${path} (line feeds without carriage returns)")
    endif()
  endif()
endforeach()

# The user's notes on the media are the project's CZYTAJ.TXT as it stands, which the README's
# section for the user points to; Notepad reads them on every Windows by their byte-order mark.
if(EXISTS ${MEDIA}/CZYTAJ.TXT)
  file(READ ${MEDIA}/CZYTAJ.TXT on_media HEX)
  file(READ ${NOTES} notes HEX)
  if(NOT on_media STREQUAL notes)
    list(APPEND missing "CZYTAJ.TXT as media/CZYTAJ.TXT holds it")
  endif()
  if(NOT notes MATCHES "^efbbbf")
    list(APPEND missing "CZYTAJ.TXT's byte-order mark")
  endif()
  has_bare_line_feed(${NOTES} bare)
  if(bare)
    list(APPEND missing "CZYTAJ.TXT (line feeds without carriage returns)")
  endif()
endif()
file(READ ${README} readme)
string(FIND "${readme}" "(media/CZYTAJ.TXT)" linked)
if(linked EQUAL -1)
  list(APPEND missing "the README's link to media/CZYTAJ.TXT")
endif()

if(missing)
  string(REPLACE ";" "\n  " listed "${missing}")
  message(FATAL_ERROR "The media in ${MEDIA} lack:\n  ${listed}")
endif()
message(STATUS "Every file the installer reads is in ${MEDIA}")
