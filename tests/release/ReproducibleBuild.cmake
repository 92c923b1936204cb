# Builds the two programs twice from the same sources into two build folders of
# different paths and compares discmode.exe and drvflash.exe byte for byte; a
# program must also hold neither its build folder's path nor the source path.
# The builds leave out the tests; their firmware tools are host programs, so they
# run no Wine: wine, wine64, wineserver and wineboot are on the builds' PATH as
# programs that fail and leave a note, and a note fails the check.
#
#   cmake -DSOURCE=DIR -DWORK=DIR -P ReproducibleBuild.cmake
cmake_minimum_required(VERSION 3.20)
file(REMOVE_RECURSE ${WORK})
set(note ${WORK}/wine-started)
foreach(name wine wine64 wineserver wineboot)
  file(WRITE ${WORK}/no-wine/${name} "#!/bin/sh\necho \"${name} $*\" >>'${note}'\n"
                                     "echo '${name}: no Wine in a release build' >&2\nexit 97\n")
  file(CHMOD ${WORK}/no-wine/${name} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
endforeach()
set(ENV{PATH} "${WORK}/no-wine:$ENV{PATH}")

set(first ${WORK}/first)
set(second ${WORK}/second-of-another-length)
foreach(build ${first} ${second})
  execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${build}
                          -DCMAKE_TOOLCHAIN_FILE=${SOURCE}/cmake/i686-w64-mingw32.cmake
                          -DCMAKE_BUILD_TYPE=Release -DZAL_BUILD_TESTS=OFF
                  OUTPUT_FILE ${build}.log ERROR_FILE ${build}.log RESULT_VARIABLE failed)
  if(NOT failed)
    execute_process(COMMAND ${CMAKE_COMMAND} --build ${build} -j2 --target discmode drvflash_packed
                    OUTPUT_VARIABLE log ERROR_VARIABLE log RESULT_VARIABLE failed)
    file(APPEND ${build}.log "${log}")
  endif()
  if(failed)
    execute_process(COMMAND tail -n 30 ${build}.log OUTPUT_VARIABLE log)
    set(wine "")
    if(EXISTS ${note})
      file(READ ${note} wine)
      set(wine "\nit started Wine:\n${wine}")
    endif()
    message(FATAL_ERROR "build in ${build} failed:\n${log}${wine}")
  endif()
endforeach()

set(problems "")
if(EXISTS ${note})
  file(READ ${note} wine)
  string(APPEND problems "the builds started Wine:\n${wine}")
endif()
foreach(program discmode.exe drvflash.exe)
  file(SHA256 ${first}/bin/${program} sum)
  file(SHA256 ${second}/bin/${program} other)
  if(NOT sum STREQUAL other)
    string(APPEND problems "${program} differs between the two builds\n")
  endif()
  foreach(build ${first} ${second})
    foreach(path ${build} ${SOURCE})
      string(REGEX REPLACE "([][+.*?()^$|\\])" "\\\\\\1" pattern "${path}")
      file(STRINGS ${build}/bin/${program} held REGEX "${pattern}" LIMIT_COUNT 1)
      if(held)
        string(APPEND problems "${build}/bin/${program} holds the path ${path}\n")
      endif()
    endforeach()
  endforeach()
  file(SIZE ${first}/bin/${program} size)
  message("${program}: ${size} bytes, sha256 ${sum}")
endforeach()
if(problems)
  message(FATAL_ERROR "${problems}")
endif()
file(REMOVE_RECURSE ${WORK})
