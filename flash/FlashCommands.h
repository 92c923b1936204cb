// The flash tool's SCSI commands: INQUIRY and the drive's vendor flash commands
// (0xCC: flash mode and checksum; 0xCB: download and block commands), each sent
// through the shared issue-and-wait helper, and the two loops over them that cut
// the image into transfers and walk the block masks. Every operation returns 1
// when its request completed with SS_COMP, else 0; none shows a box.
#ifndef ZAL_FLASH_FLASHCOMMANDS_H
#define ZAL_FLASH_FLASHCOMMANDS_H

#include "DriveTable.h"
#include "TestImageMark.h"

#include <windows.h>

enum {
    FlashBlockSize = 4096,
    FlashMaxBlocksPerTransfer = 8,
    FlashBlockPassMasks = 17, // masks 0x4 (bit 2) up to 0x40000 (bit 18)
    BlockSubCommandErase = 4,
    BlockSubCommandProgram = 2
};

// The identification buffer: the INQUIRY data of the drive last asked (bytes
// 8-15 vendor, 16-31 product, 32-35 revision).
extern BYTE FlashIdentification[IdentificationLength];

// INQUIRY of (hostAdapter, target) into the identification buffer, which is
// cleared first, so that a short reply never carries another drive's identity.
int Inquiry(BYTE hostAdapter, BYTE target);

// INQUIRY of the selected drive (CurrentHaId, CurrentTargetId).
int InquirySelected();

// The selected drive's INQUIRY data with its vendor-specific bytes 36-55, where
// the drive emulator signs: sent only for a test image (see FlashSequence.h).
extern BYTE FlashSignedIdentification[EmulatorInquiryLength];

// INQUIRY of the selected drive with an allocation length of 56 into
// FlashSignedIdentification, which is cleared first, so that bytes a drive does
// not send read as zero.
int InquirySignedSelected();

// 0xCC sub-command 1: mode 1 enters flash mode, mode 0 leaves it. The leave may
// take the request block that the pool keeps free for it, so that it goes out
// whatever earlier requests still hold.
int SetFlashMode(BYTE mode);

// 0xCB sub-command 1: blockCount (1-8) blocks of 4,096 bytes from `data` to the
// drive address `address`, of which the low 24 bits are sent. The data goes out
// from `data` itself, which must outlive the process (see ScsiCommand.h).
int DownloadBlocks(DWORD address, BYTE blockCount, const BYTE* data);

// 0xCC sub-command 4: the image's checksum word, high byte first.
int SendImageChecksum(WORD checksum);

// 0xCB sub-command 4 or 2 with a one-bit block mask; may take up to 20 minutes.
int FlashBlockCommand(BYTE subCommand, DWORD blockMask);

// Sends `length` bytes in transfers of at most 8 blocks, from `address` on; stops
// at the first failing transfer. A length that is not a whole number of blocks
// is refused with nothing sent.
int DownloadImage(DWORD address, const BYTE* data, DWORD length);

// The 17 block commands of one pass, masks 0x4 up to 0x40000, lowest first;
// stops at the first failing one.
int RunBlockPass(BYTE subCommand);

#endif
