// The book-type tool's SCSI commands: INQUIRY, TEST UNIT READY and the four
// sub-commands of the drive's vendor command 0xC9, each sent to the current
// target through the shared issue-and-wait helper.
#ifndef ZAL_BOOKTYPE_BOOKTYPECOMMANDS_H
#define ZAL_BOOKTYPE_BOOKTYPECOMMANDS_H

#include "DriveTable.h"

#include <windows.h>

// Medium index carried in CDB byte 2 of every 0xC9 command.
enum MediumKind { DvdPlusR = 0, DvdPlusRw = 1, DvdPlusRDl = 2 };

// Book-type bytes the tool writes.
enum {
    BookTypeDvdPlusRDl = 0xE0,
    BookTypeDvdPlusR = 0xA0,
    BookTypeDvdRom = 0x00,
    BookTypeDvdRomVersion0 = 0x01 // DVD+R DL Compatibility default on command version 0
};

// CDB byte 9 of the read: which setting, and of the select: which setting applies.
enum { DefaultSetting = 0, TemporarySetting = 1 };

// Parameter byte (CDB byte 3) that the tool always sends with the read.
enum { ReadParameter = 0x01 };

enum { BookTypeReplyLength = 6, SenseLength = 16 };

// Failure bits of ChangeFailureMask: bit 4m for a default set of medium m, 4m + 1
// for a temporary set, 4m + 2 for a select.
inline DWORD DefaultSetFailure(MediumKind m) {
    return 1ul << (4 * m);
}
inline DWORD TemporarySetFailure(MediumKind m) {
    return 1ul << (4 * m + 1);
}
inline DWORD SelectFailure(MediumKind m) {
    return 1ul << (4 * m + 2);
}

// The identification buffer: the INQUIRY data of the drive last asked.
extern BYTE DriveIdentification[IdentificationLength];

// Standard INQUIRY into the identification buffer, which is cleared first; 1 on success.
int InquiryCurrent();

// TEST UNIT READY; 1 on success. Copies the request's 16 sense bytes to `sense`
// when it completes in time, else leaves them cleared. Sends nothing while an
// earlier request to the current target has not completed yet.
int TestUnitReady(BYTE* sense);

// TEST UNIT READY for the disc poll: 1 when the drive answers that no disc is
// loaded (sense key 2, not ready, with additional sense code 0x3A, medium not
// present); 0 for a loaded disc, a drive becoming ready, or a command that fails
// or runs out of time.
int DriveHasNoDisc();

// Writes the stored default book type of medium m; 0 or DefaultSetFailure(m).
DWORD SetDefaultBookType(MediumKind m, BYTE value);

// Reads the default (which = 0) or temporary (which = 1) setting of medium m into
// the 6-byte reply, which is cleared first; 1 on success.
int ReadBookTypeSetting(MediumKind m, BYTE parameter, BYTE which, BYTE* reply);

// Writes the temporary book type of medium m; 0 or TemporarySetFailure(m).
DWORD SetTemporaryBookType(MediumKind m, BYTE value);

// Makes the drive apply the default (0) or temporary (1) setting of medium m;
// 0 or SelectFailure(m).
DWORD SelectBookTypeSetting(MediumKind m, BYTE temporary);

#endif
