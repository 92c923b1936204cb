# Writes the release's two text files beside the built programs, run as a
# script (cmake -P) once drvflash.exe is packed:
#   README.txt      the text for users (TEMPLATE), with Windows line ends, naming
#                   the image drvflash.exe carries and its version as fwpack
#                   --describe reads it from the packed program;
#   SHA256SUMS.txt  the SHA-256 sums of discmode.exe, drvflash.exe and
#                   README.txt, as sha256sum writes them.
# Variables: FWPACK, TEMPLATE, OUTPUT_DIR, BIN_DIR (the two programs),
# IMAGE_NAME (the image's file name), VERSION (the project's).
execute_process(COMMAND ${FWPACK} --describe ${BIN_DIR}/drvflash.exe
                OUTPUT_VARIABLE about ERROR_VARIABLE about RESULT_VARIABLE failed)
if(failed OR NOT about MATCHES "(^|\n)version ([^\n]+)")
  message(FATAL_ERROR "drvflash.exe carries no image: ${about}")
endif()
set(ZAL_RELEASE_CARRIED "the firmware image ${IMAGE_NAME}, version ${CMAKE_MATCH_2}")
set(ZAL_RELEASE_TITLE "ZAL TK-4800J drive tools ${VERSION}")
string(LENGTH "${ZAL_RELEASE_TITLE}" length)
string(REPEAT "=" ${length} ZAL_RELEASE_UNDERLINE)
configure_file(${TEMPLATE} ${OUTPUT_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)

set(sums "")
foreach(file ${BIN_DIR}/discmode.exe ${BIN_DIR}/drvflash.exe ${OUTPUT_DIR}/README.txt)
  file(SHA256 ${file} sum)
  get_filename_component(name ${file} NAME)
  string(APPEND sums "${sum}  ${name}\n")
endforeach()
file(WRITE ${OUTPUT_DIR}/SHA256SUMS.txt "${sums}")
