// The issue-and-wait pattern shared by every command builder, and the pool of
// request blocks that the builders issue through.
#include "ScsiCommand.h"

#include "PlatformSeam.h"
#include "ScsiTransport.h"
#include "StatusSink.h"

#include <string.h>

static LONG outstandingRequests = 0;
static CommandSlot commandPool[CommandPoolSize];

// The slots whose request once ran out of time; one of them is held while its
// event is still open. Slots are static, so the pointers stay valid.
enum { LateSlotCapacity = 32 };
static CommandSlot* lateSlots[LateSlotCapacity];
static LONG lateSlotCount = 0;

static void NoteLateSlot(CommandSlot* slot) {
    for (LONG i = 0; i < lateSlotCount; ++i) {
        if (lateSlots[i] == slot) {
            return;
        }
    }
    if (lateSlotCount < LateSlotCapacity) {
        lateSlots[lateSlotCount++] = slot;
    }
}

LONG OutstandingRequestCount() {
    // Late completions that have arrived in the pool's slots free them first.
    for (int i = 0; i < CommandPoolSize; ++i) {
        CommandSlot* slot = &commandPool[i];
        if (InterlockedCompareExchange(&slot->claimed, 1, 0) == 0) {
            CommandSlotIsFree(slot);
            InterlockedExchange(&slot->claimed, 0);
        }
    }
    return outstandingRequests;
}

ScsiCommand CommandToCurrentTarget(BYTE cdbLength, DWORD timeoutMs) {
    ScsiCommand command;
    memset(&command, 0, sizeof command);
    command.haId = CurrentHaId;
    command.targetId = CurrentTargetId;
    command.cdbLength = cdbLength;
    command.direction = CommandNoData;
    command.timeoutMs = timeoutMs;
    return command;
}

int CommandSlotIsFree(CommandSlot* slot) {
    if (slot->event == NULL) {
        return 1;
    }
    if (WaitForSingleObject(slot->event, 0) != WAIT_OBJECT_0) {
        return 0;
    }
    // The late completion has arrived: the transport is done with block and event.
    CloseHandle(slot->event);
    slot->event = NULL;
    InterlockedDecrement(&outstandingRequests);
    return 1;
}

// A request answered with one of these while SendASPI32Command still ran was
// refused there and never queued (the simulator refuses an unknown host adapter
// or bad flags so, yet returns SS_PENDING): nothing will complete it later.
static bool RefusedWhenSent(BYTE status) {
    return status == SS_INVALID_HA || status == SS_NO_DEVICE || status == SS_INVALID_SRB;
}

static BYTE FlagsFor(CommandDirection direction) {
    switch (direction) {
    case CommandDataIn:
        return SRB_EVENT_NOTIFY | SRB_DIR_IN;
    case CommandDataOut:
        return SRB_EVENT_NOTIFY | SRB_DIR_OUT;
    case CommandNoData:
        break;
    }
    return SRB_EVENT_NOTIFY;
}

int IssueAndWait(CommandSlot* slot, const ScsiCommand* command) {
    if (SendASPI32Command == NULL || !CommandSlotIsFree(slot) ||
        command->cdbLength > sizeof slot->block.CDBByte) {
        return 0;
    }
    slot->event = SeamCreateEventA(NULL, FALSE, FALSE, NULL);
    if (slot->event == NULL) {
        ShowStatus("Create Event Fail");
        return 0;
    }

    // A command without data names no buffer, whatever its direction says.
    const bool hasData = command->direction != CommandNoData && command->dataLength != 0;
    const bool staged = hasData && command->direction == CommandDataIn &&
                        command->dataLength <= sizeof slot->staging;
    ScsiRequestBlock* block = &slot->block;
    memset(block, 0, sizeof *block);
    block->SRB_Cmd = SC_EXEC_SCSI_CMD;
    block->SRB_HaId = command->haId;
    block->SRB_Target = command->targetId;
    block->SRB_Flags = FlagsFor(command->direction);
    if (hasData) {
        block->SRB_BufLen = command->dataLength;
        if (staged) {
            // Bytes the drive does not write keep what the caller's buffer held.
            memcpy(slot->staging, command->data, command->dataLength);
            block->SRB_BufPointer = slot->staging;
        } else {
            block->SRB_BufPointer = static_cast<BYTE*>(command->data);
        }
    }
    block->SRB_SenseLen = CommandSenseLength;
    block->SRB_CDBLen = command->cdbLength;
    block->SRB_PostProc = slot->event;
    memcpy(block->CDBByte, command->cdb, command->cdbLength);

    ResetEvent(slot->event);
    bool finished = true;
    if (SendASPI32Command(block) == SS_PENDING) {
        // A refusal fails at once; only a request really pending is waited for.
        finished = RefusedWhenSent(block->SRB_Status) ||
                   WaitForSingleObject(slot->event, command->timeoutMs) == WAIT_OBJECT_0;
    }
    if (!finished) {
        // Keep the event open: the request may still complete and signal it.
        InterlockedIncrement(&outstandingRequests);
        NoteLateSlot(slot);
        return 0;
    }
    CloseHandle(slot->event);
    slot->event = NULL;
    if (staged) {
        memcpy(command->data, slot->staging, command->dataLength);
    }
    if (command->sense != NULL) {
        memcpy(command->sense, block->SenseArea, CommandSenseLength);
    }
    return block->SRB_Status == SS_COMP ? 1 : 0;
}

// Claims the first slot of the pool that no other command is using and whose
// earlier request is not outstanding; NULL when there is none.
static CommandSlot* ClaimPoolSlot() {
    for (int i = 0; i < CommandPoolSize; ++i) {
        CommandSlot* slot = &commandPool[i];
        if (InterlockedCompareExchange(&slot->claimed, 1, 0) != 0) {
            continue;
        }
        if (CommandSlotIsFree(slot)) {
            return slot;
        }
        InterlockedExchange(&slot->claimed, 0);
    }
    return NULL;
}

int IssueCommand(const ScsiCommand* command, CommandSlot** late) {
    if (late != NULL) {
        *late = NULL;
    }
    CommandSlot* slot = ClaimPoolSlot();
    if (slot == NULL) {
        return 0;
    }
    const int result = IssueAndWait(slot, command);
    if (late != NULL && slot->event != NULL) {
        *late = slot;
    }
    InterlockedExchange(&slot->claimed, 0);
    return result;
}

int CommandIsOutstanding(CommandSlot* slot) {
    const HANDLE event = slot->event;
    return event != NULL && WaitForSingleObject(event, 0) == WAIT_TIMEOUT ? 1 : 0;
}

int AwaitLateCompletions(BYTE haId, BYTE targetId, DWORD limitMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        CommandSlot* held[LateSlotCapacity];
        HANDLE events[LateSlotCapacity];
        DWORD count = 0;
        for (LONG i = 0; i < lateSlotCount; ++i) {
            const ScsiRequestBlock* block = &lateSlots[i]->block;
            if (block->SRB_HaId == haId && block->SRB_Target == targetId &&
                !CommandSlotIsFree(lateSlots[i])) {
                held[count] = lateSlots[i];
                events[count++] = lateSlots[i]->event;
            }
        }
        if (count == 0) {
            return 1;
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= limitMs) {
            return 0;
        }
        const DWORD woken = WaitForMultipleObjects(count, events, FALSE, limitMs - elapsed);
        if (woken >= WAIT_OBJECT_0 + count) {
            return 0;
        }
        // The wait took the auto-reset event's signal: that request has completed.
        CommandSlot* done = held[woken - WAIT_OBJECT_0];
        CloseHandle(done->event);
        done->event = NULL;
        InterlockedDecrement(&outstandingRequests);
    }
}
