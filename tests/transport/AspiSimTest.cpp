// ASPISim over emulated drive letters: discovery, every request kind of the
// dispatch, the pass-through block each request becomes, the worker's completion,
// retries with reopening, buffer refusals, aborts and time-outs.
#include "AspiSim.h"
#include "ControlledEvents.h"
#include "EmulatedDevices.h"
#include "EmulatorAccess.h"
#include "ExecRequest.h"
#include "SptiBackEnd.h"
#include "RecordingHost.h"
#include "ScsiCommand.h"
#include "ScsiTransport.h"
#include "TimeScale.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const TwoDrives = "[device D:]\nkind = tk4800j\nproduct = TK-4800J D\ndisc = no\n"
                              "[device F:]\nkind = tk4800j\nproduct = TK-4800J F\ndisc = yes\n";

// D: holds its first command (or the one `at`) for `fault`; F: answers at once.
std::string HeldAtD(const std::string& fault, const char* at = "@1") {
    return std::string("[device D:]\nfault = ") + at + " " + fault + "\n[device F:]\n";
}
std::string Late(DWORD ms) {
    return "late " + std::to_string(ms);
}

class AspiSimTest : public ::testing::Test {
protected:
    void SetUp() override {
        SeamWithEmulatedDevices();
        emulator = EmulatorAccess::Linked();
        ClearRecordedHost();
    }

    // Loads the scenario and brings the transport up over it; what discovery sent
    // is kept apart, and the log starts empty for the test's own requests.
    void Start(const std::string& scenario) {
        ASSERT_EQ("", emulator.Load(scenario));
        ClearRecordedDeviceCalls();
        emulator.ClearLog();
        startResult = InitScsiTransport();
        discoveryCommands = emulator.Commands();
        emulator.ClearLog();
    }

    // Sends the request and waits for its event; true when it was signalled.
    static bool SendAndWait(ExecRequest& request, DWORD timeoutMs = 5000) {
        EXPECT_EQ(0u, SimSendCommand(&request.srb)) << "an execute request is accepted pending";
        return request.Signalled(Scaled(timeoutMs));
    }
    static bool InquiryTo(BYTE ha) {
        ExecRequest inquiry(ha, 0, SRB_EVENT_NOTIFY | SRB_DIR_IN, InquiryCommand(), 36);
        return SendAndWait(inquiry);
    }
    // The drive letter each logged command went to, in order.
    std::vector<std::string> Addresses() {
        std::vector<std::string> addresses;
        for (const zalemu::CommandRecord& record : emulator.Commands()) {
            addresses.push_back(record.address);
        }
        return addresses;
    }

    EmulatorAccess emulator;
    int startResult = -1;
    std::vector<zalemu::CommandRecord> discoveryCommands;
};

// A logged pass-through's block: used, path, target, LUN, sense length, data in,
// time-out, transfer length.
std::vector<unsigned> PassThrough(const zalemu::CommandRecord& r) {
    return {r.viaPassThrough, r.ptPathId, r.ptTargetId, r.ptLun,
            r.ptSenseLength,  r.ptDataIn, r.ptTimeout,  r.length};
}

const BYTE In = SRB_EVENT_NOTIFY | SRB_DIR_IN;
const BYTE Posted = SRB_POSTING | SRB_DIR_IN;

TEST_F(AspiSimTest, AnsweringLettersBecomeHostAdaptersInOrder) {
    Start(TwoDrives);
    EXPECT_EQ(1, startResult);
    EXPECT_EQ(std::vector<std::string>{"SPTI Ready"}, StatusTexts());
    EXPECT_EQ(2, HostAdapterCount);
    EXPECT_EQ(0x0102u, SimSupportInfo());
    EXPECT_EQ(SimSupportInfo, GetASPI32SupportInfo);
    EXPECT_EQ(SimSendCommand, SendASPI32Command);
    EXPECT_TRUE(discoveryCommands.empty()) << "both answered the inquiry-data query";

    // Every letter from C: to Z: was tried, in order, for reading and writing: an
    // answering one once, any other three times.
    std::vector<std::string> opened, expected;
    std::vector<int> tries, expectedTries;
    for (const DeviceCall& call : RecordedDeviceCalls()) {
        if (call.function == "CreateFileA") {
            EXPECT_EQ(DWORD(GENERIC_READ | GENERIC_WRITE), call.access) << call.path;
            EXPECT_EQ(DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE), call.shareMode) << call.path;
            EXPECT_EQ(DWORD(OPEN_EXISTING), call.disposition) << call.path;
            if (opened.empty() || opened.back() != call.path) {
                opened.push_back(call.path);
                tries.push_back(0);
            }
            ++tries.back();
        }
    }
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        expected.push_back(std::string("\\\\.\\") + letter + ":");
        expectedTries.push_back(letter == 'D' || letter == 'F' ? 1 : 3);
    }
    EXPECT_EQ(expected, opened);
    EXPECT_EQ(expectedTries, tries) << "tries per letter, C: to Z:";

    const char* identities[2] = {"ZAL     TK-4800J D      2.16", "ZAL     TK-4800J F      2.16"};
    for (BYTE ha = 0; ha < 2; ++ha) {
        ExecRequest inquiry(ha, 0, In, InquiryCommand(), 36);
        ASSERT_TRUE(SendAndWait(inquiry));
        EXPECT_EQ(SS_COMP, inquiry.srb.SRB_Status);
        EXPECT_EQ(identities[ha], InquiryIdentity(inquiry.data)) << "host adapter " << int(ha);
    }
    EXPECT_EQ((std::vector<std::string>{"D:", "F:"}), Addresses());
}

TEST_F(AspiSimTest, DiscoveryKeepsOnlyDevicesThatAnswer) {
    // C: refuses to open, E: fails both queries, G: answers the inquiry data but
    // not the capabilities, H: is a hard disk, K: answers only the INQUIRY fallback.
    Start("[device C:]\nopen = fail\n[device E:]\ninquiry-data = fail\n"
          "pass-through-failures = 100\n[device G:]\ncapabilities = fail\n[device H:]\n"
          "kind = disk\n[device K:]\ninquiry-data = fail\nmax-transfer = 131072\n"
          "alignment-mask = 7\n");
    EXPECT_EQ(2, HostAdapterCount) << "H: and K: only";
    ASSERT_NE(nullptr, TheSim);
    ASSERT_NE(nullptr, TheSim->DeviceAt(0));
    ASSERT_NE(nullptr, TheSim->DeviceAt(1));
    EXPECT_EQ(nullptr, TheSim->DeviceAt(2));
    EXPECT_EQ('H' - 'C', TheSim->DeviceAt(0)->letterIndex);
    EXPECT_EQ(0, TheSim->DeviceAt(0)->deviceType) << "a hard disk is a host adapter too";
    EXPECT_EQ('K' - 'C', TheSim->DeviceAt(1)->letterIndex);
    EXPECT_EQ(5, TheSim->DeviceAt(1)->deviceType) << "type from the fallback INQUIRY";
    // The fallback's capabilities replace what the driver would have said.
    EXPECT_EQ(65536u, TheSim->DeviceAt(1)->capabilities.MaximumTransferLength);
    EXPECT_EQ(1u, TheSim->DeviceAt(1)->capabilities.AlignmentMask);

    // Handles of discarded devices are closed.
    std::vector<HANDLE> openedHandles, closedHandles;
    for (const DeviceCall& call : RecordedDeviceCalls()) {
        if (call.function == "CreateFileA" && call.result &&
            (call.path == "\\\\.\\E:" || call.path == "\\\\.\\G:")) {
            openedHandles.push_back(call.handle);
        }
        if (call.function == "CloseHandle") {
            closedHandles.push_back(call.handle);
        }
    }
    EXPECT_EQ(openedHandles, closedHandles);

    // A device whose worker cannot wait for requests (its wake event cannot be
    // created) is not listed: it would spin, or never answer.
    FailNextEventCreations(1);
    Start(TwoDrives);
    EXPECT_EQ(0x0101u, SimSupportInfo()) << "F: only";
    ASSERT_NE(nullptr, TheSim->DeviceAt(0));
    EXPECT_EQ('F' - 'C', TheSim->DeviceAt(0)->letterIndex);
    EXPECT_EQ(nullptr, TheSim->DeviceAt(1));
}

TEST_F(AspiSimTest, FallbackInquiryIsOneWellFormedPassThrough) {
    Start("[device D:]\ninquiry-data = fail\n");
    ASSERT_EQ(1, HostAdapterCount);
    ASSERT_EQ(1u, discoveryCommands.size());
    const zalemu::CommandRecord& inquiry = discoveryCommands[0];
    EXPECT_EQ("12-00-00-00-60-00", CdbText(inquiry)) << "INQUIRY for 96 bytes";
    EXPECT_EQ(zalemu::Direction::In, inquiry.direction);
    EXPECT_EQ((std::vector<unsigned>{1, 0, 1, 0, 32, 1, 108000, 96}), PassThrough(inquiry));

    // Its host adapter reports the assumed alignment mask 1 and 65536 bytes.
    SRB_HAInquiry block = BlankRequest<SRB_HAInquiry>(SC_HA_INQUIRY);
    EXPECT_EQ(1u, SimSendCommand(&block));
    const BYTE unique[8] = {0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00};
    EXPECT_EQ(ByteValues(unique, 8), ByteValues(block.HA_Unique, 8)) << "HA_Unique";
}

TEST_F(AspiSimTest, NoDeviceRefusesEverything) {
    // Before the simulator exists, everything is refused too.
    ASSERT_EQ(nullptr, TheSim);
    EXPECT_EQ(0xE400u, SimSupportInfo());
    ExecRequest request(0, 0, In, InquiryCommand(), 0);
    EXPECT_EQ(DWORD(SS_INVALID_HA), SimSendCommand(&request.srb));
    EXPECT_EQ(SS_INVALID_HA, request.srb.SRB_Status);

    Start("[emulator]\n");
    EXPECT_EQ(0, startResult);
    EXPECT_EQ(std::vector<std::string>{"SPTI ERROR"}, StatusTexts());
    EXPECT_EQ(0, HostAdapterCount);
    EXPECT_EQ(nullptr, SendASPI32Command) << "nothing is bound";
    EXPECT_EQ(nullptr, GetASPI32SupportInfo);
    EXPECT_EQ(0xE400u, SimSupportInfo());
    SRB_HAInquiry inquiry = BlankRequest<SRB_HAInquiry>(SC_HA_INQUIRY);
    EXPECT_EQ(DWORD(SS_INVALID_HA), SimSendCommand(&inquiry));
    EXPECT_EQ(SS_INVALID_HA, inquiry.SRB_Status);
}

TEST_F(AspiSimTest, EveryRequestKindIsAnsweredAsPublished) {
    Start(TwoDrives);
    struct Case {
        BYTE cmd;
        BYTE ha;
        DWORD returned;
        BYTE status;
    } cases[] = {
        {SC_RESCAN_SCSI_BUS, 0, 1, 0x5A}, // nothing happens: the status stays as it was
        {SC_SET_HA_PARMS, 0, 1, SS_INVALID_SRB},
        {SC_GET_DISK_INFO, 1, 1, SS_INVALID_SRB},
        {9, 0, 1, SS_INVALID_SRB},
        {0x7F, 0, 1, SS_INVALID_SRB},
        {SC_HA_INQUIRY, 3, SS_INVALID_HA, SS_INVALID_HA},   // above the device count
        {SC_GET_DEV_TYPE, 2, SS_INVALID_HA, SS_INVALID_HA}, // no device in that slot
    };
    for (const Case& c : cases) {
        BYTE block[96] = {c.cmd, 0x5A, c.ha};
        EXPECT_EQ(c.returned, SimSendCommand(block)) << "kind " << int(c.cmd);
        EXPECT_EQ(c.status, block[1]) << "kind " << int(c.cmd);
    }

    // Reset: nothing is reset, the block reads as a clean completion, and the call
    // returns 0 rather than the status.
    ScsiRequestBlock reset = BlankRequest<ScsiRequestBlock>(SC_RESET_DEV);
    reset.SRB_HaStat = 0x33;
    reset.SRB_TargStat = 0x44;
    EXPECT_EQ(0u, SimSendCommand(&reset));
    EXPECT_EQ(SS_COMP, reset.SRB_Status);
    EXPECT_EQ(0, reset.SRB_HaStat);
    EXPECT_EQ(0, reset.SRB_TargStat);

    // An abort of a block never queued is refused; host adapter 2 passes the count
    // check (not above deviceCount) but has no device.
    ScsiRequestBlock never = BlankRequest<ScsiRequestBlock>(0);
    SRB_Abort abort = AbortRequest(0, &never);
    EXPECT_EQ(DWORD(SS_INVALID_SRB), SimSendCommand(&abort));
    EXPECT_EQ(SS_INVALID_SRB, abort.SRB_Status);
    abort.SRB_HaId = 2;
    EXPECT_EQ(DWORD(SS_INVALID_HA), SimSendCommand(&abort));
    EXPECT_EQ(SS_INVALID_HA, abort.SRB_Status);
    EXPECT_TRUE(emulator.Commands().empty()) << "none of these reaches a device";
}

TEST_F(AspiSimTest, DeviceTypeAndTargetRejection) {
    Start(TwoDrives);
    struct Case {
        BYTE target;
        BYTE lun;
        DWORD expected;
    } cases[] = {{0, 0, SS_COMP}, {1, 0, SS_NO_DEVICE}, {7, 0, SS_NO_DEVICE}, {0, 1, SS_NO_DEVICE}};
    for (const Case& c : cases) {
        SRB_GDEVBlock block = BlankRequest<SRB_GDEVBlock>(SC_GET_DEV_TYPE);
        block.SRB_HaId = 1;
        block.SRB_Target = c.target;
        block.SRB_Lun = c.lun;
        block.SRB_DeviceType = 0xEE;
        EXPECT_EQ(c.expected, SimSendCommand(&block)) << int(c.target) << "/" << int(c.lun);
        EXPECT_EQ(c.expected, block.SRB_Status);
        EXPECT_EQ(c.expected == SS_COMP ? 5 : 0xEE, block.SRB_DeviceType);
        if (c.expected != SS_COMP) { // an execute request there is refused at once, unsent
            ExecRequest request(0, c.target, In, InquiryCommand(), 36);
            request.srb.SRB_Lun = c.lun;
            EXPECT_EQ(DWORD(SS_NO_DEVICE), SimSendCommand(&request.srb));
            EXPECT_EQ(SS_NO_DEVICE, request.srb.SRB_Status);
        }
    }
    EXPECT_TRUE(emulator.Commands().empty());
}

TEST_F(AspiSimTest, ExecuteRefusalsAreAnsweredWithoutSending) {
    Start(TwoDrives);
    struct Case {
        BYTE ha;
        BYTE flags;
        BYTE cdbLength;
        BYTE status;
    } cases[] = {
        {0, 0x41, 6, SS_INVALID_SRB}, // event notify and posting
        {0, 0x08, 6, SS_INVALID_SRB}, // neither
        {0, 0x00, 6, SS_INVALID_SRB},
        {0, 0x48, 17, SS_INVALID_SRB}, // more CDB than the pass-through block holds
        {2, 0x48, 6, SS_INVALID_HA},   // host adapter count itself: no device there
    };
    for (const Case& c : cases) {
        ExecRequest request(c.ha, 0, c.flags, InquiryCommand(), 36);
        request.srb.SRB_CDBLen = c.cdbLength;
        // Nothing will signal a refused request: the call returns the refusal
        // itself, so that no caller waits for a completion that cannot come.
        EXPECT_EQ(DWORD(c.status), SimSendCommand(&request.srb)) << "flags " << int(c.flags);
        EXPECT_EQ(c.status, request.srb.SRB_Status) << "flags " << int(c.flags);
    }
    // An INQUIRY that is sent afterwards is the first command the drives see.
    ASSERT_TRUE(InquiryTo(0));
    EXPECT_EQ(1u, emulator.Commands().size());
}

// The pass-through block follows the request's flags; the residual count flag
// clears the buffer length of a completed request.
TEST_F(AspiSimTest, PassThroughBlockAndBufferLengthFollowTheRequest) {
    Start(TwoDrives);
    struct Case {
        BYTE flags;
        unsigned dataIn;
        DWORD bufLen; // SRB_BufLen once completed
    } cases[] = {{0x48, 1, 36}, {0x50, 0, 36}, {0x40, 0, 36}, {0x58, 0, 36}, {0x4C, 1, 0}};
    for (const Case& c : cases) {
        ExecRequest request(1, 0, c.flags, InquiryCommand(), 36);
        ASSERT_TRUE(SendAndWait(request));
        EXPECT_EQ(SS_COMP, request.srb.SRB_Status);
        EXPECT_EQ(c.bufLen, request.srb.SRB_BufLen) << "flags " << int(c.flags);
    }
    const std::vector<zalemu::CommandRecord> commands = emulator.Commands();
    ASSERT_EQ(5u, commands.size());
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ((std::vector<unsigned>{1, 0, 1, 0, 16, cases[i].dataIn, 108000, 36}),
                  PassThrough(commands[i]))
            << "flags " << int(cases[i].flags);
        EXPECT_EQ(InquiryCdb, CdbText(commands[i]));
    }
}

TEST_F(AspiSimTest, CompletionStatusAndSenseFollowTheDrive) {
    Start(TwoDrives); // D: has no disc: TEST UNIT READY ends in a check condition, sense 2/3A
    struct Case {
        BYTE ha;
        BYTE senseLength;
        BYTE status;
        BYTE targetStatus;
        size_t senseCopied;
    } cases[] = {
        {0, 16, SS_ERR, STATUS_CHKCOND, 16},
        {0, 40, SS_ERR, STATUS_CHKCOND, 32}, // at most 32 sense bytes
        {1, 16, SS_COMP, STATUS_GOOD, 16},   // F: holds a ready disc
    };
    for (const Case& c : cases) {
        ExecRequest request(c.ha, 0, SRB_EVENT_NOTIFY, TestUnitReadyCommand(), 0);
        request.srb.SRB_SenseLen = c.senseLength;
        BYTE* sense = request.srb.SenseArea;
        memset(sense, 0xCC, 20 + sizeof request.room); // marks where the sense copy must stop
        ASSERT_TRUE(SendAndWait(request));
        EXPECT_EQ(c.status, request.srb.SRB_Status) << "ha " << int(c.ha);
        EXPECT_EQ(0, request.srb.SRB_HaStat);
        EXPECT_EQ(c.targetStatus, request.srb.SRB_TargStat);
        if (c.status == SS_ERR) {
            EXPECT_EQ(0x70, sense[0]);
            EXPECT_EQ(2, sense[2] & 0x0F);
            EXPECT_EQ(0x3A, sense[12]);
        } else {
            EXPECT_EQ(0, sense[2]) << "the sense area is cleared before the command";
        }
        EXPECT_NE(0xCC, sense[c.senseCopied - 1]) << "sense length " << int(c.senseLength);
        EXPECT_EQ(0xCC, sense[c.senseCopied]) << "sense length " << int(c.senseLength);
    }
    const std::vector<zalemu::CommandRecord> commands = emulator.Commands();
    ASSERT_EQ(3u, commands.size());
    EXPECT_EQ(32u, commands[1].ptSenseLength);
}

TEST_F(AspiSimTest, PostingCallsThePostRoutineOnTheWorker) {
    Start(TwoDrives);
    ClearPostedCalls();
    ExecRequest request(1, 0, SRB_POSTING | SRB_DIR_IN, InquiryCommand(), 36);
    EXPECT_EQ(0u, SimSendCommand(&request.srb));
    ASSERT_TRUE(AwaitPostedCalls(1, Scaled(5000)));
    const PostedCall posted = PostedCalls()[0];
    EXPECT_EQ(&request.srb, posted.block);
    EXPECT_EQ(SS_COMP, posted.status) << "completed before the routine is called";
    EXPECT_NE(GetCurrentThreadId(), posted.thread);
    EXPECT_EQ(TheSim->DeviceAt(1)->workerThreadId, posted.thread) << "the worker of its device";
}

TEST_F(AspiSimTest, SeveralRequestsAreDrainedInOneWakeUpInQueueOrder) {
    // The first request holds the worker for a while; the three queued meanwhile
    // set the auto-reset wake event three times, which leaves it signalled once.
    // The hold and the pause before queueing grow together on a slow machine.
    Start(HeldAtD(Late(Scaled(400))));
    ExecRequest requests[4] = {{0, 0, In, InquiryCommand(32), 32},
                               {0, 0, In, InquiryCommand(33), 33},
                               {0, 0, In, InquiryCommand(34), 34},
                               {0, 0, In, InquiryCommand(35), 35}};
    HANDLE events[4];
    for (int i = 0; i < 4; ++i) {
        events[i] = requests[i].event;
        EXPECT_EQ(0u, SimSendCommand(&requests[i].srb));
        ASSERT_TRUE(i != 0 || emulator.AwaitCommands(1, Scaled(5000)))
            << "the worker takes the first one";
    }
    EXPECT_EQ(WAIT_OBJECT_0 + 0, WaitForMultipleObjects(4, events, TRUE, Scaled(3000)))
        << "every queued request completes";
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(SS_COMP, requests[i].srb.SRB_Status) << "request " << i;
    }
    std::vector<int> lengths; // the allocation lengths tell the requests apart
    for (const zalemu::CommandRecord& record : emulator.Commands()) {
        lengths.push_back(record.cdb[4]);
    }
    EXPECT_EQ((std::vector<int>{32, 33, 34, 35}), lengths) << "queue order";
    EXPECT_EQ(0, TheSim->queueCount) << "completed requests are freed";
}

TEST_F(AspiSimTest, TimeoutsAreCountedInHalfSeconds) {
    Start(TwoDrives);
    struct Step {
        BYTE flags;
        DWORD timeout;
        DWORD expectedTimeout;     // what the block reads afterwards
        DWORD expectedPassThrough; // the simulator's time-out in seconds
    } steps[] = {
        {0x00, 0, 216000, 108000}, // initial get
        {0x10, 30, 30, 15},        // set 30 half-seconds
        {0x08, 0, 30, 15},         // get
        {0x10, 31, 31, 15},        // an odd count drops its half-second
        {0x18, 0, 30, 15},         // flags other than exactly 0x10 get
    };
    for (const Step& s : steps) {
        SRB_GetSetTimeouts block = BlankRequest<SRB_GetSetTimeouts>(SC_GETSET_TIMEOUTS);
        block.SRB_Flags = s.flags;
        block.SRB_Timeout = s.timeout;
        EXPECT_EQ(1u, SimSendCommand(&block));
        EXPECT_EQ(SS_COMP, block.SRB_Status);
        EXPECT_EQ(s.expectedTimeout, block.SRB_Timeout) << "flags " << int(s.flags);
        EXPECT_EQ(s.expectedPassThrough, TheSim->passThroughTimeout);
    }
    ASSERT_TRUE(InquiryTo(0));
    ASSERT_EQ(1u, emulator.Commands().size());
    EXPECT_EQ(15u, emulator.Commands()[0].ptTimeout);
}

TEST_F(AspiSimTest, HostAdapterInquiryDescribesTheDevice) {
    Start("[device C:]\n[device D:]\n[device E:]\n[device F:]\nmax-transfer = 131072\n"
          "alignment-mask = 3\n");
    ASSERT_EQ(4, HostAdapterCount);
    SRB_HAInquiry block;
    memset(&block, 0xEE, sizeof block);
    block.SRB_Cmd = SC_HA_INQUIRY;
    block.SRB_HaId = 3;
    EXPECT_EQ(1u, SimSendCommand(&block));
    EXPECT_EQ(SS_COMP, block.SRB_Status);
    EXPECT_EQ(4, block.HA_Count);
    EXPECT_EQ(7, block.HA_SCSI_ID);
    EXPECT_EQ(ByteValues("ASPISim for SPTI", 16), ByteValues(block.HA_ManagerId, 16));
    const BYTE identifier[16] = {'A', 'S', 'P', 'I', 'S', 'i', 'm', ' ', 'H', 'A', ' ', '#', '3'};
    EXPECT_EQ(ByteValues(identifier, 16), ByteValues(block.HA_Identifier, 16))
        << "text, then NUL bytes";
    const BYTE unique[16] = {0x03, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00};
    EXPECT_EQ(ByteValues(unique, 16), ByteValues(block.HA_Unique, 16))
        << "alignment 3, one target, 65536";
    EXPECT_EQ(65536u, TheSim->DeviceAt(3)->capabilities.MaximumTransferLength)
        << "lowered in the device itself";
}

// An abort of a request queued behind another at its device: the queued one is
// answered as aborted at once and never sent; the one at the device completes as
// usual, once, whether it takes a moment or longer than the abort ever waits.
TEST_F(AspiSimTest, AbortOfAQueuedRequestSparesTheOneAtTheDevice) {
    const DWORD holds[] = {Scaled(300), Scaled(300) + 3000};
    for (DWORD hold : holds) {
        Start(HeldAtD(Late(hold)));
        ClearPostedCalls();
        ExecRequest atDevice(0, 0, Posted, InquiryCommand(), 36);
        ExecRequest queued(0, 0, Posted, InquiryCommand(), 36);
        EXPECT_EQ(0u, SimSendCommand(&atDevice.srb));
        ASSERT_TRUE(emulator.AwaitCommands(1, Scaled(5000))) << "the worker takes it";
        EXPECT_EQ(0u, SimSendCommand(&queued.srb));
        SRB_Abort abort = AbortRequest(0, &queued.srb);
        EXPECT_EQ(DWORD(SS_COMP), SimSendCommand(&abort)) << "hold " << hold;
        ASSERT_EQ(1u, PostedCalls(&queued.srb).size()) << "the aborted request is answered at once";
        EXPECT_EQ(SS_ABORTED, PostedCalls(&queued.srb)[0].status);

        AwaitPostedCalls(1, hold + Scaled(5000), &atDevice.srb);
        // The device's worker would complete either again, or send the aborted
        // one, before it completes a request sent to the device after them.
        ExecRequest after(0, 0, Posted, InquiryCommand(), 36);
        EXPECT_EQ(0u, SimSendCommand(&after.srb));
        ASSERT_TRUE(AwaitPostedCalls(1, Scaled(5000), &after.srb)) << "hold " << hold;
        ASSERT_EQ(1u, PostedCalls(&atDevice.srb).size()) << "hold " << hold;
        EXPECT_EQ(SS_COMP, PostedCalls(&atDevice.srb)[0].status);
        EXPECT_EQ(1u, PostedCalls(&queued.srb).size());
        EXPECT_EQ((std::vector<std::string>{"D:", "D:"}), Addresses())
            << "the aborted one was never sent";
    }
}

// An abort of the request at the device: one that answers within the abort's
// wait completes as usual and the abort fails; one that hangs is answered as
// aborted, and a new worker carries the next request.
TEST_F(AspiSimTest, AbortOfTheRequestAtTheDevice) {
    struct Case {
        const char* fault;
        DWORD abortStatus;
        BYTE requestStatus;
    };
    // The abort comes once the device has begun the request; the late one
    // answers 800 ms later, well inside the abort's wait of about two seconds.
    const Case cases[] = {{"late 800", SS_ABORT_FAIL, SS_COMP}, {"hang", SS_COMP, SS_ABORTED}};
    for (const Case& c : cases) {
        Start(HeldAtD(c.fault));
        ClearPostedCalls();
        ExecRequest stuck(0, 0, Posted, InquiryCommand(), 36);
        ExecRequest next(1, 0, Posted, InquiryCommand(), 36);
        EXPECT_EQ(0u, SimSendCommand(&stuck.srb));
        ASSERT_TRUE(emulator.AwaitCommands(1, Scaled(5000))) << c.fault;
        SRB_Abort abort = AbortRequest(0, &stuck.srb);
        EXPECT_EQ(c.abortStatus, SimSendCommand(&abort)) << c.fault;
        EXPECT_EQ(c.abortStatus, abort.SRB_Status);
        ASSERT_EQ(1u, PostedCalls(&stuck.srb).size()) << c.fault;
        EXPECT_EQ(c.requestStatus, PostedCalls(&stuck.srb)[0].status) << c.fault;
        EXPECT_EQ(0, TheSim->queueCount);

        EXPECT_EQ(0u, SimSendCommand(&next.srb));
        ASSERT_TRUE(AwaitPostedCalls(1, Scaled(5000), &next.srb)) << c.fault;
        EXPECT_EQ(SS_COMP, PostedCalls(&next.srb)[0].status) << c.fault;
        EXPECT_EQ(1u, PostedCalls(&stuck.srb).size()) << c.fault;
    }
    // Releases the hung device; its old worker only frees what it held.
    ASSERT_EQ("", emulator.Load(TwoDrives));
}

// A block sent again while its request is still out is refused untouched, so
// that request's completion cannot land on the second command; and a request
// whose caller gave up is carried out before anything sent to its device after it.
TEST_F(AspiSimTest, LateRequestsKeepTheirPlaceAndTheirOwnCompletion) {
    const std::string scenario = HeldAtD(Late(Scaled(500)), "12#1");
    Start(scenario);
    ExecRequest request(0, 0, In, InquiryCommand(), 36);
    ExecRequest again(0, 0, In, InquiryCommand(), 36); // its event, for the block sent again
    EXPECT_EQ(0u, SimSendCommand(&request.srb));
    request.srb.SRB_PostProc = again.event;
    EXPECT_EQ(DWORD(SS_INVALID_SRB), SimSendCommand(&request.srb)) << "its request is still out";
    EXPECT_EQ(SS_PENDING, request.srb.SRB_Status) << "the refusal leaves the block alone";
    EXPECT_TRUE(request.Signalled(Scaled(5000)));
    EXPECT_EQ(SS_COMP, request.srb.SRB_Status);
    EXPECT_FALSE(again.Signalled(100)) << "no completion for the refusal";
    EXPECT_EQ(1u, emulator.Commands().size());

    // Through the builders' pattern: the first caller gives up, the second's
    // command to the same device follows it and completes on its own slot.
    emulator.ClearLog();
    ASSERT_EQ("", emulator.Load(scenario));
    static CommandSlot late, after;
    BYTE lateData[36], afterData[36];
    ScsiCommand command = DataInCommand(InquiryCommand(), lateData, 36, 100);
    command.haId = 0;
    EXPECT_EQ(0, IssueAndWait(&late, &command)) << "its caller gives up";
    command.timeoutMs = Scaled(5000);
    command.data = afterData;
    EXPECT_EQ(1, IssueAndWait(&after, &command));
    EXPECT_EQ(1, CommandSlotIsFree(&late)) << "the late one completed first";
    EXPECT_EQ(SS_COMP, late.block.SRB_Status);
    EXPECT_EQ((std::vector<std::string>{"D:", "D:"}), Addresses());
}

// A failed pass-through is sent again only when it cannot have reached the drive
// (a handle the system no longer knows); the handle is replaced after any failure.
TEST_F(AspiSimTest, OnlyAPassThroughThatNeverLeftIsSentAgain) {
    struct Case {
        const char* name;
        const char* device; // the scenario's lines for D:
        bool loseHandle;
        DWORD halfSeconds; // pass-through time-out, 0: as constructed
        int controls;      // pass-throughs tried
        int carriedOut;    // commands the drive received
        BYTE status;
    } cases[] = {
        {"driver error", "pass-through-failures = 1\n", false, 0, 1, 0, SS_ABORTED},
        {"time-out after the drive ran it", "fault = @1 late 2000\n", false, 2, 1, 1, SS_ABORTED},
        {"handle lost", "", true, 0, 2, 1, SS_COMP},
    };
    for (const Case& c : cases) {
        Start(std::string("[device D:]\n") + c.device);
        if (c.halfSeconds != 0) {
            SRB_GetSetTimeouts timeouts = BlankRequest<SRB_GetSetTimeouts>(SC_GETSET_TIMEOUTS);
            timeouts.SRB_Flags = SRB_DIR_OUT;
            timeouts.SRB_Timeout = c.halfSeconds;
            SimSendCommand(&timeouts);
        }
        if (c.loseHandle) {
            SptiCloseHandle(TheSim->DeviceAt(0)->handle);
        }
        ClearRecordedDeviceCalls();
        ExecRequest request(0, 0, In, InquiryCommand(), 36);
        ASSERT_TRUE(SendAndWait(request, 8000)) << c.name;
        EXPECT_EQ(c.status, request.srb.SRB_Status) << c.name;
        EXPECT_EQ(c.status == SS_COMP ? 0 : 9, request.srb.SRB_HaStat) << c.name;
        int controls = 0, carriedOut = 0;
        for (const DeviceCall& call : RecordedDeviceCalls()) {
            controls += call.function == "DeviceIoControl" && call.code == 0x4D014 ? 1 : 0;
        }
        for (const zalemu::CommandRecord& record : emulator.Commands()) {
            carriedOut += record.outcome != "pass-through-failed" ? 1 : 0;
        }
        EXPECT_EQ(c.controls, controls) << c.name;
        EXPECT_EQ(c.carriedOut, carriedOut) << c.name;

        // The next request goes out on a newly opened handle, which the device keeps.
        ClearRecordedDeviceCalls();
        ASSERT_TRUE(SendAndWait(request)) << c.name;
        EXPECT_EQ(SS_COMP, request.srb.SRB_Status) << c.name;
        HANDLE opened = NULL;
        for (const DeviceCall& call : RecordedDeviceCalls()) {
            opened = call.function == "CreateFileA" && call.result ? call.handle : opened;
        }
        const bool reopened = c.status != SS_COMP;
        EXPECT_EQ(reopened, opened != NULL) << c.name;
        if (reopened) {
            EXPECT_EQ(opened, TheSim->DeviceAt(0)->handle) << c.name;
        }
    }
}

// Transfers beyond the device's maximum and buffers breaking its alignment mask
// are refused at once, unsent, with the call returning the status.
TEST_F(AspiSimTest, BuffersTheDeviceCannotTakeAreRefusedUnsent) {
    Start("[device D:]\nmax-transfer = 4096\nalignment-mask = 3\n");
    static DWORD storage[1100]; // 4-byte aligned, room for 4096 bytes past offset 4
    struct Case {
        DWORD offset;
        DWORD length;
        DWORD returned;
        BYTE status;
    } cases[] = {
        {0, 4096, 0, SS_COMP},
        {0, 4097, SS_BUFFER_TO_BIG, SS_BUFFER_TO_BIG},
        {1, 36, SS_BUFFER_ALIGN, SS_BUFFER_ALIGN},
        {2, 36, SS_BUFFER_ALIGN, SS_BUFFER_ALIGN},
        {4, 36, 0, SS_COMP},
    };
    size_t sent = 0;
    for (const Case& c : cases) {
        ExecRequest request(0, 0, In, InquiryCommand(), 0);
        request.srb.SRB_BufPointer = reinterpret_cast<BYTE*>(storage) + c.offset;
        request.srb.SRB_BufLen = c.length;
        EXPECT_EQ(c.returned, SimSendCommand(&request.srb)) << c.offset << "/" << c.length;
        if (c.returned == 0) {
            EXPECT_TRUE(request.Signalled(Scaled(5000)));
            ++sent;
        }
        EXPECT_EQ(c.status, request.srb.SRB_Status) << c.offset << "/" << c.length;
        EXPECT_EQ(sent, emulator.Commands().size()) << c.offset << "/" << c.length;
    }
}

// A command that ran out of time and completes afterwards, followed by the next
// command of the same builder: the late completion finds its own event and block.
TEST_F(AspiSimTest, LateCompletionAfterTheCallersTimeout) {
    Start("[device D:]\nfault = @1 late 900\n");
    static CommandSlot slot;
    std::vector<BYTE> first(36, 0x11), second(36, 0x22);
    ScsiCommand command = DataInCommand(InquiryCommand(), first.data(), 36, 300);
    EXPECT_EQ(0, IssueAndWait(&slot, &command));
    command.data = second.data();
    EXPECT_EQ(0, IssueAndWait(&slot, &command)) << "refused while the first is out";
    const DWORD start = GetTickCount();
    while (slot.block.SRB_Status == SS_PENDING && GetTickCount() - start < Scaled(5000)) {
        Sleep(1);
    }
    EXPECT_EQ(SS_COMP, slot.block.SRB_Status) << "the late completion reached its own block";
    EXPECT_EQ(0x11, first[0]);
    EXPECT_EQ(0x22, second[0]);
    EXPECT_EQ(1u, emulator.Commands().size()) << "the refused command was never sent";

    EXPECT_EQ(1, IssueAndWait(&slot, &command));
    EXPECT_EQ("ZAL     TK-4800J        2.16", InquiryIdentity(second.data()));
    EXPECT_EQ(2u, emulator.Commands().size());
}

} // namespace
