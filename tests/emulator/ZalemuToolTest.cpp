// zalemu.exe as a script uses it: showing, changing and checking a scenario's drive
// state from outside, reading its log file, and writing out the firmware it holds.
#include "EmulatorTesting.h"

#include "TestImage.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

using namespace emutest;

namespace {

// Runs zalemu.exe with each row's arguments: its exit code, and what it says (in its output, or
// in `stateFile` when it says nothing and there is one).
void RunSteps(const std::vector<std::tuple<std::string, int, const char*>>& steps,
              const std::string& stateFile) {
    for (const auto& [arguments, exitCode, says] : steps) {
        std::string output;
        const std::string zalemu = "\"" + ProgramFolder() + "\\zalemu.exe\" ";
        EXPECT_EQ(exitCode, RunProgram(zalemu + arguments, &output)) << arguments << ": " << output;
        const std::string seen =
            output.empty() && !stateFile.empty() ? ReadFile(stateFile) : output;
        EXPECT_NE(std::string::npos, seen.find(says))
            << arguments << ": expected '" << says << "' in:\n"
            << seen;
    }
}

TEST(ZalemuToolTest, ChangesAndShowsTheDriveStateAndLogAndReportsBadScenarios) {
    ScratchFolder folder;
    WriteFile(folder.File("s.scn"), "[emulator]\nstate = s.state\nlog = s.log\n[device 0:0]\n");
    WriteFile(folder.File("s.log"), "1 0:0 cdb=00-00-00-00-00-00 dir=none len=0 outcome=good\n");
    WriteFile(folder.File("bad.scn"), "[emulator]\n\n[device 0:0]\nkind = toaster\n");
    WriteFile(folder.File("nolog.scn"), "[device 0:0]\n");
    const std::string scenario = "\"" + folder.File("s.scn") + "\"";
    RunSteps({{"check " + scenario, 0, ": ok"},
              {"disc " + scenario + " 0:0 in", 0, "disc = yes"},
              {"set " + scenario + " 0:0 changes-left 3", 0, "changes-left = 3"},
              {"set " + scenario + " 0:0 dl-applies always", 1, "dl-applies"},
              {"disc " + scenario + " 0:1 in", 1, "no device at 0:1"},
              {"disc " + scenario + " 0:0 sideways", 2, "usage: zalemu"},
              {"show " + scenario, 0, "[device 0:0]\r\ndisc = yes\r\nchanges-left = 3"},
              {"disc " + scenario + " 0:0 out", 0, "disc = no"},
              {"frobnicate " + scenario, 2, "usage: zalemu"},
              {"log " + scenario, 0, "outcome=good"},
              {"check \"" + folder.File("bad.scn") + "\"", 1, "line 4: kind: expected tk4800j"},
              {"log \"" + folder.File("nolog.scn") + "\"", 1, "no log file"}},
             folder.File("s.state"));
}

TEST(ZalemuToolTest, WritesTheFirmwareADriveHolds) {
    ScratchFolder folder;
    WriteFile(folder.File("s.scn"), "[emulator]\nstate = s.state\n[device 0:0]\n[device 0:1]\n");
    ASSERT_EQ("", Load(ReadFile(folder.File("s.scn")), folder.Path()));
    zalfw::TestImageOptions options;
    options.version = "305";
    const Bytes image = zalfw::MakeTestImage(options);
    ASSERT_EQ("good", FlashImage("0:0", image));
    const std::string scenario = "\"" + folder.File("s.scn") + "\" ";
    RunSteps({{"image " + scenario + "0:1 " + folder.File("b.bin"), 1, "not known"},
              {"image " + scenario + "0:2 " + folder.File("b.bin"), 1, "no device at 0:2"},
              {"image " + scenario + "0:0", 2, "usage: zalemu"},
              {"image " + scenario + "0:0 " + folder.File("a.bin"), 0, ""}},
             "");
    EXPECT_TRUE(ReadFile(folder.File("a.bin")) == std::string(image.begin(), image.end()))
        << "the bytes written are the image flashed";
}

} // namespace
