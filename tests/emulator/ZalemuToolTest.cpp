// zalemu.exe as a script uses it: showing, changing and checking a scenario's
// drive state from outside, and reading its log file.
#include "EmulatorTesting.h"

#include <gtest/gtest.h>

using namespace emutest;

namespace {

std::string Zalemu(const std::string& arguments, int* exitCode) {
    std::string output;
    *exitCode = RunProgram("\"" + ProgramFolder() + "\\zalemu.exe\" " + arguments, &output);
    return output;
}

TEST(ZalemuToolTest, ChangesAndShowsTheDriveState) {
    ScratchFolder folder;
    WriteFile(folder.File("s.scn"), "[emulator]\nstate = s.state\nlog = s.log\n[device 0:0]\n");
    const std::string scenario = "\"" + folder.File("s.scn") + "\"";
    const struct {
        std::string arguments;
        int exitCode;
        const char* says; // in the output, or in the state file when the tool says nothing
    } steps[] = {
        {"check " + scenario, 0, ": ok"},
        {"disc " + scenario + " 0:0 in", 0, "disc = yes"},
        {"set " + scenario + " 0:0 changes-left 3", 0, "changes-left = 3"},
        {"set " + scenario + " 0:0 dl-applies always", 1, "dl-applies"},
        {"disc " + scenario + " 0:1 in", 1, "no device at 0:1"},
        {"disc " + scenario + " 0:0 sideways", 2, "usage: zalemu"},
        {"show " + scenario, 0, "[device 0:0]\r\ndisc = yes\r\nchanges-left = 3"},
        {"disc " + scenario + " 0:0 out", 0, "disc = no"},
        {"frobnicate " + scenario, 2, "usage: zalemu"},
    };
    for (const auto& step : steps) {
        int exitCode = 0;
        const std::string output = Zalemu(step.arguments, &exitCode);
        EXPECT_EQ(step.exitCode, exitCode) << step.arguments << ": " << output;
        const std::string seen = output.empty() ? ReadFile(folder.File("s.state")) : output;
        EXPECT_NE(std::string::npos, seen.find(step.says))
            << step.arguments << ": expected '" << step.says << "' in:\n"
            << seen;
    }
}

TEST(ZalemuToolTest, PrintsTheLogAndReportsBadScenarios) {
    ScratchFolder folder;
    WriteFile(folder.File("s.log"), "1 0:0 cdb=00-00-00-00-00-00 dir=none len=0 outcome=good\n");
    WriteFile(folder.File("s.scn"), "[emulator]\nlog = s.log\n[device 0:0]\n");
    WriteFile(folder.File("bad.scn"), "[emulator]\n\n[device 0:0]\nkind = toaster\n");
    WriteFile(folder.File("nolog.scn"), "[device 0:0]\n");
    int exitCode = 0;
    EXPECT_NE(std::string::npos,
              Zalemu("log \"" + folder.File("s.scn") + "\"", &exitCode).find("outcome=good"));
    EXPECT_EQ(0, exitCode);
    const std::string bad = Zalemu("check \"" + folder.File("bad.scn") + "\"", &exitCode);
    EXPECT_EQ(1, exitCode);
    EXPECT_NE(std::string::npos, bad.find("line 4: kind: expected tk4800j")) << bad;
    EXPECT_NE(std::string::npos,
              Zalemu("log \"" + folder.File("nolog.scn") + "\"", &exitCode).find("no log file"));
    EXPECT_EQ(1, exitCode);
}

} // namespace
