# firmware_tools_tests: the image library, fwgen and fwpack, and the packed
# drvflash.exe, run as the user runs the tools. Included by the host project
# (tests/host) and, in a native build, by tests/emulator.
add_executable(firmware_tools_tests ${CMAKE_CURRENT_LIST_DIR}/../emulator/FirmwareToolsTest.cpp)
target_link_libraries(firmware_tools_tests PRIVATE zal_fwimage zal_warnings GTest::gtest_main)
# The programs under test are the tools' own; a test finds them by their folder.
target_compile_definitions(firmware_tools_tests PRIVATE
                           ZAL_IMAGE_TOOLS_DIR="$<TARGET_FILE_DIR:fwgen>")
add_dependencies(firmware_tools_tests fwgen fwpack)
