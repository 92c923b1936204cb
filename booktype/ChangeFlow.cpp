// The change flow's commands and what their success leaves in the drive state.
#include "ChangeFlow.h"

#include "BookTypeState.h"

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
    const DWORD failure = SetDefaultBookType(m, value);
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
    const DWORD failure = SetTemporaryBookType(m, value);
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
    const DWORD failure = SelectBookTypeSetting(m, temporary);
    if (failure == 0) {
        CurrentState.temporarySelected[m] = temporary;
    }
    return failure;
}

DWORD SendChangedSettings(const ChangeChoices* choices) {
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
    StoreDriveState();
    return mask;
}
