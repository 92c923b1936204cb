// The issue-and-wait pattern that every command builder of both tools uses: a
// request block and a completion event taken from a small pool shared by the
// builders, the block sent through the bound SendASPI32Command, and a bounded
// wait for its event.
#ifndef ZAL_TRANSPORT_SCSICOMMAND_H
#define ZAL_TRANSPORT_SCSICOMMAND_H

#include "AspiTypes.h"

enum CommandDirection { CommandNoData, CommandDataIn, CommandDataOut };

enum { CommandStagingSize = 64 };

// A request block and its completion event, static for the life of the process.
// A request that ran out of time still belongs to the transport, which may
// complete it later: its event stays open in `event` and the block is not reused
// until that event has been signalled. The next commands take another block of
// the pool meanwhile, so that one device answering late does not stop the
// commands to the others.
//
// What such a late completion may still touch: the block and the event, always.
// Data read from the drive that fits `staging` (CommandStagingSize bytes) lands
// there first and reaches the caller's buffer only once the request has
// completed in time, so it never writes into memory the caller has moved on
// from. A longer read, and every data-out transfer, uses the caller's buffer
// itself: the transport may still read it, or write it, after IssueAndWait has
// returned. Such buffers must live until the process ends (static or never
// freed), as the flash tool's image buffer does.
struct CommandSlot {
    ScsiRequestBlock block;
    HANDLE event;
    BYTE staging[CommandStagingSize];
    // 1 while a command of the pool is being issued through this slot.
    volatile LONG claimed;
};

// Blocks in the pool shared by the command builders.
enum { CommandPoolSize = 8 };

// Bytes of sense data that a request asks for (SRB_SenseLen).
enum { CommandSenseLength = 16 };

// What a builder names for one command.
struct ScsiCommand {
    BYTE haId;
    BYTE targetId;
    BYTE cdb[16];
    BYTE cdbLength;
    CommandDirection direction;
    void* data;
    DWORD dataLength;
    DWORD timeoutMs;
    // When set, receives the CommandSenseLength bytes of the block's sense area
    // once the request has finished in time; left alone otherwise.
    BYTE* sense;
    // 1 for a command that must go out whatever earlier requests still hold (the
    // leave of flash mode): it may take the pool's last free block, which every
    // other command leaves for it.
    BYTE mayTakeReserve;
};

// A command to the current target, with its CDB zeroed and no data.
ScsiCommand CommandToCurrentTarget(BYTE cdbLength, DWORD timeoutMs);

// Carries the command out through the slot; 1 when the request completed with
// SS_COMP. Shows "Create Event Fail" and sends nothing when the event cannot be
// created. Fails without sending while nothing is bound, or while the slot's
// earlier request has not completed yet. A request that SendASPI32Command
// accepts (SS_PENDING) is finished only when its event is signalled: whatever
// SRB_Status reads before that may still change, and the manager signals the
// event afterwards. When the wait runs out first, the request stays with the
// slot (see CommandSlot) until its completion arrives.
int IssueAndWait(CommandSlot* slot, const ScsiCommand* command);

// Carries the command out through a free block of the pool, as IssueAndWait
// does; 0 without sending when there is none. The pool's last free block is
// kept for commands with mayTakeReserve.
int IssueCommand(const ScsiCommand* command);

// 1 while the pool can still carry an ordinary command and, after it, one that
// may take the reserve (two free blocks); a run that must be able to leave
// flash mode starts only then.
int CommandPoolHasRoom();

// 1 when the slot holds no request that the transport may still complete, else
// 0. This is the one place where a late completion is taken: when the slot's
// event has been signalled meanwhile, its event is closed and the block is free
// in the same step, so that no signal is ever taken without freeing the block.
int CommandSlotIsFree(CommandSlot* slot);

// Number of requests that ran out of time and have not completed yet; the slots
// of the pool whose late completion has arrived are freed first.
LONG OutstandingRequestCount();

// 1 while a request to the device (haId, targetId) that ran out of time has not
// completed yet; those that have completed are freed on the way.
int LateRequestOutstanding(BYTE haId, BYTE targetId);

// Waits, up to `limitMs`, until every request to the device (haId, targetId)
// that ran out of time has completed (the device may still carry such a request
// out until then, so what it changes is known only afterwards). 1 when none is
// outstanding any more. It takes the completions itself, so it is called only
// from the thread that issues the commands, while none of them is in flight.
int AwaitLateCompletions(BYTE haId, BYTE targetId, DWORD limitMs);

#endif
