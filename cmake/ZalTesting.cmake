# Helpers for the test suite.
#
# zal_wine_program(NAME [WIN98] [ASPI native|builtin|disabled] [FOR DIR])
#   Per-program Wine settings, by program file name: WIN98 makes Wine report
#   Windows 98 (platform 1) to that program; ASPI picks which wnaspi32.dll it gets
#   (native: the one beside it, i.e. the drive emulator; builtin: Wine's own;
#   disabled: none). The settings are written to wine-programs.reg in the build
#   tree (or in its folder DIR, the tree of another Wine session, such as demo)
#   and imported into that session's Wine prefix when it starts.
#
# zal_add_gtest(TARGET SOURCES ... [LIBS ...] [WIN98] [ASPI ...] [DIALOG_HOST]
#               [LOCALE loc] [FILTER expr] [TIMEOUT s] [LABELS ...])
#   A GoogleTest program whose cases ctest runs one process each, under Wine.
#   The transport's host is the recording one of the tests (zal_test_host), or,
#   with DIALOG_HOST, the shipped dialog that the program links.
#   One label: gtest_discover_tests does not carry a list of them whole.
#   TIMEOUT (default 120 s) is stretched by the machine's time scale.
#
# zal_program_copy(TARGET COPY [WIN98] [ASPI native|builtin|disabled])
#   The program of TARGET once more, byte for byte, as COPY.exe beside it, with
#   Wine settings of its own: one program run under two sets of Wine settings,
#   where a test checks Wine's own answer. The target COPY_copy (built by ALL)
#   makes the copy; what runs the copy depends on it.
#
# zal_add_gtest_copy(TARGET COPY [WIN98] [ASPI ...] CASES ... [LABELS ...])
#   zal_program_copy, and a ctest entry COPY.CASE for each GoogleTest case named,
#   run in the copy under Wine.
#
# zal_scaled_seconds(VAR SECONDS)
#   SECONDS times ZAL_TIME_SCALE, for the TIMEOUT of tests added otherwise.
#
# ZAL_TIME_SCALE: how many times longer the tests' time limits are on this machine
# (scripts/wine-machine.sh: 10 where 32-bit programs run through qemu, else 1; a
# ZAL_TIME_SCALE in the environment at configure time wins). The test programs
# read the same factor from the environment of the build's Wine session.

set_property(GLOBAL PROPERTY ZAL_WINE_REGISTRY_DIRS .)

set(ZAL_TIME_SCALE 1)
if(ZAL_RUN_UNDER_WINE)
  execute_process(COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-machine.sh time-scale
                  OUTPUT_VARIABLE scale OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
  if(NOT failed AND scale MATCHES "^[1-9][0-9]*$")
    set(ZAL_TIME_SCALE ${scale})
  endif()
endif()
if(NOT ZAL_TIME_SCALE EQUAL 1)
  message(STATUS "Test time limits: ${ZAL_TIME_SCALE} times as long on this machine")
endif()

function(zal_scaled_seconds var seconds)
  math(EXPR value "${seconds} * ${ZAL_TIME_SCALE}")
  set(${var} ${value} PARENT_SCOPE)
endfunction()

function(zal_wine_program name)
  cmake_parse_arguments(ARG "WIN98" "ASPI;FOR" "" ${ARGN})
  if(NOT ARG_FOR)
    set(ARG_FOR .)
  endif()
  set(text "")
  if(ARG_WIN98)
    string(APPEND text "[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\${name}]\n"
                       "\"Version\"=\"win98\"\n\n")
  endif()
  if(ARG_ASPI)
    if(ARG_ASPI STREQUAL "disabled")
      set(value "")
    else()
      set(value "${ARG_ASPI}")
    endif()
    string(APPEND text "[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\${name}\\DllOverrides]\n"
                       "\"wnaspi32\"=\"${value}\"\n\n")
  endif()
  set_property(GLOBAL APPEND PROPERTY ZAL_WINE_REGISTRY_DIRS ${ARG_FOR})
  set_property(GLOBAL APPEND_STRING PROPERTY ZAL_WINE_REGISTRY_${ARG_FOR} "${text}")
endfunction()

function(zal_write_wine_registry)
  get_property(dirs GLOBAL PROPERTY ZAL_WINE_REGISTRY_DIRS)
  list(REMOVE_DUPLICATES dirs)
  # A program that faults ends at once instead of waiting in Wine's crash debugger
  # (under qemu-i386 Wine itself now and then faults as a program starts).
  set(crash "[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\n\"ShowCrashDialog\"=dword:00000000\n\n")
  foreach(dir IN LISTS dirs)
    get_property(entries GLOBAL PROPERTY ZAL_WINE_REGISTRY_${dir})
    file(WRITE ${CMAKE_BINARY_DIR}/${dir}/wine-programs.reg "REGEDIT4\n\n${crash}${entries}")
  endforeach()
endfunction()

function(zal_program_copy target copy)
  set(file ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${copy}.exe)
  add_custom_command(OUTPUT ${file}
                     COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${target}> ${file}
                     DEPENDS ${target}
                     COMMENT "${target}.exe as ${copy}.exe")
  add_custom_target(${copy}_copy ALL DEPENDS ${file})
  zal_wine_program(${copy}.exe ${ARGN})
endfunction()

function(zal_add_gtest_copy target copy)
  cmake_parse_arguments(ARG "" "" "CASES;LABELS" ${ARGN})
  zal_program_copy(${target} ${copy} ${ARG_UNPARSED_ARGUMENTS})
  zal_scaled_seconds(timeout 120)
  foreach(case IN LISTS ARG_CASES)
    add_test(NAME ${copy}.${case}
             COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${copy}.exe
                     --gtest_filter=${case}
             WORKING_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
    set_tests_properties(${copy}.${case} PROPERTIES ENVIRONMENT "LC_ALL=C.UTF-8"
                         TIMEOUT ${timeout} FIXTURES_REQUIRED wine_session
                         LABELS "${ARG_LABELS}")
  endforeach()
endfunction()

function(zal_add_gtest target)
  cmake_parse_arguments(ARG "WIN98;DIALOG_HOST" "ASPI;LOCALE;FILTER;TIMEOUT" "SOURCES;LIBS;LABELS"
                        ${ARGN})
  if(NOT TARGET ${target})
    add_executable(${target} ${ARG_SOURCES})
    target_link_libraries(${target} PRIVATE ${ARG_LIBS} zal_test_support GTest::gtest_main
                                            zal_warnings)
    if(NOT ARG_DIALOG_HOST)
      target_link_libraries(${target} PRIVATE zal_test_host)
    endif()
  endif()
  if(ARG_WIN98 OR ARG_ASPI)
    set(win98 "")
    if(ARG_WIN98)
      set(win98 WIN98)
    endif()
    zal_wine_program(${target}.exe ${win98} ASPI ${ARG_ASPI})
  endif()
  if(NOT ARG_LOCALE)
    set(ARG_LOCALE C.UTF-8)
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  zal_scaled_seconds(timeout ${ARG_TIMEOUT})
  zal_scaled_seconds(discovery_timeout 180)
  # Test names carry their program, so that one source built into two programs
  # (NT family and Windows 98, say) gives distinct tests.
  set(extra TEST_PREFIX "${target}.")
  if(ARG_FILTER)
    list(APPEND extra TEST_FILTER ${ARG_FILTER} TEST_SUFFIX ".${ARG_LOCALE}")
  endif()
  gtest_discover_tests(${target}
    ${extra}
    NO_PRETTY_VALUES
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT ${discovery_timeout}
    WORKING_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
    PROPERTIES ENVIRONMENT "LC_ALL=${ARG_LOCALE}"
               TIMEOUT ${timeout}
               FIXTURES_REQUIRED wine_session
               LABELS "${ARG_LABELS}")
endfunction()
