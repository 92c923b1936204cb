# scripts/release.sh's refusals, one ctest case each (tests/release/CMakeLists.txt).
# MODE prepare makes a scratch copy of the script and of the image tools' sources,
# whose setup-machine.sh only says that it was reached and which has no project to
# build the programs from, so that a release that passes every check stops after
# "building into"; and the images to refuse, from the build's test image: cut
# short, packed behind a stand-in program, and one without the test mark, as a
# real image. MODE run runs the copy with ARGUMENT (none when empty) and prints
# what it said, its exit code and whether it built programs; the cases' regular
# expressions judge that.
#
#   cmake -DMODE=prepare -DSOURCE=DIR -DTEST_IMAGE=FILE -DWORK=DIR -P ReleaseRefusal.cmake
#   cmake -DMODE=run -DWORK=DIR [-DARGUMENT=FILE] -P ReleaseRefusal.cmake
cmake_minimum_required(VERSION 3.21)
set(root ${WORK}/root)
if(MODE STREQUAL "prepare")
  if(NOT EXISTS ${TEST_IMAGE})
    message(FATAL_ERROR "expected the build's test image at ${TEST_IMAGE}, there is none")
  endif()
  file(REMOVE_RECURSE ${WORK})
  file(COPY ${SOURCE}/scripts/release.sh DESTINATION ${root}/scripts)
  file(COPY ${SOURCE}/cmake/ZalWarnings.cmake DESTINATION ${root}/cmake)
  file(COPY ${SOURCE}/imageformat ${SOURCE}/tools DESTINATION ${root})
  file(WRITE ${root}/scripts/setup-machine.sh "#!/bin/sh\necho 'setup-machine reached'\n")
  file(CHMOD ${root}/scripts/setup-machine.sh PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  execute_process(COMMAND head -c 1000 ${TEST_IMAGE} OUTPUT_FILE ${WORK}/short.img)
  # The same bytes with the test mark's first byte (offset 0x800) changed.
  file(COPY_FILE ${TEST_IMAGE} ${WORK}/unmarked.img)
  file(WRITE ${WORK}/z "z")
  execute_process(COMMAND dd of=${WORK}/unmarked.img bs=1 seek=2048 conv=notrunc status=none
                  INPUT_FILE ${WORK}/z RESULT_VARIABLE failed)
  # That image behind a stand-in program with the tag, as drvflash.exe carries it.
  execute_process(COMMAND head -c 4096 /dev/zero OUTPUT_FILE ${WORK}/program)
  file(WRITE ${WORK}/tag "M7T5")
  execute_process(COMMAND ${CMAKE_COMMAND} -E cat ${WORK}/program ${WORK}/unmarked.img ${WORK}/tag
                  OUTPUT_FILE ${WORK}/packed.exe)
  file(SIZE ${WORK}/short.img short)
  file(SIZE ${WORK}/packed.exe packed)
  file(SIZE ${TEST_IMAGE} size)
  math(EXPR want "${size} + 4100")
  if(failed OR NOT short EQUAL 1000 OR NOT packed EQUAL want)
    message(FATAL_ERROR "expected the images to refuse; dd said ${failed}, the short one has "
                        "${short} bytes (1000), the packed one ${packed} (${want})")
  endif()
elseif(MODE STREQUAL "run")
  execute_process(COMMAND ${root}/scripts/release.sh ${ARGUMENT} OUTPUT_VARIABLE output
                  ERROR_VARIABLE output RESULT_VARIABLE status)
  message("${output}release.sh ended with exit code ${status}")
  if(EXISTS ${root}/build/release/build/bin)
    message("release.sh built programs in ${root}/build/release/build")
  endif()
else()
  message(FATAL_ERROR "MODE prepare or run")
endif()
