// ASPI for Win32 request blocks and values, laid out byte for byte as the ASPI
// library expects them on 32-bit Windows. Every command of both tools travels in
// one of these blocks, whether to wnaspi32.dll or to the SPTI simulator.
#ifndef ZAL_TRANSPORT_ASPITYPES_H
#define ZAL_TRANSPORT_ASPITYPES_H

#include <windows.h>
#include <stddef.h>

// Request kinds (SRB_Cmd).
enum {
    SC_HA_INQUIRY = 0,
    SC_GET_DEV_TYPE = 1,
    SC_EXEC_SCSI_CMD = 2,
    SC_ABORT_SRB = 3,
    SC_RESET_DEV = 4,
    SC_SET_HA_PARMS = 5,
    SC_GET_DISK_INFO = 6,
    SC_RESCAN_SCSI_BUS = 7,
    SC_GETSET_TIMEOUTS = 8
};

// Request status (SRB_Status, and the high byte of GetASPI32SupportInfo).
enum {
    SS_PENDING = 0x00,
    SS_COMP = 0x01,
    SS_ABORTED = 0x02,
    SS_ERR = 0x04,
    SS_INVALID_HA = 0x81,
    SS_NO_DEVICE = 0x82,
    SS_INVALID_SRB = 0xE0,
    SS_FAILED_INIT = 0xE4
};

// Request flags (SRB_Flags).
enum {
    SRB_POSTING = 0x01,
    SRB_ENABLE_RESIDUAL_COUNT = 0x04,
    SRB_DIR_IN = 0x08,
    SRB_DIR_OUT = 0x10,
    SRB_EVENT_NOTIFY = 0x40
};

// Host adapter status (SRB_HaStat) and target status (SRB_TargStat).
enum { HASTAT_OK = 0x00, HASTAT_PASS_THROUGH_FAILED = 0x09 };
enum { STATUS_GOOD = 0x00, STATUS_CHKCOND = 0x02, STATUS_BUSY = 0x08 };

#pragma pack(push, 1)

// SRB_ExecSCSICmd: one SCSI command with its data buffer and completion event.
struct ScsiRequestBlock {
    BYTE SRB_Cmd;
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
    BYTE SRB_Target;
    BYTE SRB_Lun;
    WORD SRB_Rsvd1;
    DWORD SRB_BufLen;
    BYTE* SRB_BufPointer;
    BYTE SRB_SenseLen;
    BYTE SRB_CDBLen;
    BYTE SRB_HaStat;
    BYTE SRB_TargStat;
    void* SRB_PostProc;
    BYTE SRB_Rsvd2[20];
    BYTE CDBByte[16];
    BYTE SenseArea[20];
};

// The first eight bytes that every request kind shares.
struct SRB_Header {
    BYTE SRB_Cmd;
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
};

// SRB_HAInquiry: what a host adapter is and what it can carry.
struct SRB_HAInquiry {
    BYTE SRB_Cmd;
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
    BYTE HA_Count;
    BYTE HA_SCSI_ID;
    BYTE HA_ManagerId[16];
    BYTE HA_Identifier[16];
    BYTE HA_Unique[16];
    WORD HA_Rsvd1;
};

// SRB_GDEVBlock: the peripheral device type at a target.
struct SRB_GDEVBlock {
    BYTE SRB_Cmd;
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
    BYTE SRB_Target;
    BYTE SRB_Lun;
    BYTE SRB_DeviceType;
    BYTE SRB_Rsvd1;
};

// SRB_Abort: withdraws an execute request that is still queued.
struct SRB_Abort {
    BYTE SRB_Cmd;
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
    void* SRB_ToAbort;
};

// SRB_GetSetTimeouts: the pass-through time-out, counted in half-seconds.
struct SRB_GetSetTimeouts {
    BYTE SRB_Cmd;
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
    BYTE SRB_Target;
    BYTE SRB_Lun;
    WORD SRB_Rsvd1;
    DWORD SRB_Timeout;
};

#pragma pack(pop)

static_assert(sizeof(void*) == 4, "the request blocks carry 32-bit pointers: build for i686");
static_assert(sizeof(ScsiRequestBlock) == 84, "SRB_ExecSCSICmd is 84 bytes");
static_assert(offsetof(ScsiRequestBlock, SRB_Cmd) == 0, "SRB_Cmd");
static_assert(offsetof(ScsiRequestBlock, SRB_Status) == 1, "SRB_Status");
static_assert(offsetof(ScsiRequestBlock, SRB_HaId) == 2, "SRB_HaId");
static_assert(offsetof(ScsiRequestBlock, SRB_Flags) == 3, "SRB_Flags");
static_assert(offsetof(ScsiRequestBlock, SRB_Hdr_Rsvd) == 4, "SRB_Hdr_Rsvd");
static_assert(offsetof(ScsiRequestBlock, SRB_Target) == 8, "SRB_Target");
static_assert(offsetof(ScsiRequestBlock, SRB_Lun) == 9, "SRB_Lun");
static_assert(offsetof(ScsiRequestBlock, SRB_Rsvd1) == 10, "SRB_Rsvd1");
static_assert(offsetof(ScsiRequestBlock, SRB_BufLen) == 12, "SRB_BufLen");
static_assert(offsetof(ScsiRequestBlock, SRB_BufPointer) == 16, "SRB_BufPointer");
static_assert(offsetof(ScsiRequestBlock, SRB_SenseLen) == 20, "SRB_SenseLen");
static_assert(offsetof(ScsiRequestBlock, SRB_CDBLen) == 21, "SRB_CDBLen");
static_assert(offsetof(ScsiRequestBlock, SRB_HaStat) == 22, "SRB_HaStat");
static_assert(offsetof(ScsiRequestBlock, SRB_TargStat) == 23, "SRB_TargStat");
static_assert(offsetof(ScsiRequestBlock, SRB_PostProc) == 24, "SRB_PostProc");
static_assert(offsetof(ScsiRequestBlock, SRB_Rsvd2) == 28, "SRB_Rsvd2");
static_assert(offsetof(ScsiRequestBlock, CDBByte) == 48, "CDBByte");
static_assert(offsetof(ScsiRequestBlock, SenseArea) == 64, "SenseArea");

static_assert(sizeof(SRB_Header) == 8, "request header");
static_assert(offsetof(SRB_HAInquiry, HA_Count) == 8, "HA_Count");
static_assert(offsetof(SRB_HAInquiry, HA_SCSI_ID) == 9, "HA_SCSI_ID");
static_assert(offsetof(SRB_HAInquiry, HA_ManagerId) == 10, "HA_ManagerId");
static_assert(offsetof(SRB_HAInquiry, HA_Identifier) == 26, "HA_Identifier");
static_assert(offsetof(SRB_HAInquiry, HA_Unique) == 42, "HA_Unique");
static_assert(offsetof(SRB_GDEVBlock, SRB_Target) == 8, "GDEV SRB_Target");
static_assert(offsetof(SRB_GDEVBlock, SRB_Lun) == 9, "GDEV SRB_Lun");
static_assert(offsetof(SRB_GDEVBlock, SRB_DeviceType) == 10, "SRB_DeviceType");
static_assert(offsetof(SRB_Abort, SRB_ToAbort) == 8, "SRB_ToAbort");
static_assert(offsetof(SRB_GetSetTimeouts, SRB_Timeout) == 12, "SRB_Timeout");

// The two ASPI entry points, as wnaspi32.dll exports them.
typedef DWORD(__cdecl* GetASPI32SupportInfoProc)(void);
typedef DWORD(__cdecl* SendASPI32CommandProc)(void* block);

// A post routine, called with the completed block when SRB_POSTING is set.
typedef void(__cdecl* AspiPostProc)(void* block);

#endif
