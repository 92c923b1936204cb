// The change flow's commands and what their success leaves in the drive state.
#include "ChangeFlow.h"

#include "BookTypeState.h"
#include "ScsiCommand.h"
#include "ScsiTransport.h"

// How long a change waits for a request that ran out of time to complete: as
// long as a vendor command may take.
enum { LateCompletionLimitMs = 5000 };

// What the change being made knows of the drive. 0 in settingsKnown while it may
// not send: the drive's settings could not be read again after a failure. The
// settings in `doubt` (change-failure bits) have recorded values that may not be
// what the drive holds, so no command is skipped as not needed on their account:
// a temporary set or a select, which the drive may take again at no cost, is
// sent; a default set, which uses up one of the drive's changes, is not sent on
// a guess and reports its failure bit.
static int settingsKnown = 1;
static DWORD doubt = 0;

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
    const DWORD bit = DefaultSetFailure(m);
    if ((doubt & bit) != 0) {
        return bit;
    }
    if (value == CurrentState.defaultValue[m]) {
        return 0;
    }
    const DWORD failure = MaySend() ? SetDefaultBookType(m, value) : bit;
    if (failure == 0) {
        CurrentState.defaultValue[m] = value;
        UseUpOneChange();
    }
    return failure;
}

static DWORD ChangeTemporary(MediumKind m, const MediumChoice* choice, BYTE normalValue) {
    if (!choice->temporaryNormal && !choice->temporaryCompatibility) {
        return 0;
    }
    const DWORD bit = TemporarySetFailure(m);
    BYTE value = normalValue;
    bool same = CurrentState.temporaryValue[m] == normalValue;
    if (!choice->temporaryNormal) {
        value = BookTypeDvdRom;
        same = CurrentState.temporaryValue[m] == BookTypeDvdRom && CurrentState.temporaryValid[m];
    }
    if (same && (doubt & bit) == 0) {
        return 0;
    }
    const DWORD failure = MaySend() ? SetTemporaryBookType(m, value) : bit;
    if (failure == 0) {
        CurrentState.temporaryValue[m] = value;
        CurrentState.temporaryValid[m] = 1;
        doubt &= ~bit;
    }
    return failure;
}

static DWORD ChangeSelection(MediumKind m, const MediumChoice* choice) {
    const DWORD bit = SelectFailure(m);
    const BYTE temporary = choice->defaultApplied ? 0 : 1;
    if (temporary == CurrentState.temporarySelected[m] && (doubt & bit) == 0) {
        return 0;
    }
    const DWORD failure = MaySend() ? SelectBookTypeSetting(m, temporary) : bit;
    if (failure == 0) {
        CurrentState.temporarySelected[m] = temporary;
        doubt &= ~bit;
    }
    return failure;
}

DWORD SendChangedSettings(const ChangeChoices* choices) {
    const int row = SelectedDriveIndex;
    const bool rowValid = row >= 0 && row < DriveTableCapacity;
    settingsKnown = 1;
    doubt = rowValid ? DriveSettingsInDoubt[row] : 0;
    if (doubt != 0) {
        // A failed command of the last change may have been carried out all the
        // same, late, and a setting the probe could not read is not known: once
        // every late request has completed, take the drive's own settings, so
        // that only what still differs goes out and no default change is spent
        // twice. A read that fails gives no value.
        DWORD unread = 0;
        settingsKnown = AwaitLateCompletions(CurrentHaId, CurrentTargetId, LateCompletionLimitMs) &&
                        ReadDriveSettings(&CurrentState, &unread);
        if (settingsKnown) {
            doubt = unread;
        }
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
        DriveSettingsInDoubt[row] = mask | doubt;
    }
    StoreDriveState();
    return mask;
}
