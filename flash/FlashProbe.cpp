// The flash tool's probe: one INQUIRY, then the identification patterns and the
// version comparison against the loaded image's update version; and the current
// version of the selected drive.
#include "FlashProbe.h"

#include "FirmwareImage.h"
#include "FlashCommands.h"
#include "Identification.h"

char FlashDisplayBuffer[DisplayBufferSize];

int ProbeDrive(BYTE hostAdapter, BYTE target) {
    if (!Inquiry(hostAdapter, target)) {
        return 0;
    }
    const char* identification = reinterpret_cast<const char*>(FlashIdentification);
    const char* product = identification + 16;
    const char* revision = identification + 32;
    int accepted = 0;
    if (MatchVendorPatterns(identification + 8) && MatchProductPatterns(product)) {
        accepted = CompareVersions(revision, FirmwareImage.updateVersion) != 0 ||
                   MatchRevisionPattern(revision, NULL);
    } else {
        // A drive running its loader reports the alternate product.
        accepted = MatchRevisionPattern(revision, product);
    }
    ComposeDriveDisplayText(FlashDisplayBuffer, hostAdapter, target, FlashIdentification);
    return accepted;
}

const DriveProbe FlashDriveProbe = {ProbeDrive, FlashIdentification, FlashDisplayBuffer, NULL};

const char* CurrentVersion() {
    if (SelectedDriveIndex < 0 || SelectedDriveIndex >= DriveTableCapacity) {
        return "";
    }
    return DriveTable[SelectedDriveIndex].revision;
}

const char* ShownCurrentVersion() {
    const char* version = CurrentVersion();
    return version[0] == '0' ? "N/A " : version;
}
