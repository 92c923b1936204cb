// The flash tool's drive probe for the drive table, its display buffer, and the
// current version of the selected drive with the text that shows it.
#ifndef ZAL_FLASH_FLASHPROBE_H
#define ZAL_FLASH_FLASHPROBE_H

#include "DriveTable.h"

#include <windows.h>

// The drive display text of the drive last probed.
extern char FlashDisplayBuffer[DisplayBufferSize];

// 1 when the drive at (hostAdapter, target) is a target for the loaded image:
// a drive of the configured vendor and product whose version the image can
// replace, or a drive running its loader (alternate product and revision
// pattern). Leaves the identification buffer and, when the drive answered, the
// display text filled. The update version must be loaded first.
int ProbeDrive(BYTE hostAdapter, BYTE target);

// ProbeDrive with the flash tool's buffers, for EnumerateDrives.
extern const DriveProbe FlashDriveProbe;

// The current version: the 4 revision characters of the row that SelectDrive
// made current last ("" before any drive is found).
const char* CurrentVersion();

// The current version as the dialog shows it: "N/A " (the last character a
// blank) for a drive whose version begins with '0', its loader; else the
// current version.
const char* ShownCurrentVersion();

#endif
