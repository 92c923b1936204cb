// The shared drive table: enumeration, display text and selection. The tools'
// differences live behind the hooks declared in DriveTable.h.
#include "DriveTable.h"

#include "ScsiTransport.h"
#include "StatusSink.h"

#include <string.h>

DriveEntry DriveTable[DriveTableCapacity];
int DriveCount = 0;
int SelectedDriveIndex = 0;

char DriveTagCharacter(BYTE value) {
    return static_cast<char>(value < 10 ? '0' + value : 'A' + (value - 10));
}

void ComposeDriveDisplayText(char* display, BYTE haId, BYTE targetId, const BYTE* identification) {
    memcpy(display, "[HA:0/ID:0]", 11);
    display[4] = DriveTagCharacter(haId);
    display[9] = DriveTagCharacter(targetId);
    memcpy(display + 11, identification + 8, 24);
    display[DisplayTextLength] = '\0';
}

static void CopyField(char* field, const BYTE* source, size_t length) {
    memcpy(field, source, length);
    field[length] = '\0';
}

static void FillRow(int row, BYTE haId, BYTE targetId) {
    DriveEntry* entry = &DriveTable[row];
    entry->index = static_cast<BYTE>(row);
    entry->haId = haId;
    entry->targetId = targetId;
    CopyField(entry->vendor, DriveIdentification + 8, 8);
    CopyField(entry->product, DriveIdentification + 16, 16);
    CopyField(entry->revision, DriveIdentification + 32, 4);
}

void EnumerateDrives() {
    int row = 0;
    for (int haId = 0; haId < HostAdapterCount && row < DriveTableCapacity; ++haId) {
        for (int targetId = 0; targetId < 8 && row < DriveTableCapacity; ++targetId) {
            const BYTE ha = static_cast<BYTE>(haId);
            const BYTE target = static_cast<BYTE>(targetId);
            if (ProbeTableCandidate(ha, target) != 1) {
                continue;
            }
            DriveDisplayBuffer[DisplayTextLength] = '\0';
            FillRow(row, ha, target);
            KeepProbedDrive(row);
            char text[DisplayBufferSize];
            memcpy(text, DriveDisplayBuffer, sizeof text);
            AddDriveListItem(text);
            ++row;
        }
    }
    DriveCount = row;
}

void SelectDrive(int index) {
    if (index < 0 || index >= DriveCount) {
        return;
    }
    SelectedDriveIndex = index;
    SelectTarget(DriveTable[index].haId, DriveTable[index].targetId);
    DriveRowSelected(index);
}
