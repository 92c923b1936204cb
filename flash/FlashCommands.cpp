// The flash tool's commands, byte for byte. Each builder fills its command and
// hands it to IssueCommand, which issues it through a request block of the pool.
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
    ScsiCommand c = CommandToCurrentTarget(6, ShortTimeoutMs);
    c.haId = hostAdapter;
    c.targetId = target;
    c.cdb[0] = 0x12;
    c.cdb[4] = IdentificationLength;
    c.direction = CommandDataIn;
    memset(FlashIdentification, 0, sizeof FlashIdentification);
    c.data = FlashIdentification;
    c.dataLength = IdentificationLength;
    return IssueCommand(&c);
}

int InquirySelected() {
    return Inquiry(CurrentHaId, CurrentTargetId);
}

int InquirySignedSelected() {
    ScsiCommand c = CommandToCurrentTarget(6, ShortTimeoutMs);
    c.cdb[0] = 0x12;
    c.cdb[4] = EmulatorInquiryLength;
    c.direction = CommandDataIn;
    memset(FlashSignedIdentification, 0, sizeof FlashSignedIdentification);
    c.data = FlashSignedIdentification;
    c.dataLength = EmulatorInquiryLength;
    return IssueCommand(&c);
}

int SetFlashMode(BYTE mode) {
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
    c.mayTakeReserve = mode == 0 ? 1 : 0;
    return IssueCommand(&c);
}

int DownloadBlocks(DWORD address, BYTE blockCount, const BYTE* data) {
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
    return IssueCommand(&c);
}

int SendImageChecksum(WORD checksum) {
    ScsiCommand c = CommandToCurrentTarget(VendorCdbLength, ShortTimeoutMs);
    c.cdb[0] = FlashControlOpcode;
    c.cdb[1] = SubChecksum;
    c.cdb[2] = static_cast<BYTE>(checksum >> 8);
    c.cdb[3] = static_cast<BYTE>(checksum);
    return IssueCommand(&c);
}

int FlashBlockCommand(BYTE subCommand, DWORD blockMask) {
    ScsiCommand c = CommandToCurrentTarget(VendorCdbLength, BlockTimeoutMs);
    c.cdb[0] = FlashBlocksOpcode;
    c.cdb[1] = subCommand;
    c.cdb[5] = static_cast<BYTE>(blockMask >> 24);
    c.cdb[6] = static_cast<BYTE>(blockMask >> 16);
    c.cdb[7] = static_cast<BYTE>(blockMask >> 8);
    c.cdb[8] = static_cast<BYTE>(blockMask);
    return IssueCommand(&c);
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
