// The change flow's commands and what their success leaves in the drive state.
#include "ChangeFlow.h"

#include "BookTypeState.h"
#include "ScsiCommand.h"
#include "ScsiTransport.h"

// How long a change waits for a request that ran out of time to complete: as
// long as a vendor command may take.
enum { LateCompletionLimitMs = 5000 };

// 0 while this change may not send: the drive's settings could not be read
// again after a failure.
static int settingsKnown = 1;

// 1 when a set command may go out now: the settings are known and no earlier
// request to the drive can still be carried out meanwhile (the drive takes one
// command at a time, and a late set would change what this one is decided on).
static int MaySend() {
    return settingsKnown &&
           AwaitLateCompletions(CurrentHaId, CurrentTargetId, LateCompletionLimitMs);
}

static void UseUpOneChange() {
    int count = RemainingChangeCount(&CurrentState);
    if (count > 0) {
        --count;
    }
    CurrentState.changeCountHigh = static_cast<BYTE>((count >> 8) & 0x7F);
    CurrentState.changeCountLow = static_cast<BYTE>(count & 0xFF);
}

static DWORD ChangeDefault(MediumKind m, BYTE value) {
    if (value == CurrentState.defaultValue[m]) {
        return 0;
    }
    const DWORD failure = MaySend() ? SetDefaultBookType(m, value) : DefaultSetFailure(m);
    if (failure == 0) {
        CurrentState.defaultValue[m] = value;
        UseUpOneChange();
    }
    return failure;
}

static DWORD ChangeTemporary(MediumKind m, const MediumChoice* choice, BYTE normalValue) {
    BYTE value;
    if (choice->temporaryNormal) {
        if (CurrentState.temporaryValue[m] == normalValue) {
            return 0;
        }
        value = normalValue;
    } else if (choice->temporaryCompatibility) {
        if (CurrentState.temporaryValue[m] == BookTypeDvdRom && CurrentState.temporaryValid[m]) {
            return 0;
        }
        value = BookTypeDvdRom;
    } else {
        return 0;
    }
    const DWORD failure = MaySend() ? SetTemporaryBookType(m, value) : TemporarySetFailure(m);
    if (failure == 0) {
        CurrentState.temporaryValue[m] = value;
        CurrentState.temporaryValid[m] = 1;
    }
    return failure;
}

static DWORD ChangeSelection(MediumKind m, const MediumChoice* choice) {
    const BYTE temporary = choice->defaultApplied ? 0 : 1;
    if (temporary == CurrentState.temporarySelected[m]) {
        return 0;
    }
    const DWORD failure = MaySend() ? SelectBookTypeSetting(m, temporary) : SelectFailure(m);
    if (failure == 0) {
        CurrentState.temporarySelected[m] = temporary;
    }
    return failure;
}

DWORD SendChangedSettings(const ChangeChoices* choices) {
    const int row = SelectedDriveIndex;
    const bool rowValid = row >= 0 && row < DriveTableCapacity;
    settingsKnown = 1;
    if (rowValid && DriveStateInDoubt[row]) {
        // A failed command of the last change may have been carried out all the
        // same, late: once it has completed, take the drive's own settings, so that
        // only what still differs goes out and no default change is spent twice.
        settingsKnown = AwaitLateCompletions(CurrentHaId, CurrentTargetId, LateCompletionLimitMs) &&
                        ReadDriveSettings();
    }
    const MediumChoice* dl = &choices->medium[DvdPlusRDl];
    const MediumChoice* plusR = &choices->medium[DvdPlusR];
    const INT32 version = CurrentState.commandVersion;

    DWORD mask = 0;
    BYTE dlDefault = BookTypeDvdPlusRDl;
    if (!dl->defaultNormal) {
        dlDefault = version == 0 ? BookTypeDvdRomVersion0 : BookTypeDvdRom;
    }
    mask |= ChangeDefault(DvdPlusRDl, dlDefault);
    if (version >= 2) {
        mask |= ChangeTemporary(DvdPlusRDl, dl, BookTypeDvdPlusRDl);
        mask |= ChangeSelection(DvdPlusRDl, dl);
    }
    if (version >= 3) {
        mask |= ChangeDefault(DvdPlusR, plusR->defaultNormal ? BookTypeDvdPlusR : BookTypeDvdRom);
        mask |= ChangeTemporary(DvdPlusR, plusR, BookTypeDvdPlusR);
        mask |= ChangeSelection(DvdPlusR, plusR);
    }
    if (rowValid) {
        DriveStateInDoubt[row] = mask != 0 ? 1 : 0;
    }
    StoreDriveState();
    return mask;
}
