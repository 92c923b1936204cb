// Faults on demand: checks by opcode, sub-command and occurrence or by command
// number, late and hung commands, per-command delays, failing pass-throughs, a
// device that vanishes, and the note of a second command in flight.
#include "EmulatorTesting.h"
#include "SptiBackEnd.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>

using namespace emutest;

namespace {

// A pass-through of TEST UNIT READY on an open letter device.
struct PassThroughCall {
    explicit PassThroughCall(const char* path) : device(OpenDevice(path)) {}
    HANDLE device;
    BOOL result = FALSE;
    DWORD error = 0;
    PassThroughBlock block;
};

BOOL TestUnitReadyThrough(PassThroughCall* call) {
    call->block = Block(TestUnitReadyCommand(), SCSI_IOCTL_DATA_OUT, NULL, 0);
    call->block.TargetId = 0;
    call->block.SenseInfoLength = 16;
    call->result = Through(call->device, &call->block);
    call->error = GetLastError();
    return call->result;
}

DWORD WINAPI PassThroughThread(LPVOID parameter) {
    TestUnitReadyThrough(static_cast<PassThroughCall*>(parameter));
    return 0;
}

TEST(FaultTest, ChecksFireOnTheirCommands) {
    ASSERT_EQ("", Load("[device 0:0]\ndisc = yes\n"
                       "fault = C9/02#2 check 3/11/00\n"
                       "fault = @4 check 4/44/00\n"
                       "fault = CC check 6/29/00\n"));
    const std::pair<Bytes, const char*> sequence[] = {
        {BookTypeCommand(2, 2, 1, 0), "good"},    {TestUnitReadyCommand(), "good"},
        {BookTypeCommand(2, 2, 1, 1), "3/11/00"}, {TestUnitReadyCommand(), "4/44/00"},
        {BookTypeCommand(2, 2, 1, 0), "good"},    {FlashModeCommand(1), "6/29/00"},
        {FlashModeCommand(0), "6/29/00"},         {BookTypeCommand(3, 2, 0, 0), "5/2C/00"},
    };
    int n = 0;
    for (const auto& [cdb, outcome] : sequence) {
        EXPECT_EQ(outcome, Send("0:0", cdb, 6).outcome) << "command " << ++n;
    }
    EXPECT_EQ("check-3/11/00", LoggedOutcome(2));
}

// The emulator's core takes the time a command's fault and delay give it; the
// ASPI front end's own timings (early-status, caller) only mark the outcome here.
TEST(FaultTest, LateCommandsCompleteAfterTheirTimeAndDelaysApplyToEveryCommand) {
    ASSERT_EQ("", Load("[device 0:0]\nfault = 12 late 400\nfault = C9#1 late 400\n"
                       "[device 0:1]\ndelay = 250\n"
                       "[device 0:2]\nfault = 12 caller\nfault = 00 early-status 30\n"));
    // address, CDB, the least time it takes, its outcome in the log
    const std::tuple<const char*, Bytes, DWORD, const char*> cases[] = {
        {"0:0", InquiryCommand(), 400, "late-400-good"},
        {"0:0", BookTypeCommand(2, 3, 1, 0), 400, "late-400-check-5/24/00"},
        {"0:0", TestUnitReadyCommand(), 0, "check-2/3A/00"},
        {"0:1", TestUnitReadyCommand(), 250, "check-2/3A/00"},
        {"0:1", InquiryCommand(), 250, "good"},
        {"0:2", InquiryCommand(), 0, "caller-good"},
        {"0:2", TestUnitReadyCommand(), 0, "early-30-check-2/3A/00"}};
    size_t n = 0;
    for (const auto& [address, cdb, atLeast, logged] : cases) {
        const DWORD start = GetTickCount();
        const Reply reply = Send(address, cdb, 36);
        const DWORD elapsed = GetTickCount() - start;
        EXPECT_GE(elapsed + 20, atLeast) << logged;
        EXPECT_LT(elapsed, atLeast + 500) << logged;
        EXPECT_EQ(logged, LoggedOutcome(n++));
        if (cdb[0] == 0x12) {
            EXPECT_EQ(36u, reply.data.size()) << "a late command still brings its data";
        }
    }
}

DWORD WINAPI LateInquiryThread(LPVOID) {
    Send("0:0", InquiryCommand(), 36);
    return 0;
}

// A command that begins while another is still carried out (here a late one, on
// another device) is noted in the log file before its line; one that begins
// after the completion is not.
TEST(FaultTest, ACommandBegunWhileAnotherIsInFlightIsNoted) {
    ScratchFolder folder;
    ASSERT_EQ("", Load("[emulator]\nlog = cmd.log\n[device 0:0]\nfault = 12 late 1500\n"
                       "[device 0:1]\n",
                       folder.Path()));
    HANDLE late = CreateThread(NULL, 0, LateInquiryThread, NULL, 0, NULL);
    ASSERT_NE(nullptr, late);
    while (Logged().empty()) {
        Sleep(10);
    }
    Send("0:1", TestUnitReadyCommand());
    WaitForSingleObject(late, INFINITE);
    CloseHandle(late);
    Send("0:1", TestUnitReadyCommand());
    const std::string log = ReadFile(folder.File("cmd.log"));
    const std::string note = "# overlap: command 2 began while command 1 was in flight\r\n";
    EXPECT_NE(std::string::npos, log.find(note + "2 0:1 ")) << log;
    EXPECT_EQ(log.find("# overlap"), log.rfind("# overlap")) << log;
}

TEST(FaultTest, AHungPassThroughBlocksUntilTheScenarioIsReplaced) {
    ASSERT_EQ("", Load("[device D:]\nfault = 00 hang\n"));
    PassThroughCall call("\\\\.\\D:");
    ASSERT_NE(INVALID_HANDLE_VALUE, call.device);
    HANDLE thread = CreateThread(NULL, 0, PassThroughThread, &call, 0, NULL);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(thread, 700))
        << "the DeviceIoControl must not return";
    ASSERT_EQ(1u, Logged().size());
    EXPECT_EQ("hang", LoggedOutcome(0));
    ASSERT_EQ("", Load("[device D:]\n"));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(thread, 2000));
    CloseHandle(thread);
    EXPECT_FALSE(call.result);
    EXPECT_EQ(static_cast<DWORD>(ERROR_OPERATION_ABORTED), call.error);
    EXPECT_TRUE(TestUnitReadyThrough(&call)) << "the handle works with the new scenario";
}

TEST(FaultTest, PassThroughFailuresComeBeforeTheDeviceSeesAnything) {
    ASSERT_EQ("", Load("[device D:]\npass-through-failures = 2\nfault = @1 check 4/00/00\n"));
    PassThroughCall call("\\\\.\\D:");
    // DeviceIoControl's result, its error, the SCSI status, the outcome in the log
    const std::tuple<BOOL, DWORD, UCHAR, const char*> expected[] = {
        {FALSE, ERROR_IO_DEVICE, 0, "pass-through-failed"},
        {FALSE, ERROR_IO_DEVICE, 0, "pass-through-failed"},
        {TRUE, 0, 2, "check-4/00/00"},
        {TRUE, 0, 2, "check-2/3A/00"}};
    size_t n = 0;
    for (const auto& [result, error, scsiStatus, logged] : expected) {
        SetLastError(0);
        EXPECT_EQ(result, TestUnitReadyThrough(&call)) << "call " << n + 1;
        if (!result) {
            EXPECT_EQ(error, call.error) << "call " << n + 1;
        } else {
            EXPECT_EQ(scsiStatus, call.block.ScsiStatus) << "call " << n + 1;
        }
        EXPECT_EQ(logged, LoggedOutcome(n)) << "call " << n + 1;
        ++n;
    }
}

TEST(FaultTest, AVanishedDeviceAnswersNothingMore) {
    ASSERT_EQ("", Load("[device 0:0]\nvanish-after = 2\n[device E:]\nvanish-after = 1\n"));
    EXPECT_EQ("good", Send("0:0", InquiryCommand(), 36).outcome);
    EXPECT_EQ("2/3A/00", Send("0:0", TestUnitReadyCommand()).outcome);
    EXPECT_EQ("gone", Send("0:0", InquiryCommand(), 36).outcome);
    EXPECT_EQ("gone", Send("0:0", TestUnitReadyCommand()).outcome);
    EXPECT_EQ("gone", Logged().back().outcome);

    PassThroughCall call("\\\\.\\E:");
    ASSERT_TRUE(TestUnitReadyThrough(&call));
    EXPECT_FALSE(TestUnitReadyThrough(&call));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED), call.error);
    EXPECT_EQ("gone", Logged().back().outcome);
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenDevice("\\\\.\\E:")) << "a vanished drive cannot be opened";
    BYTE reply[256];
    DWORD returned = 0;
    EXPECT_FALSE(SptiDeviceIoControl(call.device, ZAL_IOCTL_SCSI_GET_INQUIRY_DATA, NULL, 0, reply,
                                     sizeof reply, &returned));
}

} // namespace
