# Assembles the installation media in build/media: cardsetup.exe at its root beside the
# directories it installs from. Files the vendor supplies get small stand-ins, named as such.
set(CARDSETUP_MEDIA_DIR ${CMAKE_BINARY_DIR}/media)

set(stand_in_text "Atrapa pliku dostawcy: prawdziwe nośniki zawierają w tym miejscu plik producenta.\r\n")
foreach(file sun/ocf1.2.jar sun/opencard.properties sun/java.policy sun/ocfpcsc1.dll)
  file(WRITE ${CARDSETUP_MEDIA_DIR}/${file} "${stand_in_text}")
endforeach()
foreach(launcher twin64 twin8_64)
  file(WRITE ${CARDSETUP_MEDIA_DIR}/Drivers/${launcher}.bat
       "@echo off\r\necho Atrapa instalatora sterownika czytnika (${launcher}.bat).\r\n")
endforeach()

add_custom_command(TARGET cardsetup POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:cardsetup> ${CARDSETUP_MEDIA_DIR}/cardsetup.exe
  COMMENT "Assembling the installation media in ${CARDSETUP_MEDIA_DIR}")
