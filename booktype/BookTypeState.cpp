// The book-type probe and the drive states, and the tool's probe for the drive table.
#include "BookTypeState.h"

#include "ScsiTransport.h"

#include <string.h>

BookTypeState CurrentState;
BookTypeState DriveStates[DriveTableCapacity];
DWORD DriveSettingsInDoubt[DriveTableCapacity];
BYTE DriveIdentification[IdentificationLength];
char DriveDisplayBuffer[DisplayBufferSize];

int RemainingChangeCount(const BookTypeState* state) {
    return state->changeCountHigh * 256 + state->changeCountLow;
}

int DriveOffersChange(const BookTypeState* state) {
    return state->commandVersion >= 2 || RemainingChangeCount(state) != 0;
}

// The settings that the probe of the last drive could not read, kept with its row.
static DWORD probeUnread = 0;

// The DVD+R DL default read: whether the drive is one of ours, and the fields
// that only this read gives.
static void DecodeFirstReply(const BYTE* reply, BookTypeState* state) {
    memset(state, 0, sizeof *state);
    state->defaultValue[DvdPlusRDl] = reply[1];
    state->temporarySelected[DvdPlusRDl] = static_cast<BYTE>(reply[2] >> 7);
    state->changeCountHigh = static_cast<BYTE>(reply[2] & 0x7F);
    state->changeCountLow = reply[3];
    state->commandVersion = reply[4] * 256 + reply[5];
}

static void ReadTemporarySetting(MediumKind m, BookTypeState* state) {
    BYTE reply[BookTypeReplyLength];
    if (ReadBookTypeSetting(m, ReadParameter, TemporarySetting, reply)) {
        state->temporaryValid[m] = 1;
        state->temporaryValue[m] = reply[1];
    }
}

int ReadDriveSettings(BookTypeState* state, DWORD* unread) {
    BYTE reply[BookTypeReplyLength];
    *unread = 0;
    if (!ReadBookTypeSetting(DvdPlusRDl, ReadParameter, DefaultSetting, reply)) {
        return 0;
    }
    DecodeFirstReply(reply, state);
    if (state->commandVersion >= 2) {
        ReadTemporarySetting(DvdPlusRDl, state);
    }
    if (state->commandVersion >= 3) {
        // A failed read still gives values, from its cleared reply; they are
        // shown, and kept in doubt for a change.
        if (!ReadBookTypeSetting(DvdPlusR, ReadParameter, DefaultSetting, reply)) {
            *unread = DefaultSetFailure(DvdPlusR) | SelectFailure(DvdPlusR);
        }
        state->defaultValue[DvdPlusR] = reply[1];
        state->temporarySelected[DvdPlusR] = static_cast<BYTE>(reply[2] >> 7);
        ReadTemporarySetting(DvdPlusR, state);
    }
    return 1;
}

int ProbeBookTypeDrive(BYTE ha, BYTE target) {
    if (!InquiryCurrent()) {
        return 0;
    }
    const int result = ReadDriveSettings(&CurrentState, &probeUnread);
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
    DriveSettingsInDoubt[row] = probeUnread;
}

const DriveProbe BookTypeDriveProbe = {ProbeTarget, DriveIdentification, DriveDisplayBuffer,
                                       KeepDriveState};
