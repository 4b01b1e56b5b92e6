# Run by the build (cmake -P) once the media are assembled: writes OUTPUT, the detection script
# for deployment tools, from TEMPLATE with the SHA-256 of the media's files that the installer
# puts on the PC and the version, so that the script finds exactly these media's installation.
cmake_minimum_required(VERSION 3.20)

file(SHA256 ${MEDIA}/sun/ocfpcsc1.dll OCFPCSC1_SHA256)
file(SHA256 ${MEDIA}/sun/ocf1.2.jar OCF_JAR_SHA256)
file(SHA256 ${MEDIA}/sun/opencard.properties PROPERTIES_SHA256)
foreach(hash OCFPCSC1_SHA256 OCF_JAR_SHA256 PROPERTIES_SHA256)
  string(TOUPPER "${${hash}}" ${hash})  # as Get-FileHash gives it
endforeach()
configure_file(${TEMPLATE} ${OUTPUT} @ONLY NEWLINE_STYLE CRLF)
