// zalemu.exe as a script uses it: showing, changing and checking a scenario's drive
// state from outside, reading its log file, and writing out the firmware it holds.
#include "EmulatorTesting.h"

#include "TestImage.h"

#include <gtest/gtest.h>

using namespace emutest;

namespace {

std::string Zalemu(const std::string& arguments, int* exitCode) {
    std::string output;
    *exitCode = RunProgram("\"" + ProgramFolder() + "\\zalemu.exe\" " + arguments, &output);
    return output;
}

TEST(ZalemuToolTest, ChangesAndShowsTheDriveStateAndLogAndReportsBadScenarios) {
    ScratchFolder folder;
    WriteFile(folder.File("s.scn"), "[emulator]\nstate = s.state\nlog = s.log\n[device 0:0]\n");
    WriteFile(folder.File("s.log"), "1 0:0 cdb=00-00-00-00-00-00 dir=none len=0 outcome=good\n");
    WriteFile(folder.File("bad.scn"), "[emulator]\n\n[device 0:0]\nkind = toaster\n");
    WriteFile(folder.File("nolog.scn"), "[device 0:0]\n");
    const std::string scenario = "\"" + folder.File("s.scn") + "\"";
    const struct {
        std::string arguments;
        int exitCode;
        const char* says; // in the output, or in the state file when the tool says nothing
    } steps[] = {{"check " + scenario, 0, ": ok"},
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
                 {"log \"" + folder.File("nolog.scn") + "\"", 1, "no log file"}};
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

TEST(ZalemuToolTest, WritesTheFirmwareADriveHolds) {
    ScratchFolder folder;
    WriteFile(folder.File("s.scn"), "[emulator]\nstate = s.state\n[device 0:0]\n[device 0:1]\n");
    ASSERT_EQ("", Load(ReadFile(folder.File("s.scn")), folder.Path()));
    zalfw::TestImageOptions options;
    options.version = "305";
    const Bytes image = zalfw::MakeTestImage(options);
    ASSERT_EQ("good", FlashImage("0:0", image));
    const std::string scenario = "\"" + folder.File("s.scn") + "\" ";
    const struct {
        std::string arguments;
        int exitCode;
        const char* says;
    } steps[] = {{"image " + scenario + "0:1 " + folder.File("b.bin"), 1, "not known"},
                 {"image " + scenario + "0:2 " + folder.File("b.bin"), 1, "no device at 0:2"},
                 {"image " + scenario + "0:0", 2, "usage: zalemu"},
                 {"image " + scenario + "0:0 " + folder.File("a.bin"), 0, ""}};
    for (const auto& step : steps) {
        int exitCode = 0;
        const std::string output = Zalemu(step.arguments, &exitCode);
        EXPECT_EQ(step.exitCode, exitCode) << step.arguments << ": " << output;
        EXPECT_NE(std::string::npos, output.find(step.says)) << step.arguments << ": " << output;
    }
    EXPECT_TRUE(ReadFile(folder.File("a.bin")) == std::string(image.begin(), image.end()))
        << "the bytes written are the image flashed";
}

} // namespace
