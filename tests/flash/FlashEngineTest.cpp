// The flash engine against the drive emulator, on each transport path (the path is the parameter of
// the cases): which drives the probe takes, a whole run byte for byte (commands, request blocks,
// the firmware the drive ends up with), and a failure, time-out or late completion at each stage
// with exactly the commands that follow it.
#include "CommandText.h"
#include "ControlledEvents.h"
#include "DriveTable.h"
#include "FirmwareImage.h"
#include "FlashCommands.h"
#include "FlashProbe.h"
#include "FlashSequence.h"
#include "Identification.h"
#include "MessageTable.h"
#include "PathTestSupport.h"
#include "RecordingHost.h"
#include "RunTick.h"
#include "ScsiCommand.h"
#include "TestImage.h"
#include "TimeScale.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using zalemu::CommandRecord;

// SRB_Flags of each command as the drive's interface asks for them: event notification, and the
// direction of the data.
unsigned ExpectedFlags(const std::string& cdb) {
    return cdb.compare(0, 2, "12") == 0 ? 0x48 : cdb.compare(0, 5, "CB-01") == 0 ? 0x50 : 0x40;
}

// The path of a program file with the image of version field ~217 appended, test mark or not.
std::string ProgramFile(bool testMark) {
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    const std::string path =
        std::string(folder) + (testMark ? "drvflash-engine-test.exe" : "drvflash-engine-real.exe");
    zalfw::TestImageOptions options;
    options.testMark = testMark;
    zalfw::WriteTestProgram(path, options);
    return path;
}

class FlashEngineTest : public PathTest {
protected:
    static std::vector<std::string> Whole() {
        return WholeFlashRun(FirmwareImage.checksum[0], FirmwareImage.checksum[1]);
    }

    // The image as a real one, without the test mark: the runs send exactly what a build with the
    // drive's firmware sends.
    static void SetUpTestSuite() {
        InitRevisionPattern();
        ASSERT_EQ(1, ReadImageFile(ProgramFile(false).c_str()));
    }

    void SetUp() override {
        PathTest::SetUp();
        ClearRecordedHost();
        ASSERT_TRUE(Emulator().Valid()) << "the emulator is not reachable";
    }

    void StartOneDrive(const std::string& settings) {
        ASSERT_EQ("", StartWith(Device(0, 0, "kind = tk4800j\n" + settings)));
        EnumerateDrives(&FlashDriveProbe);
        ASSERT_EQ(1, DriveCount) << Emulator().LogText();
        SelectDrive(0);
        Emulator().ClearLog();
        ClearRecordedHost();
    }

    // Runs a flash on the selected drive as the Flash command starts it, for a dialog whose run
    // ticks are never handled, waits until the worker tells the dialog that the run has ended and
    // returns the CDBs the drive received. The word must come as the run ends (FlashStep 6 or
    // negative), so that the dialog shows the end at once, not at its next tick.
    std::vector<std::string> Run() {
        HWND dialog = CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
        BeginFlashRun(dialog);
        const DWORD start = GetTickCount();
        DWORD endedAt = 0;
        bool ended = false, told = false;
        MSG message;
        while (!told && GetTickCount() - start < 600000 &&
               !(ended && GetTickCount() - endedAt > Scaled(1000))) {
            if (!ended && (FlashStep < 0 || FlashStep == 6)) {
                ended = true;
                endedAt = GetTickCount();
            }
            MsgWaitForMultipleObjects(0, NULL, FALSE, 20, QS_POSTMESSAGE);
            told = PeekMessageA(&message, dialog, WM_FLASH_RUN_ENDED, WM_FLASH_RUN_ENDED,
                                PM_REMOVE) != 0;
        }
        const LONG step = FlashStep;
        EXPECT_TRUE(told) << "expected the dialog told of the run's end as it ended (FlashStep "
                          << step << "), no word " << (ended ? GetTickCount() - endedAt : 0)
                          << " ms after the end";
        EXPECT_TRUE(step < 0 || step == 6) << "told of the end while FlashStep is " << step;
        DestroyWindow(dialog);
        return CdbTexts(Commands());
    }
};

TEST_P(FlashEngineTest, ProbeTakesTargetsAndLoaders) {
    const std::tuple<const char*, bool, const char*> drives[] = {
        // settings, listed, revision
        {"revision = 2.16", true, "2.16"},
        {"kind = optical", false, ""},
        {"firmware = incomplete", true, "0.01"}, // its loader answers
        // Another vendor's device answering after twice the time-out hides no drive behind it.
        {"kind = optical\nfault = 12#1 late 10000", false, ""},
        {"revision = 1.95", true, "1.95"}, // another leading digit
        {"revision = 2.05", true, "2.05"}, // another tens digit
        {"revision = 107A", false, ""},    // letter form, not this image's
        {"product = TK-4800X", false, ""},
        {"vendor = OTHERCO\nproduct = TK-4800J LOADER\nrevision = 0.01", true, "0.01"},
    };
    std::string scenario = "[emulator]\n";
    std::vector<std::string> expected;
    int ha = 0;
    for (const auto& [settings, listed, revision] : drives) {
        // The later settings of a section win, so the kind line comes first.
        scenario += Device(ha++, 0, std::string("kind = tk4800j\n") + settings);
        if (listed) {
            expected.push_back(revision);
        }
    }
    ASSERT_EQ("", StartWith(scenario));
    ClearRecordedHost();
    EnumerateDrives(&FlashDriveProbe);
    std::vector<std::string> revisions;
    for (int row = 0; row < DriveCount; ++row) {
        revisions.push_back(DriveTable[row].revision);
    }
    EXPECT_EQ(expected, revisions) << Emulator().LogText();
    const std::vector<std::string> items = DriveListItems();
    ASSERT_EQ(expected.size(), items.size());
    EXPECT_EQ("[HA:0/ID:0]ZAL     TK-4800J        ", items[0]);
    EXPECT_EQ("[HA:2/ID:0]ZAL     TK-4800J LOADER ", items[1]);
    SelectDrive(1);
    EXPECT_EQ(std::string("0.01"), CurrentVersion());
}

TEST_P(FlashEngineTest, WholeRunByteForByteThenTheNewVersion) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        // settings, the commands that take 5.6 s
        {"revision = 2.16", {}},
        // Erasing and programming a block may take far longer than other commands' 5-second limit.
        {"revision = 2.16\nfault = CB/04#1 late 5600\nfault = CB/02#17 late 5600",
         {BlockCdb(4, 0x4), BlockCdb(2, 0x40000)}},
    };
    for (const auto& [settings, slow] : cases) {
        StartOneDrive(settings);
        const DWORD start = GetTickCount();
        const std::vector<std::string> sent = Run();
        EXPECT_EQ(6, FlashStep) << settings << "\n" << Emulator().LogText();
        EXPECT_GE(GetTickCount() - start, 1000u) << "the pause after leaving flash mode";
        EXPECT_EQ(Whole(), sent) << settings;
        for (const CommandRecord& r : Commands()) {
            if (r.Opcode() == 0xCB && r.cdb[1] == 1) {
                EXPECT_EQ(zalemu::Direction::Out, r.direction) << CdbText(r);
                EXPECT_EQ(r.cdb[8] * 4096u, r.length) << CdbText(r);
            }
            const bool late = std::find(slow.begin(), slow.end(), CdbText(r)) != slow.end();
            EXPECT_EQ(late ? "late-5600-good" : "good", r.outcome) << CdbText(r);
        }
        for (const SentRequest& request : SentRequests()) {
            EXPECT_EQ(ExpectedFlags(request.cdb), request.flags) << "SRB_Flags of " << request.cdb;
            EXPECT_EQ(16u, request.senseLength) << "SRB_SenseLen of " << request.cdb;
        }
        EXPECT_EQ("", FirmwareMismatch(Emulator().Firmware(Address(0, 0)), ProgramFile(false)))
            << settings;
        RefreshSelectedDrive();
        EXPECT_EQ(std::string("2.17"), DriveTable[0].revision);
        EXPECT_EQ(std::string("2.17"), CurrentVersion());
    }
}

// A failure or a time-out at each stage: the step the run ends at, and exactly the commands up to
// the failing one and its follow-up (the leave of flash mode after stages 1 to 4). A command that
// runs out of its 5-second time-out fails its stage all the same; the drive may still carry it out
// late. On the ASPI path a command that never completes keeps its request block for good, so those
// rows come last, each holding one more block of the pool. On the NT path a hung pass-through holds
// its drive's worker in the simulator, and every later command to that drive would wait behind it:
// there the drive carries each command out late instead.
TEST_P(FlashEngineTest, AFailureOrTimeOutAtEachStageSendsExactlyItsFollowUp) {
    const std::vector<std::string> whole = Whole();
    const std::string neverOrLate = OnAspiPath() ? " hang" : " late 5600";
    // Settings; whether the fault's action is never to complete (late, on the NT path); the step;
    // the index in the whole run of the command that fails; whether SetFlashMode(0) follows.
    const std::tuple<const char*, bool, LONG, long, bool> cases[] = {
        {"fault = CC/01#1 check 5/24/00", false, -1, 0, true},
        {"fault = 12#2 check 4/44/00", false, -1, 1, true},
        {"loader-revision = 0001", false, -1, 1, true}, // a loader the revision pattern refuses
        {"fault = CB/01#3 check 5/24/00", false, -2, 4, true},
        {"fault = CC/04 check 5/26/00", false, -3, 34, true},
        {"fault = CB/04#5 check 3/0C/00", false, -4, 39, true},
        {"fault = CB/02#1 check 3/0C/00", false, -5, 52, false},
        {"fault = CB/02#17 check 3/0C/00", false, -5, 68, false},
        {"fault = CC/01#2 check 5/2C/00", false, -6, 69, false},
        // The drive enters flash mode after the entry's time-out: the leave still goes.
        {"fault = CC/01#1 late 5600", false, -1, 0, true},
        {"fault = CC/01#2 late 5600", false, -6, 69, false},
        {"fault = CC/04", true, -3, 34, true},
        {"fault = CB/01#2", true, -2, 3, true},
        {"fault = 12#2", true, -1, 1, true},
    };
    for (const auto& [fault, never, step, failing, leave] : cases) {
        const std::string settings = fault + (never ? neverOrLate : "");
        StartOneDrive(settings);
        const std::vector<std::string> sent = Run();
        EXPECT_EQ(step, FlashStep) << settings;
        std::vector<std::string> expected(whole.begin(), whole.begin() + failing + 1);
        if (leave) {
            expected.push_back(FlashLeaveCdb);
        }
        EXPECT_EQ(expected, sent) << settings << "\n" << Emulator().LogText();
    }
}

// A poll of the other device; its own time-out is short, since its block stays held once it has run
// out of time whatever that time was.
DWORD WINAPI PollTheSilentDevice(LPVOID) {
    ScsiCommand poll = CommandToCurrentTarget(6, 1000);
    poll.haId = 1;
    poll.targetId = 0;
    return static_cast<DWORD>(IssueCommand(&poll));
}

// Requests that ran out of time hold their request blocks until they complete. A run starts only
// while one block is free for its commands and one more for the leave of flash mode, so that a run
// that fails in stages 1 to 4 always leaves it; with fewer the run is refused before anything is
// sent, and the status box says why. The blocks are held here by polls of another device that never
// answers them, sent side by side. (On the NT path a hung pass-through holds its drive's worker in
// the simulator, and the leave would wait behind it: there the download is done late instead.)
TEST_P(FlashEngineTest, TheLeaveAlwaysHasARequestBlock) {
    const std::string download = OnAspiPath() ? "hang" : "late 5600";
    ASSERT_EQ("", StartWith(Device(0, 0, "kind = tk4800j\nfault = CB/01#2 " + download) +
                            Device(1, 0, "kind = optical\nfault = 00 hang")));
    EnumerateDrives(&FlashDriveProbe);
    ASSERT_EQ(1, DriveCount);
    SelectDrive(0);
    const std::vector<std::string> whole = Whole();
    // More blocks held by the other device's polls (-1: all but one), the step, what is sent, the
    // status box at the end.
    const std::tuple<int, LONG, std::vector<std::string>, const char*> cases[] = {
        // Two free: the second download runs out of time and keeps one, the leave takes the last.
        {CommandPoolSize - 2,
         -2,
         {whole[0], whole[1], whole[2], whole[3], FlashLeaveCdb},
         MessageTable->error},
        // One free: refused, nothing sent (a run then could lose its leave).
        {-1, FlashRefusedBlocksHeld, {}, MessageTable->blocksHeld},
    };
    for (const auto& [hold, step, sent, status] : cases) {
        // One poll at a time takes its block (it creates its event once it has one), then all of
        // them wait side by side.
        std::vector<HANDLE> holders;
        for (int i = 0; hold < 0 ? CommandPoolHasRoom() != 0 : i < hold; ++i) {
            const int events = CreatedEventCount();
            holders.push_back(CreateThread(NULL, 0, PollTheSilentDevice, NULL, 0, NULL));
            const DWORD start = GetTickCount();
            while (CreatedEventCount() == events && GetTickCount() - start < Scaled(5000)) {
                Sleep(1);
            }
        }
        for (HANDLE holder : holders) {
            DWORD result = 1;
            WaitForSingleObject(holder, INFINITE);
            GetExitCodeThread(holder, &result);
            CloseHandle(holder);
            EXPECT_EQ(0u, result) << "a poll that is never answered";
        }
        Emulator().ClearLog();
        ClearRecordedHost();
        EXPECT_EQ(sent, Run()) << "holding " << hold << " more";
        EXPECT_EQ(step, FlashStep) << "holding " << hold << " more";
        ProgressPoll(0); // the tick that shows the end
        EXPECT_EQ(std::vector<std::string>{status}, StatusTexts());
    }
}

// A test image goes only into the drive emulator: one INQUIRY with room for the emulator's
// signature comes first, and a drive that does not answer with it, as a real drive would not,
// receives that INQUIRY alone.
TEST_P(FlashEngineTest, ATestImageFlashesOnlyTheEmulator) {
    ASSERT_EQ(1, ReadImageFile(ProgramFile(true).c_str()));
    const std::string signedInquiry = "12-00-00-00-38-00";
    std::vector<std::string> whole = Whole();
    whole.insert(whole.begin(), signedInquiry);
    const std::tuple<const char*, LONG, std::vector<std::string>> cases[] = {
        // settings, step, sent
        {"revision = 2.16", 6, whole},
        {"emulator-signature = hide", FlashRefusedTestImage, {signedInquiry}},
        {"fault = 12#2 check 4/44/00", FlashRefusedTestImage, {signedInquiry}},
    };
    for (const auto& [settings, step, sent] : cases) {
        StartOneDrive(settings);
        EXPECT_EQ(sent, Run()) << settings;
        EXPECT_EQ(step, FlashStep) << settings;
    }
    ASSERT_EQ(1, ReadImageFile(ProgramFile(false).c_str()));
}

// The drive carries the entry out after twice its time-out: the run ends at stage 1, the leave
// still goes out (on the NT path it waits at the simulator behind the entry), and the drive ends
// out of flash mode, naming its firmware again.
TEST_P(FlashEngineTest, AnEntryCarriedOutLateIsStillLeft) {
    StartOneDrive("fault = CC/01#1 late 11000");
    Run();
    EXPECT_EQ(-1, FlashStep);
    Emulator().AwaitCommands(2, Scaled(15000));
    EXPECT_EQ((std::vector<std::string>{FlashEnterCdb, FlashLeaveCdb}), CdbTexts(Commands()))
        << Emulator().LogText();
    ASSERT_EQ(1, InquirySelected());
    EXPECT_EQ("TK-4800J        2.16",
              std::string(reinterpret_cast<const char*>(FlashIdentification) + 16, 20));
}

// A run whose tick cannot be armed would leave the dialog waiting for its end for good: it ends at
// once at stage 1, as an error, with nothing sent. A run whose first event cannot be created ends
// at stage 1 too, sending only the leave.
TEST_P(FlashEngineTest, ARunWithoutItsTickOrItsEventEndsUnsent) {
    StartOneDrive("revision = 2.16");
    HWND gone = CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, NULL, NULL, NULL, NULL);
    ASSERT_TRUE(DestroyWindow(gone));
    EXPECT_EQ(0, BeginFlashRun(gone));
    EXPECT_EQ(-1, FlashStep);
    EXPECT_EQ(1, RunTick(gone)) << "the run has ended";
    EXPECT_EQ(std::vector<std::string>{MessageTable->error}, StatusTexts());
    EXPECT_EQ(std::vector<std::string>{}, CdbTexts(Commands()));

    StartOneDrive("revision = 2.16");
    FailNextEventCreations(1);
    const std::vector<std::string> sent = Run();
    EXPECT_EQ(-1, FlashStep);
    EXPECT_EQ(std::vector<std::string>{FlashLeaveCdb}, sent) << "SetFlashMode(1) was never sent";
    EXPECT_EQ(std::vector<std::string>{"Create Event Fail"}, StatusTexts());
}

// Two drives and another vendor's device on different host adapters (and, on the ASPI path,
// targets): the second drive is flashed, then the first. Every command of a run goes to the chosen
// drive; the other devices keep their firmware and state.
TEST_P(FlashEngineTest, ARunTouchesOnlyTheChosenDrive) {
    const int t = OnAspiPath() ? 3 : 0, u = OnAspiPath() ? 5 : 0;
    const std::string all[] = {Address(0, t), Address(1, 0), Address(2, u)};
    ASSERT_EQ("", StartWith(Device(0, t, "kind = tk4800j\nrevision = 2.05") +
                            Device(1, 0, "kind = optical") +
                            Device(2, u, "kind = tk4800j\nrevision = 2.16")));
    EnumerateDrives(&FlashDriveProbe);
    ASSERT_EQ(2, DriveCount);
    const auto section = [](const std::string& state, const std::string& address) {
        const size_t start = state.find("[device " + address + "]");
        return start == std::string::npos ? ""
                                          : state.substr(start, state.find("\n[", start) - start);
    };
    for (int row : {1, 0}) {
        const std::string& chosen = all[row == 0 ? 0 : 2];
        SelectDrive(row);
        const std::string before = Emulator().StateText();
        Emulator().ClearLog();
        Run();
        EXPECT_EQ(6, FlashStep) << chosen;
        for (const CommandRecord& record : Commands()) {
            EXPECT_EQ(chosen, record.address) << CdbText(record);
        }
        for (const std::string& other : all) {
            if (other != chosen) {
                EXPECT_EQ(section(before, other), section(Emulator().StateText(), other)) << other;
            }
        }
        EXPECT_NE(std::string::npos,
                  section(Emulator().StateText(), chosen).find("revision = 2.17"));
    }
}

TEST_P(FlashEngineTest, DownloadImageCutsTransfersAndRefusesPartBlocks) {
    StartOneDrive("revision = 2.16");
    ASSERT_EQ(1, SetFlashMode(1));
    const std::tuple<DWORD, DWORD, int, std::vector<std::string>> cases[] = {
        // address, length, result, CDBs sent
        {0x6000, 0, 1, {}},
        {0x6000, 32768, 1, {DownloadCdb(0x6000, 8)}},
        {0x6000, 36864, 1, {DownloadCdb(0x6000, 8), DownloadCdb(0xE000, 1)}},
        {0x6000, 12288, 1, {DownloadCdb(0x6000, 3)}},
        {0x1006000, 4096, 1, {DownloadCdb(0x6000, 1)}}, // the low 24 bits
        {0x6000, 4095, 0, {}},
        {0x6000, 4097, 0, {}},
    };
    for (const auto& [address, length, result, cdbs] : cases) {
        Emulator().ClearLog();
        EXPECT_EQ(result, DownloadImage(address, FirmwareImage.data, length))
            << "length " << length;
        EXPECT_EQ(cdbs, CdbTexts(Commands())) << "address " << address << ", length " << length;
    }
}

ZAL_ON_BOTH_PATHS(FlashEngineTest);

} // namespace
