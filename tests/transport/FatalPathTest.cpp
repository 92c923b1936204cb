// The transport's start-up as a user meets it under Wine in Windows 9x mode:
// without an ASPI library the program beeps, shows the fatal box and ends with
// code 0 once the box is closed; with Wine's own library it starts in error.
#include "WindowDriver.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path.c_str());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(FatalPathTest, MissingLibraryShowsTheFatalBoxAndExitsWithZero) {
    RunningProgram program;
    ASSERT_TRUE(program.Start("transport_starter_noaspi.exe fatal-status.txt"));
    HWND box = WaitForMessageBox(program.ProcessId(), 20000);
    ASSERT_NE(nullptr, box) << "no message box appeared";
    EXPECT_EQ("ASPI32 error", WindowText(box));
    EXPECT_EQ("wnaspi32.dll not found", MessageBoxText(box));
    EXPECT_NE(0, GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) << "system-modal box";
    EXPECT_FALSE(program.HasExited()) << "the process waits for the box";
    ASSERT_TRUE(PressButton(box, IDOK));
    DWORD exitCode = 99;
    ASSERT_TRUE(program.WaitForExit(20000, &exitCode));
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ("", ReadFile("fatal-status.txt")) << "no status text before the fatal box";
}

TEST(FatalPathTest, WinesOwnLibraryStartsInErrorWithNothingFound) {
    RunningProgram program;
    ASSERT_TRUE(program.Start("transport_starter_wineaspi.exe wineaspi-status.txt"));
    DWORD exitCode = 99;
    ASSERT_TRUE(program.WaitForExit(20000, &exitCode));
    EXPECT_EQ(10u, exitCode) << "start-up result 0";
    EXPECT_EQ("ASPI32 ERROR\nbound\n", ReadFile("wineaspi-status.txt"));
}

TEST(FatalPathTest, NtFamilyWithoutOpenableDrivesStartsInError) {
    RunningProgram program;
    ASSERT_TRUE(program.Start("transport_starter_nt.exe nt-status.txt"));
    DWORD exitCode = 99;
    ASSERT_TRUE(program.WaitForExit(20000, &exitCode));
    EXPECT_EQ(10u, exitCode) << "start-up result 0";
    EXPECT_EQ("SPTI ERROR\nunbound\n", ReadFile("nt-status.txt"));
}

} // namespace
