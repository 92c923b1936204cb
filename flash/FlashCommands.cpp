// The flash tool's commands, byte for byte. Each builder owns its command slot
// (request block and completion event) and hands the command to IssueAndWait.
#include "FlashCommands.h"

#include "ScsiCommand.h"
#include "ScsiTransport.h"

#include <string.h>

BYTE FlashIdentification[IdentificationLength];
BYTE FlashSignedIdentification[EmulatorInquiryLength];

enum {
    ShortTimeoutMs = 5000,
    BlockTimeoutMs = 1200000, // a block command may take 20 minutes
    VendorCdbLength = 12,
    FlashControlOpcode = 0xCC,
    FlashBlocksOpcode = 0xCB,
    SubSetFlashMode = 1,
    SubChecksum = 4,
    SubDownload = 1
};

int Inquiry(BYTE hostAdapter, BYTE target) {
    static CommandSlot slot;
    ScsiCommand c = CommandToCurrentTarget(6, ShortTimeoutMs);
    c.haId = hostAdapter;
    c.targetId = target;
    c.cdb[0] = 0x12;
    c.cdb[4] = IdentificationLength;
    c.direction = CommandDataIn;
    memset(FlashIdentification, 0, sizeof FlashIdentification);
    c.data = FlashIdentification;
    c.dataLength = IdentificationLength;
    return IssueAndWait(&slot, &c);
}

int InquirySelected() {
    return Inquiry(CurrentHaId, CurrentTargetId);
}

int InquirySignedSelected() {
    static CommandSlot slot;
    ScsiCommand c = CommandToCurrentTarget(6, ShortTimeoutMs);
    c.cdb[0] = 0x12;
    c.cdb[4] = EmulatorInquiryLength;
    c.direction = CommandDataIn;
    memset(FlashSignedIdentification, 0, sizeof FlashSignedIdentification);
    c.data = FlashSignedIdentification;
    c.dataLength = EmulatorInquiryLength;
    return IssueAndWait(&slot, &c);
}

// Waits, up to `limitMs`, for a late completion of the slot's earlier request
// that ran out of time: the drive may still carry that request out, and until it
// completes the slot cannot send.
static void AwaitLateCompletion(CommandSlot* slot, DWORD limitMs) {
    const DWORD start = GetTickCount();
    while (!CommandSlotIsFree(slot) && GetTickCount() - start < limitMs) {
        Sleep(50);
    }
}

int SetFlashMode(BYTE mode) {
    static CommandSlot slot;
    // An entry that ran out of time may still be carried out late, leaving the
    // drive in flash mode: the leave that follows waits for it, so that it is sent
    // rather than refused at once by the busy slot.
    AwaitLateCompletion(&slot, ShortTimeoutMs);
    ScsiCommand c = CommandToCurrentTarget(VendorCdbLength, ShortTimeoutMs);
    c.cdb[0] = FlashControlOpcode;
    c.cdb[1] = SubSetFlashMode;
    c.cdb[2] = mode;
    // The access code is written one letter at a time; the volatile stores keep
    // the compiler from merging the letters into one constant in the program.
    volatile BYTE* accessCode = c.cdb + 4;
    accessCode[0] = 'R';
    accessCode[1] = '4';
    accessCode[2] = 'Q';
    accessCode[3] = '9';
    return IssueAndWait(&slot, &c);
}

int DownloadBlocks(DWORD address, BYTE blockCount, const BYTE* data) {
    static CommandSlot slot;
    ScsiCommand c = CommandToCurrentTarget(VendorCdbLength, ShortTimeoutMs);
    c.cdb[0] = FlashBlocksOpcode;
    c.cdb[1] = SubDownload;
    c.cdb[3] = static_cast<BYTE>(address >> 16);
    c.cdb[4] = static_cast<BYTE>(address >> 8);
    c.cdb[5] = static_cast<BYTE>(address);
    c.cdb[8] = blockCount;
    c.direction = CommandDataOut;
    // Sent straight from the caller's buffer: the drive only reads it.
    c.data = const_cast<BYTE*>(data);
    c.dataLength = static_cast<DWORD>(blockCount) * FlashBlockSize;
    return IssueAndWait(&slot, &c);
}

int SendImageChecksum(WORD checksum) {
    static CommandSlot slot;
    ScsiCommand c = CommandToCurrentTarget(VendorCdbLength, ShortTimeoutMs);
    c.cdb[0] = FlashControlOpcode;
    c.cdb[1] = SubChecksum;
    c.cdb[2] = static_cast<BYTE>(checksum >> 8);
    c.cdb[3] = static_cast<BYTE>(checksum);
    return IssueAndWait(&slot, &c);
}

int FlashBlockCommand(BYTE subCommand, DWORD blockMask) {
    static CommandSlot slot;
    ScsiCommand c = CommandToCurrentTarget(VendorCdbLength, BlockTimeoutMs);
    c.cdb[0] = FlashBlocksOpcode;
    c.cdb[1] = subCommand;
    c.cdb[5] = static_cast<BYTE>(blockMask >> 24);
    c.cdb[6] = static_cast<BYTE>(blockMask >> 16);
    c.cdb[7] = static_cast<BYTE>(blockMask >> 8);
    c.cdb[8] = static_cast<BYTE>(blockMask);
    return IssueAndWait(&slot, &c);
}

int DownloadImage(DWORD address, const BYTE* data, DWORD length) {
    if (length % FlashBlockSize != 0) {
        return 0;
    }
    while (length != 0) {
        const DWORD maxBlocks = FlashMaxBlocksPerTransfer;
        const DWORD wholeBlocks = length / FlashBlockSize;
        const BYTE count = static_cast<BYTE>(wholeBlocks >= maxBlocks ? maxBlocks : wholeBlocks);
        if (!DownloadBlocks(address, count, data)) {
            return 0;
        }
        const DWORD bytes = static_cast<DWORD>(count) * FlashBlockSize;
        address += bytes;
        data += bytes;
        length -= bytes;
    }
    return 1;
}

int RunBlockPass(BYTE subCommand) {
    DWORD mask = 0x4;
    for (int i = 0; i < FlashBlockPassMasks; ++i) {
        if (!FlashBlockCommand(subCommand, mask)) {
            return 0;
        }
        mask <<= 1;
    }
    return 1;
}
