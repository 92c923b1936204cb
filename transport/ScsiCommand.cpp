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

// Another thread may be issuing through a slot of the pool: its event is then
// that command's own, and taking its signal would rob the command of its
// completion. A slot is looked into only while it is claimed.
static bool Claim(CommandSlot* slot) {
    return InterlockedCompareExchange(&slot->claimed, 1, 0) == 0;
}

static void Unclaim(CommandSlot* slot) {
    InterlockedExchange(&slot->claimed, 0);
}

// Takes the completion of the slot's late request when it is signalled within
// `waitMs`, and frees the block with it: the event is closed and forgotten. The
// event is auto-reset, so the signal can be taken only once; whoever takes it
// must free the slot in the same step, and every path goes through here. 1 when
// the slot holds no late request afterwards.
static int TakeLateCompletion(CommandSlot* slot, DWORD waitMs) {
    if (slot->event == NULL) {
        return 1;
    }
    if (WaitForSingleObject(slot->event, waitMs) != WAIT_OBJECT_0) {
        return 0;
    }
    CloseHandle(slot->event);
    slot->event = NULL;
    InterlockedDecrement(&outstandingRequests);
    return 1;
}

int CommandSlotIsFree(CommandSlot* slot) {
    return TakeLateCompletion(slot, 0);
}

LONG OutstandingRequestCount() {
    // Late completions that have arrived in the pool's slots free them first.
    for (int i = 0; i < CommandPoolSize; ++i) {
        CommandSlot* slot = &commandPool[i];
        if (Claim(slot)) {
            CommandSlotIsFree(slot);
            Unclaim(slot);
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
    // An accepted request is over only once its event is signalled. A manager
    // that completes on a thread of its own writes SRB_Status first and signals
    // afterwards, so a final-looking status read before the signal proves
    // nothing: until then the manager still holds the block and the event.
    if (SendASPI32Command(block) == SS_PENDING &&
        WaitForSingleObject(slot->event, command->timeoutMs) != WAIT_OBJECT_0) {
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

// Claims a free block of the pool (one that no other command is using and whose
// earlier request is not outstanding). An ordinary command takes one only while
// another stays free, so that the pool's last free block is always there for a
// command that may take the reserve. NULL when there is none to take.
static CommandSlot* ClaimPoolSlot(bool mayTakeReserve) {
    CommandSlot* found[2] = {NULL, NULL};
    int count = 0;
    for (int i = 0; i < CommandPoolSize && count < 2; ++i) {
        CommandSlot* slot = &commandPool[i];
        if (!Claim(slot)) {
            continue;
        }
        if (CommandSlotIsFree(slot)) {
            found[count++] = slot;
        } else {
            Unclaim(slot);
        }
    }
    CommandSlot* taken = count >= (mayTakeReserve ? 1 : 2) ? found[0] : NULL;
    for (int i = 0; i < count; ++i) {
        if (found[i] != taken) {
            Unclaim(found[i]);
        }
    }
    return taken;
}

int IssueCommand(const ScsiCommand* command) {
    CommandSlot* slot = ClaimPoolSlot(command->mayTakeReserve != 0);
    if (slot == NULL) {
        return 0;
    }
    const int result = IssueAndWait(slot, command);
    Unclaim(slot);
    return result;
}

int CommandPoolHasRoom() {
    CommandSlot* slot = ClaimPoolSlot(false);
    if (slot == NULL) {
        return 0;
    }
    Unclaim(slot);
    return 1;
}

// Takes the late completions of the device (haId, targetId) that arrive within
// `limitMs` in all; 1 when none of its requests is outstanding afterwards. A
// device carries its requests out one at a time, so waiting for them in turn
// costs no more than waiting for the last.
static int TakeDeviceLateCompletions(BYTE haId, BYTE targetId, DWORD limitMs) {
    const DWORD start = GetTickCount();
    int done = 1;
    for (LONG i = 0; i < lateSlotCount; ++i) {
        CommandSlot* slot = lateSlots[i];
        if (slot->event == NULL || slot->block.SRB_HaId != haId ||
            slot->block.SRB_Target != targetId) {
            continue;
        }
        if (!Claim(slot)) {
            // Being issued through by another thread: not late, but not over either.
            done = 0;
            continue;
        }
        const DWORD elapsed = GetTickCount() - start;
        if (!TakeLateCompletion(slot, elapsed < limitMs ? limitMs - elapsed : 0)) {
            done = 0;
        }
        Unclaim(slot);
    }
    return done;
}

int LateRequestOutstanding(BYTE haId, BYTE targetId) {
    return TakeDeviceLateCompletions(haId, targetId, 0) ? 0 : 1;
}

int AwaitLateCompletions(BYTE haId, BYTE targetId, DWORD limitMs) {
    return TakeDeviceLateCompletions(haId, targetId, limitMs);
}
