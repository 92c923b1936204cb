// The issue-and-wait pattern that every command builder of both tools uses: one
// request block and one completion event per builder, the block sent through the
// bound SendASPI32Command, and a bounded wait for its event.
#ifndef ZAL_TRANSPORT_SCSICOMMAND_H
#define ZAL_TRANSPORT_SCSICOMMAND_H

#include "AspiTypes.h"

enum CommandDirection { CommandNoData, CommandDataIn, CommandDataOut };

enum { CommandStagingSize = 64 };

// A builder's own request block and completion event, static for the life of the
// process. A request that ran out of time still belongs to the transport, which
// may complete it later: its event stays open in `event` and the block is not
// reused until that event has been signalled.
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
};

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
};

// A command to the current target, with its CDB zeroed and no data.
ScsiCommand CommandToCurrentTarget(BYTE cdbLength, DWORD timeoutMs);

// Carries the command out through the slot; 1 when the request completed with
// SS_COMP. Shows "Create Event Fail" and sends nothing when the event cannot be
// created. Fails without sending while nothing is bound, or while the slot's
// earlier request has not completed yet.
int IssueAndWait(CommandSlot* slot, const ScsiCommand* command);

// 1 when the slot holds no request that the transport may still complete (a
// late completion that has arrived meanwhile frees it), else 0.
int CommandSlotIsFree(CommandSlot* slot);

// Number of requests that ran out of time and have not been seen to complete.
LONG OutstandingRequestCount();

// Waits, up to `limitMs`, until every request to the device (haId, targetId)
// that ran out of time has completed (the device may still carry such a request
// out until then, so what it changes is known only afterwards). 1 when none is
// outstanding any more.
int AwaitLateCompletions(BYTE haId, BYTE targetId, DWORD limitMs);

#endif
