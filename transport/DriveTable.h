// The table of found drives, shared by both tools: the enumeration of every
// target of every host adapter with the tool's probe, the drive display text, and
// the selection of a row as the current target of the command builders. What
// differs between the tools reaches the enumeration as its DriveProbe argument.
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

// A tool's way of probing the targets, and its buffers that the probe fills.
struct DriveProbe {
    // Probes (haId, targetId), addressing the target as the tool needs; 1 when it
    // is a drive the tool serves, with `identification` (the 36-byte INQUIRY data)
    // and `display` (the drive display text) filled for it.
    int (*probe)(BYTE haId, BYTE targetId);
    const BYTE* identification;
    char* display;
    // Called once row `row` has been filled from an accepted probe; NULL when the
    // tool keeps nothing more per drive.
    void (*keepRow)(int row);
};

// Fills DriveTable, DriveCount and the drive list (through AddDriveListItem), in
// the order host adapter by host adapter, targets 0 to 7 within each, keeping
// the targets that the probe accepts; each accepted one becomes the current
// target. Once all 24 rows are taken the enumeration stops: no further target
// is probed.
void EnumerateDrives(const DriveProbe* probe);

// Makes row `index` the current target; an index at or above DriveCount changes nothing.
void SelectDrive(int index);

// Replaces the revision of row `index` with the 4 product revision characters at
// `revision` (INQUIRY data bytes 32 to 35), as the drive reports them after a new
// firmware; 0, changing nothing, for an index outside the found drives. The
// current target is not changed: SelectDrive takes the row again.
int SetDriveRevision(int index, const BYTE* revision);

// The tag character of a host adapter or target number: '0'-'9', then 'A' onwards.
char DriveTagCharacter(BYTE value);

// Writes the 35-character drive display text of (haId, targetId) and its NUL into
// `display`: the tag "[HA:x/ID:y]", then bytes 8 to 31 of the INQUIRY data, a NUL
// among them written as a blank.
void ComposeDriveDisplayText(char* display, BYTE haId, BYTE targetId, const BYTE* identification);

#endif
