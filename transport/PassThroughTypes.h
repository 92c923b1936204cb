// The SCSI Pass Through Interface as the simulator uses it: the IOCTL codes and
// the 80-byte block (a SCSI_PASS_THROUGH_DIRECT, filler and a sense buffer) that
// travels with every pass-through, checked against the platform's own header.
#ifndef ZAL_TRANSPORT_PASSTHROUGHTYPES_H
#define ZAL_TRANSPORT_PASSTHROUGHTYPES_H

#include <windows.h>
#include <winioctl.h>
#include <ntddscsi.h>
#include <stddef.h>

enum : DWORD {
    ZAL_IOCTL_SCSI_GET_INQUIRY_DATA = 0x4100C,
    ZAL_IOCTL_SCSI_GET_CAPABILITIES = 0x41010,
    ZAL_IOCTL_SCSI_PASS_THROUGH_DIRECT = 0x4D014
};

static_assert(ZAL_IOCTL_SCSI_GET_INQUIRY_DATA == IOCTL_SCSI_GET_INQUIRY_DATA, "inquiry data IOCTL");
static_assert(ZAL_IOCTL_SCSI_GET_CAPABILITIES == IOCTL_SCSI_GET_CAPABILITIES, "capabilities IOCTL");
static_assert(ZAL_IOCTL_SCSI_PASS_THROUGH_DIRECT == IOCTL_SCSI_PASS_THROUGH_DIRECT,
              "pass-through IOCTL");

constexpr BYTE PassThroughSenseSize = 32;
constexpr BYTE PassThroughCdbSize = 16;

// SCSI_PASS_THROUGH_DIRECT as laid out on 32-bit Windows, followed by four bytes
// of filler and the sense buffer at offset 48 (SenseInfoOffset).
struct PassThroughBlock {
    USHORT Length;
    UCHAR ScsiStatus;
    UCHAR PathId;
    UCHAR TargetId;
    UCHAR Lun;
    UCHAR CdbLength;
    UCHAR SenseInfoLength;
    UCHAR DataIn;
    UCHAR Padding[3];
    ULONG DataTransferLength;
    ULONG TimeOutValue;
    PVOID DataBuffer;
    ULONG SenseInfoOffset;
    UCHAR Cdb[PassThroughCdbSize];
    ULONG Filler;
    UCHAR Sense[PassThroughSenseSize];
};

static_assert(sizeof(PassThroughBlock) == 80, "pass-through block is 80 bytes");
static_assert(offsetof(PassThroughBlock, Filler) == sizeof(SCSI_PASS_THROUGH_DIRECT),
              "the platform's SCSI_PASS_THROUGH_DIRECT is 44 bytes");
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == 44, "SCSI_PASS_THROUGH_DIRECT size");
static_assert(offsetof(PassThroughBlock, Sense) == 48, "SenseInfoOffset 48");

#define ZAL_SAME_OFFSET(field)                                                                     \
    static_assert(offsetof(PassThroughBlock, field) == offsetof(SCSI_PASS_THROUGH_DIRECT, field),  \
                  #field " offset")
ZAL_SAME_OFFSET(Length);
ZAL_SAME_OFFSET(ScsiStatus);
ZAL_SAME_OFFSET(PathId);
ZAL_SAME_OFFSET(TargetId);
ZAL_SAME_OFFSET(Lun);
ZAL_SAME_OFFSET(CdbLength);
ZAL_SAME_OFFSET(SenseInfoLength);
ZAL_SAME_OFFSET(DataIn);
ZAL_SAME_OFFSET(DataTransferLength);
ZAL_SAME_OFFSET(TimeOutValue);
ZAL_SAME_OFFSET(DataBuffer);
ZAL_SAME_OFFSET(SenseInfoOffset);
ZAL_SAME_OFFSET(Cdb);
#undef ZAL_SAME_OFFSET

static_assert(offsetof(PassThroughBlock, Length) == 0, "Length");
static_assert(offsetof(PassThroughBlock, ScsiStatus) == 2, "ScsiStatus");
static_assert(offsetof(PassThroughBlock, PathId) == 3, "PathId");
static_assert(offsetof(PassThroughBlock, TargetId) == 4, "TargetId");
static_assert(offsetof(PassThroughBlock, Lun) == 5, "Lun");
static_assert(offsetof(PassThroughBlock, CdbLength) == 6, "CdbLength");
static_assert(offsetof(PassThroughBlock, SenseInfoLength) == 7, "SenseInfoLength");
static_assert(offsetof(PassThroughBlock, DataIn) == 8, "DataIn");
static_assert(offsetof(PassThroughBlock, DataTransferLength) == 12, "DataTransferLength");
static_assert(offsetof(PassThroughBlock, TimeOutValue) == 16, "TimeOutValue");
static_assert(offsetof(PassThroughBlock, DataBuffer) == 20, "DataBuffer");
static_assert(offsetof(PassThroughBlock, SenseInfoOffset) == 24, "SenseInfoOffset");
static_assert(offsetof(PassThroughBlock, Cdb) == 28, "Cdb");
static_assert(SCSI_IOCTL_DATA_IN == 1 && SCSI_IOCTL_DATA_OUT == 0, "data direction values");

static_assert(sizeof(IO_SCSI_CAPABILITIES) == 24, "IO_SCSI_CAPABILITIES is 24 bytes");

#endif
