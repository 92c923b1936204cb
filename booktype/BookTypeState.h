// The book-type state of the drives: the probe that recognises a drive and
// decodes its settings by command version, the current state that the dialog
// shows and the change flow compares against, and one copy per drive-table row.
#ifndef ZAL_BOOKTYPE_BOOKTYPESTATE_H
#define ZAL_BOOKTYPE_BOOKTYPESTATE_H

#include "BookTypeCommands.h"
#include "DriveTable.h"

#include <windows.h>

struct BookTypeState {
    BYTE defaultValue[3]; // indexed by MediumKind
    BYTE temporaryValue[3];
    BYTE temporaryValid[3];
    BYTE temporarySelected[3];
    BYTE changeCountHigh;
    BYTE changeCountLow;
    INT32 commandVersion;
};

static_assert(sizeof(BookTypeState) == 20, "BookTypeState is a 20-byte record");

// The state of the drive last probed, and after RestoreDriveState that of the selected drive.
extern BookTypeState CurrentState;

// One state per DriveTable row, same index.
extern BookTypeState DriveStates[DriveTableCapacity];

// Per row, the settings whose recorded value may not be what the drive holds,
// as the change-failure bits of the commands that set them: a set that failed
// (one that ran out of time may have been carried out late), and the DVD+R
// default and select when the probe's read of them failed (the state then shows
// them decoded from a cleared reply). Set by the probe and the change flow; a
// change first reads the drive again while any is set.
extern DWORD DriveSettingsInDoubt[DriveTableCapacity];

// The display buffer: the drive display text of the drive last probed.
extern char DriveDisplayBuffer[DisplayBufferSize];

// The book-type tool's probe for EnumerateDrives: makes each target current,
// probes it with ProbeBookTypeDrive and keeps the state of every accepted drive.
extern const DriveProbe BookTypeDriveProbe;

// 1 when the device at the current target (made so by the caller) is a drive this
// tool serves; then CurrentState, DriveIdentification and DriveDisplayBuffer hold
// its data. (ha, target) serve the display text only.
int ProbeBookTypeDrive(BYTE ha, BYTE target);

// Reads the book-type settings of the current target into `state`, by command
// version as the probe does after its INQUIRY. 0 when the first read (the DVD+R
// DL default) failed; `state` is left as it was then. Else 1, with `*unread` the
// settings that no read gave, as change-failure bits: the DVD+R default and
// select when their read failed (both are then decoded from the cleared reply,
// Compatibility with the default applied). A temporary setting that could not be
// read is marked in temporaryValid instead.
int ReadDriveSettings(BookTypeState* state, DWORD* unread);

// Copies the state of row SelectedDriveIndex into CurrentState.
void RestoreDriveState();

// Copies CurrentState into the state of row SelectedDriveIndex.
void StoreDriveState();

// The remaining change count of the default settings.
int RemainingChangeCount(const BookTypeState* state);

// 1 when the drive may take a change, so that the disc poll runs for it: command
// version 2 or later, or a default change left. A drive of command version 0 or 1
// with no change left has nothing to change.
int DriveOffersChange(const BookTypeState* state);

// A book-type byte whose upper four bits are non-zero reads as Normal.
inline bool IsNormalBookType(BYTE value) {
    return (value & 0xF0) != 0;
}

#endif
