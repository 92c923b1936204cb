// The issue-and-wait pattern against a scripted SendASPI32Command: what goes into
// the request block, when the caller waits and for how long, how the outcome is
// judged, and what happens to a request that completes after its caller gave up.
#include "CommandText.h"
#include "ControlledEvents.h"
#include "ExecRequest.h"
#include "RecordedShutdown.h"
#include "RecordingHost.h"
#include "ScsiCommand.h"
#include "ScsiTransport.h"
#include "TimeScale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

namespace {

// What the scripted library does with the next request.
struct Script {
    DWORD returnValue = SS_PENDING; // what SendASPI32Command returns
    BYTE statusOnReturn = 0;        // SRB_Status left at return
    bool complete = true;           // complete a pending request at all
    DWORD completeAfterMs = 0;      // from another thread, this long after the call
    DWORD statusLeadMs = 0;         // the final status is written this long before the signal
    BYTE finalStatus = SS_COMP;
    std::vector<BYTE> dataIn; // written into the data buffer on completion
    HANDLE completeOn = NULL; // when set, the completion waits for this event first
};

Script script;
int sendCount = 0;
ScsiRequestBlock lastSent; // copy of the block as it arrived
bool eventWasSignalledAtSend = false;
volatile LONG lateSetEventResult = -1; // SetEvent's result for a completion from the thread
volatile LONG completions = 0;         // completions from the thread so far, counted as they signal
ScsiRequestBlock* lastBlock = nullptr; // the block as the caller passed it
// The completing threads of a case, waited for when it ends: a thread still
// freeing its record while the process exits can bring the exit down.
std::vector<HANDLE> completers;

struct Completion {
    ScsiRequestBlock* block;
    Script script;
};

DWORD WINAPI CompleteLater(LPVOID parameter) {
    Completion* completion = static_cast<Completion*>(parameter);
    if (completion->script.completeOn != NULL) {
        WaitForSingleObject(completion->script.completeOn, INFINITE);
    }
    Sleep(completion->script.completeAfterMs);
    ScsiRequestBlock* block = completion->block;
    if (!completion->script.dataIn.empty()) {
        memcpy(block->SRB_BufPointer, completion->script.dataIn.data(),
               completion->script.dataIn.size());
    }
    block->SRB_Status = completion->script.finalStatus;
    Sleep(completion->script.statusLeadMs);
    // Counted before the signal: a caller woken by it may look at once.
    InterlockedIncrement(&completions);
    InterlockedExchange(&lateSetEventResult,
                        SetEvent(static_cast<HANDLE>(block->SRB_PostProc)) ? 1 : 0);
    delete completion;
    return 0;
}

DWORD __cdecl ScriptedSend(void* raw) {
    ScsiRequestBlock* block = static_cast<ScsiRequestBlock*>(raw);
    ++sendCount;
    lastSent = *block;
    lastBlock = block;
    eventWasSignalledAtSend =
        WaitForSingleObject(static_cast<HANDLE>(block->SRB_PostProc), 0) == WAIT_OBJECT_0;
    block->SRB_Status = script.statusOnReturn;
    if (script.returnValue != SS_PENDING) {
        return script.returnValue;
    }
    if (script.complete) {
        Completion* completion = new Completion{block, script};
        completers.push_back(CreateThread(NULL, 0, CompleteLater, completion, 0, NULL));
    }
    return SS_PENDING;
}

class IssueAndWaitTest : public ::testing::Test {
protected:
    void SetUp() override {
        script = Script();
        sendCount = 0;
        memset(&lastSent, 0, sizeof lastSent);
        ClearRecordedHost();
        SendASPI32Command = ScriptedSend;
        CurrentHaId = 3;
        CurrentTargetId = 5;
        memset(reply, 0xEE, sizeof reply);
    }
    void TearDown() override {
        SendASPI32Command = NULL;
        for (HANDLE thread : completers) {
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
        }
        completers.clear();
    }

    // An INQUIRY for 36 bytes into `into`, or into `reply`.
    ScsiCommand Inquiry(DWORD timeoutMs, BYTE* into = nullptr) {
        return DataInCommand(InquiryCommand(), into != nullptr ? into : reply, 36, timeoutMs);
    }

    BYTE reply[36]; // 0xEE at the start of each case
};

TEST_F(IssueAndWaitTest, FillsEveryFieldOfTheBlockAndNothingElse) {
    struct Case {
        CommandDirection direction;
        BYTE flags;
        DWORD length; // of the data, and SRB_BufLen
        bool inPlace; // the block names the caller's buffer
    } cases[] = {{CommandNoData, 0x40, 0, false},
                 {CommandDataIn, 0x48, 6, false},
                 {CommandDataIn, 0x48, 4096, true}, // a large read
                 {CommandDataOut, 0x50, 8192, true},
                 // A direction without data names no buffer.
                 {CommandDataIn, 0x48, 0, false},
                 {CommandDataOut, 0x50, 0, false}};
    for (const Case& c : cases) {
        static CommandSlot slot;
        BYTE buffer[8192] = {};
        BYTE cdb[16] = {};
        ScsiCommand command = CommandToCurrentTarget(12, 1000);
        for (BYTE i = 0; i < 12; ++i) {
            cdb[i] = command.cdb[i] = static_cast<BYTE>(0xC0 + i);
        }
        command.direction = c.direction;
        if (c.direction != CommandNoData) {
            command.data = buffer;
            command.dataLength = c.length;
        }
        ASSERT_EQ(1, IssueAndWait(&slot, &command)) << "flags " << int(c.flags);

        const ScsiRequestBlock& b = lastSent;
        EXPECT_EQ((std::vector<DWORD>{SC_EXEC_SCSI_CMD, 3, c.flags, 0, 5, 0, 0, 16, 12, 0, 0}),
                  (std::vector<DWORD>{b.SRB_Cmd, b.SRB_HaId, b.SRB_Flags, b.SRB_Hdr_Rsvd,
                                      b.SRB_Target, b.SRB_Lun, b.SRB_Rsvd1, b.SRB_SenseLen,
                                      b.SRB_CDBLen, b.SRB_HaStat, b.SRB_TargStat}))
            << "command, host adapter, flags, reserved, target, LUN, reserved, sense length, "
               "CDB length, host adapter status, target status";
        EXPECT_NE(nullptr, b.SRB_PostProc);
        EXPECT_EQ(ByteValues(cdb, 16), ByteValues(b.CDBByte, 16)) << "CDB bytes";
        EXPECT_EQ(std::vector<int>(sizeof b.SRB_Rsvd2),
                  ByteValues(b.SRB_Rsvd2, sizeof b.SRB_Rsvd2));
        EXPECT_EQ(std::vector<int>(sizeof b.SenseArea),
                  ByteValues(b.SenseArea, sizeof b.SenseArea));
        EXPECT_EQ(c.length, b.SRB_BufLen) << "flags " << int(c.flags);
        EXPECT_EQ(c.length != 0, b.SRB_BufPointer != nullptr) << c.length << " bytes";
        if (c.inPlace) {
            EXPECT_EQ(buffer, b.SRB_BufPointer) << c.length << " bytes";
        }
        EXPECT_FALSE(eventWasSignalledAtSend);
        EXPECT_EQ(nullptr, slot.event) << "the event is closed after a completed call";
    }
}

// The outcome is judged by SRB_Status only; a completion from another thread
// delivers what the drive wrote, failed or not, and nothing beyond it.
TEST_F(IssueAndWaitTest, JudgesTheOutcomeBySrbStatusOnly) {
    const struct Case {
        DWORD returnValue;
        BYTE statusOnReturn;
        DWORD afterMs;
        BYTE finalStatus;
        std::vector<BYTE> dataIn;
        int expected;
    } cases[] = {
        {SS_PENDING, 0, 0, SS_COMP, {}, 1},
        {SS_PENDING, 0, 0, SS_ERR, {}, 0},
        {SS_PENDING, 0, 0, SS_ABORTED, {}, 0},
        {SS_COMP, SS_COMP, 0, 0, {}, 1},
        {SS_ERR, SS_ERR, 0, 0, {}, 0},
        {SS_NO_DEVICE, SS_NO_DEVICE, 0, 0, {}, 0},
        {SS_INVALID_HA, SS_COMP, 0, 0, {}, 1}, // the status decides, not the return value
        {SS_PENDING, 0, 100, SS_COMP, InquiryReply("ZAL     TK-4800J        2.16"), 1},
        {SS_PENDING, 0, 0, SS_ERR, {0x01, 0x02}, 0},
    };
    for (const Case& c : cases) {
        static CommandSlot slot;
        script =
            Script{c.returnValue, c.statusOnReturn, true, c.afterMs, 0, c.finalStatus, c.dataIn};
        memset(reply, 0xEE, sizeof reply);
        ScsiCommand command = Inquiry(3000);
        EXPECT_EQ(c.expected, IssueAndWait(&slot, &command))
            << "return " << c.returnValue << ", status " << int(c.statusOnReturn) << "/"
            << int(c.finalStatus);
        std::vector<int> expected(36, 0xEE);
        std::copy(c.dataIn.begin(), c.dataIn.end(), expected.begin());
        EXPECT_EQ(expected, ByteValues(reply, 36)) << "status " << int(c.finalStatus);
    }
}

TEST_F(IssueAndWaitTest, NonPendingReturnMeansNoWait) {
    static CommandSlot slot;
    script = Script{SS_ERR, SS_ERR, false, 0, 0, SS_COMP, {}};
    ScsiCommand command = Inquiry(3000);
    const DWORD start = GetTickCount();
    EXPECT_EQ(0, IssueAndWait(&slot, &command));
    EXPECT_LT(GetTickCount() - start, 500u) << "a finished call must not wait for its event";
    EXPECT_EQ(nullptr, slot.event);
}

TEST_F(IssueAndWaitTest, NeverSignalledEventFailsAfterExactlyItsTimeout) {
    static CommandSlot slot;
    script.complete = false;
    ScsiCommand command = Inquiry(700);
    const DWORD start = GetTickCount();
    EXPECT_EQ(0, IssueAndWait(&slot, &command));
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 680u);
    EXPECT_LT(elapsed, 700 + Scaled(500));
}

TEST_F(IssueAndWaitTest, ARequestThatNeverReachedTheDriveLeavesTheBufferAlone) {
    // Not sent (not bound), refused at once, accepted and never completed (its
    // status reads as a refusal, but no signal comes).
    struct Case {
        bool bound;
        DWORD returnValue;
        BYTE statusOnReturn;
    } cases[] = {{false, SS_PENDING, 0},
                 {true, SS_NO_DEVICE, SS_NO_DEVICE},
                 {true, SS_PENDING, SS_INVALID_HA}};
    for (const Case& c : cases) {
        static CommandSlot slot;
        script = Script{c.returnValue, c.statusOnReturn, false, 0, 0, SS_COMP, {}};
        SendASPI32Command = c.bound ? ScriptedSend : NULL;
        ScsiCommand command = Inquiry(200);
        EXPECT_EQ(0, IssueAndWait(&slot, &command)) << "status " << int(c.statusOnReturn);
        ASSERT_EQ(std::vector<int>(36, 0xEE), ByteValues(reply, 36))
            << "status " << int(c.statusOnReturn);
    }
}

TEST_F(IssueAndWaitTest, ABlockIsZeroedBeforeEveryUse) {
    static CommandSlot slot;
    memset(&slot.block, 0xFF, sizeof slot.block);
    ScsiCommand command = CommandToCurrentTarget(6, 1000);
    ASSERT_EQ(1, IssueAndWait(&slot, &command));
    const BYTE* sent = reinterpret_cast<const BYTE*>(&lastSent);
    const size_t postProc = offsetof(ScsiRequestBlock, SRB_PostProc);
    for (size_t i = 0; i < sizeof lastSent; ++i) {
        const bool filled = i == 0 || i == 2 || i == 3 || i == 8 || i == 20 || i == 21 ||
                            (i >= postProc && i < postProc + 4);
        if (!filled) {
            EXPECT_EQ(0, sent[i]) << "byte " << i << " of the block as sent";
        }
    }
}

// An ASPI manager that completes on a thread of its own writes SRB_Status and
// signals afterwards: whatever the block reads after an accepted (pending) send,
// the request is over only at its signal. Taken as over before it, the event
// would be closed while the manager still holds it, and its signal would land on
// whichever command's event got the handle next.
TEST_F(IssueAndWaitTest, AnAcceptedRequestIsOverOnlyAtItsSignal) {
    const struct Case {
        BYTE statusOnReturn; // what the block reads once the send has returned
        BYTE finalStatus;    // written by the completion
        DWORD statusLeadMs;  // ... this long before the signal
        int expected;
    } cases[] = {
        {SS_NO_DEVICE, SS_NO_DEVICE, 30, 0}, {SS_INVALID_HA, SS_COMP, 30, 1},
        {SS_INVALID_SRB, SS_ERR, 30, 0},     {SS_PENDING, SS_COMP, 200, 1},
        {SS_PENDING, SS_NO_DEVICE, 200, 0},
    };
    for (const Case& c : cases) {
        static CommandSlot slot;
        const std::vector<BYTE> data(36, 0x5A);
        script =
            Script{SS_PENDING, c.statusOnReturn, true, 30, c.statusLeadMs, c.finalStatus, data};
        completions = 0;
        lateSetEventResult = -1;
        memset(reply, 0, sizeof reply);
        ScsiCommand command = Inquiry(Scaled(5000));
        EXPECT_EQ(c.expected, IssueAndWait(&slot, &command))
            << "status " << int(c.statusOnReturn) << " then " << int(c.finalStatus);
        EXPECT_EQ(1, completions) << "returned before the signal, status " << int(c.statusOnReturn)
                                  << " then " << int(c.finalStatus);
        WaitForSingleObject(completers.back(), INFINITE);
        EXPECT_EQ(1, lateSetEventResult) << "the manager signalled a closed event";
        EXPECT_EQ(0x5A, reply[0]) << "the data arrive with the completion";
        EXPECT_EQ(nullptr, slot.event);
        EXPECT_EQ(0, OutstandingRequestCount());
    }
}

TEST_F(IssueAndWaitTest, LateCompletionNeverReachesTheNextCommand) {
    static CommandSlot slot;
    script.completeAfterMs = 900;
    script.dataIn.assign(36, 0x5A);
    lateSetEventResult = -1;
    BYTE first[36];
    memset(first, 0x11, sizeof first);
    ScsiCommand command = Inquiry(300, first);
    EXPECT_EQ(0, IssueAndWait(&slot, &command)) << "the wait ran out";
    ASSERT_EQ(std::vector<int>(36, 0x11), ByteValues(first, 36))
        << "a timed-out read leaves the caller's buffer alone";
    EXPECT_NE(nullptr, slot.event) << "the event is kept for the late completion";
    EXPECT_EQ(1, OutstandingRequestCount());

    // The next command of the same builder while the first is still out: refused,
    // nothing sent, the block untouched.
    BYTE second[36];
    memset(second, 0x22, sizeof second);
    command = Inquiry(300, second);
    EXPECT_EQ(0, IssueAndWait(&slot, &command));
    EXPECT_EQ(1, sendCount);
    // A check for late requests looks at the request's own device only.
    EXPECT_EQ(1, LateRequestOutstanding(command.haId, command.targetId)) << "still out";
    EXPECT_EQ(0, LateRequestOutstanding(command.haId, BYTE(command.targetId + 1)));

    // The late completion signals the event it was given, which is still open,
    // and writes only into the builder's own staging area.
    EXPECT_EQ(1, AwaitLateCompletions(command.haId, command.targetId, Scaled(5000)));
    WaitForSingleObject(completers.back(), INFINITE);
    EXPECT_EQ(1, lateSetEventResult) << "the late completion found its event open";
    EXPECT_EQ(nullptr, slot.event) << "taking the late completion freed the block";
    EXPECT_EQ(0, OutstandingRequestCount());
    EXPECT_EQ(std::vector<int>(36, 0x11), ByteValues(first, 36));
    EXPECT_EQ(std::vector<int>(36, 0x22), ByteValues(second, 36));

    // Once it has completed, the builder works again.
    script = Script{SS_PENDING, 0, true, 0, 0, SS_COMP, std::vector<BYTE>(36, 0x33)};
    command = Inquiry(2000, second);
    EXPECT_EQ(1, IssueAndWait(&slot, &command));
    EXPECT_EQ(2, sendCount);
    EXPECT_EQ(0x33, second[0]);
    EXPECT_EQ(0, OutstandingRequestCount());
    EXPECT_EQ(nullptr, slot.event);

    // A poll's look at a late request that has completed meanwhile takes the
    // completion and frees the block with it: none is lost to a look.
    script = Script{SS_PENDING, 0, true, 300, 0, SS_COMP, {}};
    command = Inquiry(100, second);
    EXPECT_EQ(0, IssueAndWait(&slot, &command));
    WaitForSingleObject(completers.back(), INFINITE);
    EXPECT_EQ(0, LateRequestOutstanding(command.haId, command.targetId));
    EXPECT_EQ(nullptr, slot.event);
    EXPECT_EQ(0, OutstandingRequestCount());
}

// The builders issue through a pool: a request that ran out of time keeps its
// block and event until it completes, and the next commands take other blocks.
// The last free block is kept for a command that must go out whatever the
// others hold (the leave of flash mode); only a pool whose every block is held
// refuses that one, sending nothing.
TEST_F(IssueAndWaitTest, ThePoolLendsOtherBlocksWhileLateRequestsHoldTheirs) {
    ASSERT_LE(3, CommandPoolSize) << "one late request must leave other blocks";
    // The requests complete late: once the steps below are done.
    const HANDLE release = CreateEventA(NULL, TRUE, FALSE, NULL);
    script.completeOn = release;
    ScsiCommand command = Inquiry(100);
    ScsiCommand leave = command;
    leave.mayTakeReserve = 1;
    const struct Step {
        const ScsiCommand* command;
        bool roomBefore; // CommandPoolHasRoom before it
        bool sent;
    } steps[] = {
        // Once every block but one is held (below):
        {&command, false, false}, // an ordinary command leaves the last block
        {&leave, false, true},    // which the leave takes
        {&leave, false, false},   // every block held
    };
    std::vector<ScsiRequestBlock*> blocks;
    for (int i = 0; i < CommandPoolSize - 1; ++i) {
        EXPECT_EQ(1, CommandPoolHasRoom()) << "command " << i;
        EXPECT_EQ(0, IssueCommand(&command)) << "command " << i << " runs out of time";
        ASSERT_EQ(i + 1, sendCount) << "command " << i << " is sent";
        for (ScsiRequestBlock* held : blocks) {
            EXPECT_NE(held, lastBlock) << "command " << i << " took a block still held";
        }
        blocks.push_back(lastBlock);
    }
    for (size_t i = 0; i < sizeof steps / sizeof steps[0]; ++i) {
        const int sentBefore = sendCount;
        EXPECT_EQ(steps[i].roomBefore ? 1 : 0, CommandPoolHasRoom()) << "step " << i;
        EXPECT_EQ(0, IssueCommand(steps[i].command)) << "step " << i;
        EXPECT_EQ(steps[i].sent ? sentBefore + 1 : sentBefore, sendCount) << "step " << i;
    }
    EXPECT_EQ(CommandPoolSize, OutstandingRequestCount());

    SetEvent(release);
    for (HANDLE thread : completers) {
        WaitForSingleObject(thread, INFINITE);
    }
    CloseHandle(release);
    script = Script();
    command.timeoutMs = 2000;
    EXPECT_EQ(1, CommandPoolHasRoom()) << "the late completions gave the blocks back";
    EXPECT_EQ(1, IssueCommand(&command));
    EXPECT_EQ(0, OutstandingRequestCount());
}

// Nothing is sent for a CDB longer than the block holds, while nothing is bound,
// or when the request's event cannot be created, which the status line shows.
TEST_F(IssueAndWaitTest, NothingIsSentForARequestThatCannotGoOut) {
    static CommandSlot slot;
    ScsiCommand longCdb = CommandToCurrentTarget(17, 1000);
    EXPECT_EQ(0, IssueAndWait(&slot, &longCdb));
    EXPECT_EQ(0, sendCount) << "a CDB of 17 bytes";

    SendASPI32Command = NULL;
    const int eventsBefore = CreatedEventCount();
    ScsiCommand command = Inquiry(1000);
    EXPECT_EQ(0, IssueAndWait(&slot, &command));
    EXPECT_EQ(0, sendCount) << "nothing bound";
    EXPECT_EQ(eventsBefore, CreatedEventCount());
    EXPECT_TRUE(StatusTexts().empty());

    SendASPI32Command = ScriptedSend;
    FailNextEventCreations(1);
    EXPECT_EQ(0, IssueAndWait(&slot, &command));
    EXPECT_EQ(0, sendCount) << "no event";
    EXPECT_EQ(std::vector<std::string>{"Create Event Fail"}, StatusTexts());
    EXPECT_EQ(1, IssueAndWait(&slot, &command)) << "the next creation succeeds again";
}

TEST_F(IssueAndWaitTest, APlatformOfNeitherFamilyBindsNothingAndCommandsFailCleanly) {
    ResetRecordedShutdown({false, ERROR_SUCCESS, 3}); // a platform of neither family
    SendASPI32Command = NULL;
    EXPECT_EQ(1, InitScsiTransport());
    ResetRecordedShutdown();
    EXPECT_EQ(nullptr, SendASPI32Command);
    EXPECT_EQ(nullptr, GetASPI32SupportInfo);
    EXPECT_EQ(0, HostAdapterCount);
    EXPECT_TRUE(StatusTexts().empty()) << StatusTexts().front();

    static CommandSlot slot;
    ScsiCommand command = Inquiry(1000);
    EXPECT_EQ(0, IssueAndWait(&slot, &command));
    EXPECT_EQ(nullptr, slot.event);
}

} // namespace
