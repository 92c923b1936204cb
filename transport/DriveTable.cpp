// The shared drive table: enumeration with a tool's probe, display text and selection.
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
    // A NUL among the identification bytes (or left by a short reply) would end
    // the text early: it shows as a blank, so the text is always 35 characters.
    for (int i = 0; i < 24; ++i) {
        const BYTE c = identification[8 + i];
        display[11 + i] = c == 0 ? ' ' : static_cast<char>(c);
    }
    display[DisplayTextLength] = '\0';
}

enum { RevisionLength = 4 };

static void CopyField(char* field, const BYTE* source, size_t length) {
    memcpy(field, source, length);
    field[length] = '\0';
}

static void FillRow(int row, BYTE haId, BYTE targetId, const BYTE* identification) {
    DriveEntry* entry = &DriveTable[row];
    entry->index = static_cast<BYTE>(row);
    entry->haId = haId;
    entry->targetId = targetId;
    CopyField(entry->vendor, identification + 8, 8);
    CopyField(entry->product, identification + 16, 16);
    CopyField(entry->revision, identification + 32, RevisionLength);
}

void EnumerateDrives(const DriveProbe* probe) {
    int row = 0;
    for (int haId = 0; haId < HostAdapterCount && row < DriveTableCapacity; ++haId) {
        for (int targetId = 0; targetId < 8 && row < DriveTableCapacity; ++targetId) {
            const BYTE ha = static_cast<BYTE>(haId);
            const BYTE target = static_cast<BYTE>(targetId);
            if (probe->probe(ha, target) != 1) {
                continue;
            }
            SelectTarget(ha, target);
            probe->display[DisplayTextLength] = '\0';
            FillRow(row, ha, target, probe->identification);
            if (probe->keepRow != NULL) {
                probe->keepRow(row);
            }
            char text[DisplayBufferSize];
            memcpy(text, probe->display, sizeof text);
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
}

int SetDriveRevision(int index, const BYTE* revision) {
    if (index < 0 || index >= DriveCount) {
        return 0;
    }
    CopyField(DriveTable[index].revision, revision, RevisionLength);
    return 1;
}
