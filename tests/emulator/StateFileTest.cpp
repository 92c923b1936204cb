// The drive's memory across runs: the state file created from the scenario, kept
// after every change, taken first at the next load and edited from outside while
// a tool runs; the log file; the control functions.
#include "EmulatorControl.h"
#include "EmulatorTesting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace emutest;

namespace {

const char* const Scenario = "[emulator]\nstate = drive.state\nlog = drive.log\n"
                             "[device 0:0]\nchanges-left = 50\n";

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            names.push_back(found.cFileName);
        }
    }
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadReply(const std::string& address, uint8_t medium, uint8_t which) {
    return Hex(Send(address, BookTypeCommand(2, medium, 1, which), 6).data);
}

TEST(StateFileTest, IsCreatedFromTheScenarioAndWrittenWithoutLeftovers) {
    ScratchFolder folder;
    ASSERT_EQ("", Load(Scenario, folder.Path()));
    const std::string state = ReadFile(folder.File("drive.state"));
    const char* const lines[] = {
        "[device 0:0]\n",    "disc = no\n",         "changes-left = 50\n",
        "dl-default = E0\n", "dl-temporary = E0\n", "dl-applies = default\n",
        "r-default = A0\n",  "r-temporary = A0\n",  "r-applies = default\n",
        "revision = 2.16\n", "firmware = good\n"};
    size_t at = 0;
    for (const char* line : lines) {
        const size_t found = state.find(line, at);
        EXPECT_NE(std::string::npos, found) << "expected, in order: " << line << "in:\n" << state;
        at = found == std::string::npos ? at : found;
    }
    ASSERT_EQ("good", Send("0:0", BookTypeCommand(1, 2, 0x00, 0)).outcome);
    EXPECT_EQ(std::vector<std::string>({"drive.log", "drive.state"}), FilesIn(folder.Path()))
        << "no temporary file stays behind";
}

TEST(StateFileTest, ChangesOutliveAReloadOfTheScenario) {
    ScratchFolder folder;
    ASSERT_EQ("", Load(Scenario, folder.Path()));
    ASSERT_EQ("good", Send("0:0", BookTypeCommand(1, 2, 0x00, 0)).outcome);
    ASSERT_EQ("good", Send("0:0", BookTypeCommand(3, 0, 0x00, 0)).outcome);
    ASSERT_EQ("good", Send("0:0", BookTypeCommand(4, 0, 0, 1)).outcome);

    ASSERT_EQ("", Load(Scenario, folder.Path())) << "the scenario still says changes-left = 50";
    EXPECT_EQ("00 00 00 31 00 03 ", ReadReply("0:0", 2, 0)) << "DVD+R DL default 00, 49 left";
    EXPECT_EQ("00 00 80 31 00 03 ", ReadReply("0:0", 0, 1)) << "DVD+R temporary 00, applied";

    ScratchFolder other;
    ASSERT_EQ("", Load(Scenario, other.Path()));
    EXPECT_EQ("00 E0 00 32 00 03 ", ReadReply("0:0", 2, 0)) << "another state file, fresh drive";
}

FILETIME LastWrite(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

// Writes the file as an editor saves it. Where the save lands in the same tick of
// the file system's clock as the write it replaces, its time is moved one tick
// on, as a later save would have it: the emulator notices edits by time and size.
void Edit(const std::string& path, const std::string& text) {
    const FILETIME before = LastWrite(path);
    WriteFile(path, text);
    const FILETIME after = LastWrite(path);
    if (CompareFileTime(&before, &after) >= 0) {
        ULARGE_INTEGER later = {{before.dwLowDateTime, before.dwHighDateTime}};
        ++later.QuadPart;
        FILETIME next = {later.LowPart, later.HighPart};
        HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, file) << path;
        SetFileTime(file, NULL, NULL, &next);
        CloseHandle(file);
    }
}

TEST(StateFileTest, AnEditFromOutsideTakesEffectAtTheNextCommand) {
    ScratchFolder folder;
    ASSERT_EQ("", Load(Scenario, folder.Path()));
    ASSERT_EQ("2/3A/00", Send("0:0", TestUnitReadyCommand()).outcome);
    Edit(folder.File("drive.state"), "[device 0:0]\ndisc = yes\nchanges-left = 7\n");
    EXPECT_EQ("good", Send("0:0", TestUnitReadyCommand()).outcome) << "disc inserted by the edit";
    EXPECT_EQ("00 E0 00 07 00 03 ", ReadReply("0:0", 2, 0)) << "keys the edit left out stay";
    EXPECT_EQ("5/2C/00", Send("0:0", BookTypeCommand(1, 2, 0x00, 0)).outcome);
    Edit(folder.File("drive.state"), "[device 0:0]\ndisc = no\n");
    EXPECT_EQ("2/3A/00", Send("0:0", TestUnitReadyCommand()).outcome) << "disc removed by the edit";

    Edit(folder.File("drive.state"), "[device 0:0]\ndisc = perhaps\n");
    EXPECT_EQ("2/3A/00", Send("0:0", TestUnitReadyCommand()).outcome) << "a bad edit is not taken";
    EXPECT_TRUE(
        Holds(ReadFile(folder.File("drive.log")), "not taken: line 2: disc: expected no or yes"))
        << "and the log says why";
}

TEST(StateFileTest, ABadStateFileStopsTheLoadNamingItsLine) {
    ScratchFolder folder;
    WriteFile(folder.File("drive.state"), "[device 0:0]\ndisc = no\nchanges-left = lots\n");
    EXPECT_TRUE(Holds(Load(Scenario, folder.Path()),
                      "drive.state: line 3: changes-left: expected a count"));
}

TEST(StateFileTest, TheLogFileHoldsALinePerCommand) {
    ScratchFolder folder;
    ASSERT_EQ("", Load(Scenario, folder.Path()));
    Send("0:0", InquiryCommand(), 36);
    Send("0:0", TestUnitReadyCommand());
    Send("0:0", BookTypeCommand(2, 2, 1, 0), 6);
    zalemu::Emulator::Instance().ClearLog();
    Send("0:0", BookTypeCommand(2, 3, 1, 0), 6);
    std::vector<zalemu::CommandRecord> records;
    std::string error;
    ASSERT_TRUE(zalemu::ParseLog(ReadFile(folder.File("drive.log")), &records, &error)) << error;
    const char* const expected[] = {
        "1 0:0 cdb=12-00-00-00-24-00 dir=in len=36 outcome=good",
        "2 0:0 cdb=00-00-00-00-00-00 dir=none len=0 outcome=check-2/3A/00",
        "3 0:0 cdb=C9-02-02-01-5A-41-4C-42-4B-00-00-00 dir=in len=6 outcome=good",
        "4 0:0 cdb=C9-02-03-01-5A-41-4C-42-4B-00-00-00 dir=in len=6 outcome=check-5/24/00"};
    ASSERT_EQ(4u, records.size()) << "the file keeps what the cleared log forgot";
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(expected[i], WithoutTimes(zalemu::FormatRecord(records[i])));
    }
    EXPECT_EQ(1u, Logged().size());
    EXPECT_EQ(0u, LoggedRecord(0).find("4 "))
        << "numbers go on after the log is cleared: " << LoggedRecord(0);
}

TEST(StateFileTest, ControlFunctionsLoadReportAndChangeTheDrive) {
    ScratchFolder folder;
    WriteFile(folder.File("run.scn"), "[emulator]\nstate = run.state\n[device 1:2]\n");
    char error[64] = "unchanged";
    ASSERT_EQ(1, ZalEmuLoadScenarioFile(folder.File("run.scn").c_str(), error, sizeof error));
    EXPECT_STREQ("", error);
    EXPECT_TRUE(Holds(ReadFile(folder.File("run.state")), "[device 1:2]"))
        << "the state file is found beside the scenario file";

    EXPECT_EQ(1, ZalEmuSetDisc("1:2", 1));
    EXPECT_EQ(0, ZalEmuSetDisc("1:3", 1));
    EXPECT_EQ(1, ZalEmuSetStateValue("1:2", "firmware", "incomplete", error, sizeof error));
    EXPECT_EQ(0, ZalEmuSetStateValue("1:2", "changes-left", "-1", error, sizeof error));
    EXPECT_STREQ("changes-left: expected a count 0..32767, got '-1'", error);
    const std::string state = ReadFile(folder.File("run.state"));
    EXPECT_TRUE(Holds(state, "disc = yes"));
    EXPECT_TRUE(Holds(state, "firmware = incomplete"));

    const int length = ZalEmuStateText(nullptr, 0);
    std::string text(static_cast<size_t>(length) + 1, 'x');
    EXPECT_EQ(length, ZalEmuStateText(&text[0], length + 1));
    EXPECT_EQ(state, text.substr(0, static_cast<size_t>(length)));
    char small[8];
    EXPECT_EQ(length, ZalEmuStateText(small, sizeof small));
    EXPECT_EQ(7u, std::strlen(small)) << "cut to the buffer, with its NUL";

    Send("1:2", TestUnitReadyCommand());
    char log[256];
    ZalEmuLogText(log, sizeof log);
    EXPECT_EQ("1 1:2 cdb=00-00-00-00-00-00 dir=none len=0 outcome=good\n", WithoutTimes(log));
    ZalEmuClearLog();
    EXPECT_EQ(0, ZalEmuLogText(log, sizeof log));

    char loadError[128];
    EXPECT_EQ(0, ZalEmuLoadScenarioText("[device 0:0]\nkind = floppy\n", nullptr, loadError,
                                        sizeof loadError));
    EXPECT_EQ(0u, std::string(loadError).find("line 2: kind:")) << loadError;
    EXPECT_EQ("good", Send("1:2", TestUnitReadyCommand()).outcome)
        << "a refused scenario changes nothing";
}

} // namespace
