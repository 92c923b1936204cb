// The book-type probe and the drive states, and the tool's probe for the drive table.
#include "BookTypeState.h"

#include "ScsiTransport.h"

#include <string.h>

BookTypeState CurrentState;
BookTypeState DriveStates[DriveTableCapacity];
BYTE DriveStateInDoubt[DriveTableCapacity];
BYTE DriveIdentification[IdentificationLength];
char DriveDisplayBuffer[DisplayBufferSize];

int RemainingChangeCount(const BookTypeState* state) {
    return state->changeCountHigh * 256 + state->changeCountLow;
}

int DriveOffersChange(const BookTypeState* state) {
    return state->commandVersion >= 2 || RemainingChangeCount(state) != 0;
}

// The DVD+R DL default read: whether the drive is one of ours, and the fields
// that only this read gives.
static void DecodeFirstReply(const BYTE* reply) {
    memset(&CurrentState, 0, sizeof CurrentState);
    CurrentState.defaultValue[DvdPlusRDl] = reply[1];
    CurrentState.temporarySelected[DvdPlusRDl] = static_cast<BYTE>(reply[2] >> 7);
    CurrentState.changeCountHigh = static_cast<BYTE>(reply[2] & 0x7F);
    CurrentState.changeCountLow = reply[3];
    CurrentState.commandVersion = reply[4] * 256 + reply[5];
}

static void ReadTemporarySetting(MediumKind m) {
    BYTE reply[BookTypeReplyLength];
    if (ReadBookTypeSetting(m, ReadParameter, TemporarySetting, reply)) {
        CurrentState.temporaryValid[m] = 1;
        CurrentState.temporaryValue[m] = reply[1];
    }
}

int ReadDriveSettings() {
    BYTE reply[BookTypeReplyLength];
    if (!ReadBookTypeSetting(DvdPlusRDl, ReadParameter, DefaultSetting, reply)) {
        return 0;
    }
    DecodeFirstReply(reply);
    if (CurrentState.commandVersion >= 2) {
        ReadTemporarySetting(DvdPlusRDl);
    }
    if (CurrentState.commandVersion >= 3) {
        // The outcome is not tested: the cleared reply of a failed read gives
        // Compatibility with the default applied.
        ReadBookTypeSetting(DvdPlusR, ReadParameter, DefaultSetting, reply);
        CurrentState.defaultValue[DvdPlusR] = reply[1];
        CurrentState.temporarySelected[DvdPlusR] = static_cast<BYTE>(reply[2] >> 7);
        ReadTemporarySetting(DvdPlusR);
    }
    return 1;
}

int ProbeBookTypeDrive(BYTE ha, BYTE target) {
    if (!InquiryCurrent()) {
        return 0;
    }
    const int result = ReadDriveSettings();
    ComposeDriveDisplayText(DriveDisplayBuffer, ha, target, DriveIdentification);
    return result;
}

void RestoreDriveState() {
    if (SelectedDriveIndex >= 0 && SelectedDriveIndex < DriveTableCapacity) {
        CurrentState = DriveStates[SelectedDriveIndex];
    }
}

void StoreDriveState() {
    if (SelectedDriveIndex >= 0 && SelectedDriveIndex < DriveTableCapacity) {
        DriveStates[SelectedDriveIndex] = CurrentState;
    }
}

static int ProbeTarget(BYTE haId, BYTE targetId) {
    SelectTarget(haId, targetId);
    return ProbeBookTypeDrive(haId, targetId);
}

static void KeepDriveState(int row) {
    DriveStates[row] = CurrentState;
    DriveStateInDoubt[row] = 0;
}

const DriveProbe BookTypeDriveProbe = {ProbeTarget, DriveIdentification, DriveDisplayBuffer,
                                       KeepDriveState};
