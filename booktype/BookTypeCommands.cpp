// The six book-type commands, byte for byte. Each builder fills its command and
// hands it to IssueCommand, which issues it through a request block of the pool.
#include "BookTypeCommands.h"

#include "DriveTable.h"
#include "ScsiCommand.h"

#include <string.h>

enum {
    InquiryTimeoutMs = 5000,
    TestUnitReadyTimeoutMs = 30000,
    VendorTimeoutMs = 5000,
    VendorOpcode = 0xC9,
    VendorCdbLength = 12
};

// Sub-commands of the vendor command (CDB byte 1).
enum { SubSetDefault = 0x01, SubRead = 0x02, SubSetTemporary = 0x03, SubSelect = 0x04 };

// A 0xC9 command for medium m with the command signature in bytes 4 to 8. The
// vendor command carries no data to the drive but goes with the data-in flag.
static ScsiCommand VendorCommand(BYTE subCommand, MediumKind m) {
    ScsiCommand c = CommandToCurrentTarget(VendorCdbLength, VendorTimeoutMs);
    c.cdb[0] = VendorOpcode;
    c.cdb[1] = subCommand;
    c.cdb[2] = static_cast<BYTE>(m);
    // The signature is written one letter at a time; the volatile stores keep the
    // compiler from merging the letters into one constant in the program.
    volatile BYTE* signature = c.cdb + 4;
    signature[0] = 'Z';
    signature[1] = 'A';
    signature[2] = 'L';
    signature[3] = 'B';
    signature[4] = 'K';
    c.direction = CommandDataIn;
    return c;
}

int InquiryCurrent() {
    ScsiCommand c = CommandToCurrentTarget(6, InquiryTimeoutMs);
    c.cdb[0] = 0x12;
    c.cdb[4] = IdentificationLength;
    c.direction = CommandDataIn;
    // Cleared first, so that a short reply never carries another drive's identity.
    memset(DriveIdentification, 0, sizeof DriveIdentification);
    c.data = DriveIdentification;
    c.dataLength = IdentificationLength;
    return IssueCommand(&c);
}

int TestUnitReady(BYTE* sense) {
    ScsiCommand c = CommandToCurrentTarget(6, TestUnitReadyTimeoutMs);
    // Cleared first: a command that is refused, or runs out of time, reads no
    // sense, and no earlier answer is taken for this one.
    memset(sense, 0, SenseLength);
    // While an earlier request to this drive is still out at it, the poll sends
    // nothing: a drive that stopped answering must not take one block of the pool
    // after another, 30 seconds each. Other drives are polled as before.
    if (LateRequestOutstanding(c.haId, c.targetId)) {
        return 0;
    }
    c.sense = sense;
    return IssueCommand(&c);
}

int DriveHasNoDisc() {
    BYTE sense[SenseLength];
    TestUnitReady(sense);
    return (sense[2] & 0x0F) == 0x02 && sense[12] == 0x3A;
}

DWORD SetDefaultBookType(MediumKind m, BYTE value) {
    ScsiCommand c = VendorCommand(SubSetDefault, m);
    c.cdb[3] = value;
    return IssueCommand(&c) ? 0 : DefaultSetFailure(m);
}

int ReadBookTypeSetting(MediumKind m, BYTE parameter, BYTE which, BYTE* reply) {
    memset(reply, 0, BookTypeReplyLength);
    ScsiCommand c = VendorCommand(SubRead, m);
    c.cdb[3] = parameter;
    c.cdb[9] = which;
    c.data = reply;
    c.dataLength = BookTypeReplyLength;
    return IssueCommand(&c);
}

DWORD SetTemporaryBookType(MediumKind m, BYTE value) {
    ScsiCommand c = VendorCommand(SubSetTemporary, m);
    c.cdb[3] = value;
    return IssueCommand(&c) ? 0 : TemporarySetFailure(m);
}

DWORD SelectBookTypeSetting(MediumKind m, BYTE temporary) {
    ScsiCommand c = VendorCommand(SubSelect, m);
    c.cdb[9] = temporary;
    return IssueCommand(&c) ? 0 : SelectFailure(m);
}
