// The table of found drives, shared by both tools: the enumeration of every
// target of every host adapter with the tool's probe, the drive display text, and
// the selection of a row as the current target of the command builders.
//
// Where the two tools differ, the table calls hooks that each tool defines in its
// own files, so each program carries only its own variant (they are resolved when
// the program is linked; a program that never enumerates needs none of them).
#ifndef ZAL_TRANSPORT_DRIVETABLE_H
#define ZAL_TRANSPORT_DRIVETABLE_H

#include <windows.h>

enum {
    DriveTableCapacity = 24,
    IdentificationLength = 36, // standard INQUIRY data
    DisplayTextLength = 35,    // "[HA:x/ID:y]" + 8 vendor + 16 product characters
    DisplayBufferSize = 36
};

struct DriveEntry {
    BYTE index;
    BYTE haId;
    BYTE targetId;
    char vendor[9];
    char product[17];
    char revision[5];
};

extern DriveEntry DriveTable[DriveTableCapacity];
extern int DriveCount;
extern int SelectedDriveIndex;

// Fills DriveTable, DriveCount and the drive list (through AddDriveListItem), in
// the order host adapter by host adapter, targets 0 to 7 within each. Once all 24
// rows are taken the enumeration stops: no further target is probed.
void EnumerateDrives();

// Makes row `index` the current target; an index at or above DriveCount changes nothing.
void SelectDrive(int index);

// The tag character of a host adapter or target number: '0'-'9', then 'A' onwards.
char DriveTagCharacter(BYTE value);

// Writes the 35-character drive display text of (haId, targetId) and its NUL into
// `display`: the tag "[HA:x/ID:y]", then bytes 8 to 31 of the INQUIRY data.
void ComposeDriveDisplayText(char* display, BYTE haId, BYTE targetId, const BYTE* identification);

// ---- Supplied by each tool ----

// The tool's identification buffer (INQUIRY data of the drive last probed) and its
// display buffer, both filled by its probe.
extern BYTE DriveIdentification[IdentificationLength];
extern char DriveDisplayBuffer[DisplayBufferSize];

// Probes (haId, targetId) the tool's way, addressing the target as the tool needs;
// 1 when it is a drive the tool serves, with both buffers filled.
int ProbeTableCandidate(BYTE haId, BYTE targetId);

// Called once row `row` has been filled from an accepted probe.
void KeepProbedDrive(int row);

// Called by SelectDrive after row `row` has become the current target.
void DriveRowSelected(int row);

#endif
