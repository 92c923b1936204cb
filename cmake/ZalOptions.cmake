# Compile and link settings shared by the targets of the project.
#
# zal_warnings: the warning level of every target of the project.
# zal_static_runtime: every Windows program of the project links its runtime
#   statically and declares subsystem 4.0, so that it starts on Windows 98 too.
# zal_shipped: compile settings of the code that ships (linked PRIVATE, so that
#   tests compiling against it keep their own): no C++ exceptions or RTTI, and
#   headers limited to what Windows 95 and NT 4.0 offer.
# At the end: the settings that make the build reproducible.

include(${CMAKE_CURRENT_LIST_DIR}/ZalWarnings.cmake)
add_library(zal_static_runtime INTERFACE)
add_library(zal_shipped INTERFACE)

if(MSVC)
  target_compile_options(zal_shipped INTERFACE /GR- /EHs-c-)
  set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
  target_link_options(zal_static_runtime INTERFACE /SUBSYSTEM:WINDOWS,5.01)
else()
  target_compile_options(zal_shipped INTERFACE
    $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
  target_link_options(zal_static_runtime INTERFACE
    -static -static-libgcc -static-libstdc++
    -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0
    -Wl,--major-os-version,4 -Wl,--minor-os-version,0)
endif()
target_compile_definitions(zal_warnings INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX)
# The headers then offer nothing newer than Windows 95 and NT 4.0 (the import
# check of the test suite looks at what the programs really import).
target_compile_definitions(zal_shipped INTERFACE _WIN32_WINNT=0x0400 WINVER=0x0400
                                                 _WIN32_IE=0x0400)
target_link_libraries(zal_shipped INTERFACE zal_warnings zal_static_runtime)

# zal_japanese_texts(SOURCE): the source holds the Japanese texts of a tool as
# readable UTF-8 and is compiled to code page 932, the ANSI code page of a
# Japanese system.
function(zal_japanese_texts source)
  set_property(SOURCE ${source} APPEND PROPERTY COMPILE_OPTIONS
    $<$<CXX_COMPILER_ID:MSVC>:/source-charset:utf-8>
    $<$<CXX_COMPILER_ID:MSVC>:/execution-charset:.932>
    $<$<NOT:$<CXX_COMPILER_ID:MSVC>>:-finput-charset=UTF-8>
    $<$<NOT:$<CXX_COMPILER_ID:MSVC>>:-fexec-charset=CP932>)
endfunction()

# Reproducible builds: the same sources and toolchain give the same program
# bytes in any build folder. The linker leaves the PE header's time stamp zero,
# archives carry no dates, owners or modes (ar/ranlib D), and the compiler writes
# source and build paths relative to their folders wherever it would embed them.
if(NOT MSVC)
  target_link_options(zal_static_runtime INTERFACE -Wl,--no-insert-timestamp)
  add_compile_options(
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=>"
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}/=>")
  foreach(language C CXX)
    set(CMAKE_${language}_ARCHIVE_CREATE "<CMAKE_AR> qcD <TARGET> <LINK_FLAGS> <OBJECTS>")
    set(CMAKE_${language}_ARCHIVE_APPEND "<CMAKE_AR> qD <TARGET> <LINK_FLAGS> <OBJECTS>")
    set(CMAKE_${language}_ARCHIVE_FINISH "<CMAKE_RANLIB> -D <TARGET>")
  endforeach()
endif()
