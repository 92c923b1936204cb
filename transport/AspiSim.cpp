// ASPISim: discovery of the drive letters, dispatch of the ASPI request kinds,
// the request queue under SimLock, aborts, and the devices' workers that carry
// requests out through the SCSI Pass Through Interface.
#include "AspiSim.h"

#include "PlatformSeam.h"

#include <stdlib.h>
#include <string.h>

ASPISim* TheSim = NULL;

static CRITICAL_SECTION SimLock;
static volatile LONG SimLockReady = 0;
static LONG NextSerial = 0;

constexpr DWORD InquiryDataReplySize = 2048;
// How long an abort waits for the request at the device to end by itself.
constexpr DWORD AbortAtDeviceWaitMs = 2000;
constexpr BYTE FallbackInquiryLength = 96;
constexpr DWORD FallbackTransferLength = 65536;
constexpr DWORD MaxReportedTransfer = 65536;

// A request block seen as its first bytes, whichever kind it is.
static SRB_Header* HeaderOf(void* block) {
    return static_cast<SRB_Header*>(block);
}

// Signals the completion named when the request was queued.
static void Notify(const BYTE posting, void* notify, ScsiRequestBlock* block) {
    if (posting != 0) {
        AspiPostProc post = reinterpret_cast<AspiPostProc>(notify);
        post(block);
    } else {
        SetEvent(static_cast<HANDLE>(notify));
    }
}

// Answers a request that never reached the device, or whose device an abort gave
// up on: aborted by the host, nothing from the target.
static void CompleteAborted(const BYTE posting, void* notify, ScsiRequestBlock* block) {
    block->SRB_Status = SS_ABORTED;
    block->SRB_HaStat = HASTAT_OK;
    block->SRB_TargStat = STATUS_GOOD;
    Notify(posting, notify, block);
}

// Lets the lock's owner release it on every path out of a queue operation.
class SimLockHolder {
public:
    SimLockHolder() { EnterCriticalSection(&SimLock); }
    ~SimLockHolder() { LeaveCriticalSection(&SimLock); }
    SimLockHolder(const SimLockHolder&) = delete;
    SimLockHolder& operator=(const SimLockHolder&) = delete;
};

ASPISim::ASPISim()
    : ready(0), deviceCount(0), deviceHead(NULL), deviceTail(NULL), queueCount(0), queueHead(NULL),
      queueTail(NULL), passThroughTimeout(SimInitialTimeout) {
    // Initialised once per process: a worker of an earlier instance, back from a
    // device an abort gave up on, may still take it.
    if (InterlockedCompareExchange(&SimLockReady, 1, 0) == 0) {
        InitializeCriticalSection(&SimLock);
    }
    TheSim = this;
    memset(deviceTable, 0, sizeof deviceTable);
    Discover();
}

static DWORD WINAPI SimWorkerThread(LPVOID parameter) {
    SimDevice* device = static_cast<SimDevice*>(parameter);
    device->sim->SimWorkerMain(device);
    return 0;
}

HANDLE ASPISim::StartSimWorker(SimDevice* device) {
    HANDLE thread = NULL;
    for (int attempt = 0; attempt < 3 && thread == NULL; ++attempt) {
        thread = CreateThread(NULL, 0, SimWorkerThread, device, 0, &device->workerThreadId);
        if (thread == NULL) {
            Sleep(1);
        }
    }
    if (thread != NULL) {
        SetThreadPriority(thread, THREAD_PRIORITY_ABOVE_NORMAL);
    }
    return thread;
}

void ASPISim::Discover() {
    ResetLists();
    TheSim = this;
    ready = 0;
    for (int letterIndex = 0; letterIndex < SimMaxDevices; ++letterIndex) {
        HANDLE handle = OpenDriveLetter(letterIndex);
        if (handle == INVALID_HANDLE_VALUE) {
            continue;
        }
        SimDevice* device = static_cast<SimDevice*>(calloc(1, sizeof(SimDevice)));
        if (device == NULL) {
            SeamCloseDevice(handle);
            continue;
        }
        device->haId = static_cast<BYTE>(deviceCount & 0xFF);
        device->handle = handle;
        device->letterIndex = static_cast<BYTE>(letterIndex);
        bool keep = false;
        if (ReadInquiryData(device, handle)) {
            keep = ReadCapabilities(device, handle) != 0;
        } else if (InquiryByPassThrough(device, handle)) {
            keep = true;
            device->capabilities.MaximumTransferLength = FallbackTransferLength;
            device->capabilities.AlignmentMask = 1;
        }
        if (keep && AddDevice(device, deviceCount)) {
            ++deviceCount;
        } else {
            // A discarded device's handle is never used again.
            SeamCloseDevice(handle);
            free(device);
        }
    }
    if (deviceCount != 0) {
        ready = 1;
    }
}

void ASPISim::ResetLists() {
    ready = 0;
    SimDevice* device = deviceHead;
    while (device != NULL && deviceCount > 0) {
        SimDevice* next = device->next;
        if (device->handle != INVALID_HANDLE_VALUE) {
            SeamCloseDevice(device->handle);
            device->handle = INVALID_HANDLE_VALUE;
        }
        // A device whose worker runs stays allocated: the worker reads it until
        // the process ends.
        if (device->workerThread == NULL) {
            free(device);
        }
        device = next;
        --deviceCount;
    }
    deviceCount = 0;
    deviceHead = NULL;
    deviceTail = NULL;
    memset(deviceTable, 0, sizeof deviceTable);

    SimLockHolder lock;
    while (queueHead != NULL && queueCount > 0) {
        SimRequest* next = queueHead->next;
        free(queueHead);
        queueHead = next;
        --queueCount;
    }
    queueCount = 0;
    queueHead = NULL;
    queueTail = NULL;
}

HANDLE ASPISim::OpenDriveLetter(int letterIndex) {
    char path[] = "\\\\.\\C:";
    path[4] = static_cast<char>('C' + letterIndex);
    for (int attempt = 0; attempt < 3; ++attempt) {
        HANDLE handle =
            SeamCreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            NULL, OPEN_EXISTING, 0, NULL);
        if (handle != INVALID_HANDLE_VALUE) {
            return handle;
        }
        Sleep(1);
    }
    return INVALID_HANDLE_VALUE;
}

int ASPISim::ReopenDevice(SimDevice* device) {
    HANDLE handle = OpenDriveLetter(device->letterIndex);
    if (handle == INVALID_HANDLE_VALUE) {
        return 0;
    }
    device->handle = handle;
    return 1;
}

int ASPISim::ReadInquiryData(SimDevice* device, HANDLE handle) {
    BYTE* reply = static_cast<BYTE*>(calloc(1, InquiryDataReplySize));
    if (reply == NULL) {
        return 0;
    }
    DWORD returned = 0;
    if (!SeamDeviceIoControl(handle, ZAL_IOCTL_SCSI_GET_INQUIRY_DATA, NULL, 0, reply,
                             InquiryDataReplySize, &returned, NULL)) {
        free(reply);
        return 0;
    }
    // SCSI_ADAPTER_BUS_INFO: the first bus names where its SCSI_INQUIRY_DATA stands.
    const SCSI_ADAPTER_BUS_INFO* bus = reinterpret_cast<const SCSI_ADAPTER_BUS_INFO*>(reply);
    const DWORD offset = bus->BusData[0].InquiryDataOffset;
    const DWORD typeAt = offset + static_cast<DWORD>(offsetof(SCSI_INQUIRY_DATA, InquiryData));
    // An offset outside the reply names no record; the device type then stays 0.
    if (typeAt < InquiryDataReplySize) {
        device->deviceType = reply[typeAt] & 0x0F;
    }
    free(reply);
    return 1;
}

int ASPISim::ReadCapabilities(SimDevice* device, HANDLE handle) {
    DWORD returned = 0;
    return SeamDeviceIoControl(handle, ZAL_IOCTL_SCSI_GET_CAPABILITIES, NULL, 0,
                               &device->capabilities, sizeof device->capabilities, &returned, NULL)
               ? 1
               : 0;
}

int ASPISim::InquiryByPassThrough(SimDevice* device, HANDLE handle) {
    BYTE data[FallbackInquiryLength];
    memset(data, 0, sizeof data);
    PassThroughBlock block;
    memset(&block, 0, sizeof block);
    block.Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
    block.PathId = 0;
    block.TargetId = 1;
    block.Lun = 0;
    block.CdbLength = 6;
    block.SenseInfoLength = PassThroughSenseSize;
    block.DataIn = SCSI_IOCTL_DATA_IN;
    block.DataTransferLength = sizeof data;
    block.TimeOutValue = SimInitialTimeout;
    block.DataBuffer = data;
    block.SenseInfoOffset = offsetof(PassThroughBlock, Sense);
    block.Cdb[0] = 0x12;
    block.Cdb[4] = FallbackInquiryLength;
    DWORD returned = 0;
    if (!SeamDeviceIoControl(handle, ZAL_IOCTL_SCSI_PASS_THROUGH_DIRECT, &block, sizeof block,
                             &block, sizeof block, &returned, NULL)) {
        return 0;
    }
    device->deviceType = data[0] & 0x0F;
    return 1;
}

int ASPISim::AddDevice(SimDevice* device, int index) {
    device->sim = this;
    // A device is listed only with a worker that can wait for its requests: with
    // no wake event the worker would spin, and with no worker no request of the
    // device would ever complete.
    device->wakeEvent = SeamCreateEventA(NULL, FALSE, FALSE, NULL);
    if (device->wakeEvent == NULL) {
        return 0;
    }
    device->workerThread = StartSimWorker(device);
    if (device->workerThread == NULL) {
        CloseHandle(device->wakeEvent);
        device->wakeEvent = NULL;
        return 0;
    }
    device->next = NULL;
    if (deviceTail != NULL) {
        deviceTail->next = device;
    } else {
        deviceHead = device;
    }
    deviceTail = device;
    if (index >= 0 && index < SimMaxDevices) {
        deviceTable[index] = device;
    }
    return 1;
}

SimDevice* ASPISim::DeviceAt(int haId) {
    if (haId < 0 || haId >= SimMaxDevices) {
        return NULL;
    }
    return deviceTable[haId];
}

DWORD ASPISim::Dispatch(void* block) {
    SRB_Header* header = HeaderOf(block);
    if (ready == 0 || header->SRB_HaId > deviceCount) {
        header->SRB_Status = SS_INVALID_HA;
        return SS_INVALID_HA;
    }
    switch (header->SRB_Cmd) {
    case SC_HA_INQUIRY:
        return HaInquiry(static_cast<SRB_HAInquiry*>(block));
    case SC_GET_DEV_TYPE:
        return GetDeviceType(static_cast<SRB_GDEVBlock*>(block));
    case SC_EXEC_SCSI_CMD:
        return ExecScsiCmd(static_cast<ScsiRequestBlock*>(block));
    case SC_ABORT_SRB:
        return AbortSrb(static_cast<SRB_Abort*>(block));
    case SC_RESET_DEV: {
        // Nothing is reset; the block reads as a clean completion.
        ScsiRequestBlock* reset = static_cast<ScsiRequestBlock*>(block);
        reset->SRB_HaStat = HASTAT_OK;
        reset->SRB_TargStat = STATUS_GOOD;
        header->SRB_Status = SS_COMP;
        return 0;
    }
    case SC_RESCAN_SCSI_BUS:
        return 1;
    case SC_GETSET_TIMEOUTS: {
        SRB_GetSetTimeouts* timeouts = static_cast<SRB_GetSetTimeouts*>(block);
        // The block counts half-seconds, the pass-through whole seconds.
        if (timeouts->SRB_Flags == SRB_DIR_OUT) {
            passThroughTimeout = timeouts->SRB_Timeout / 2;
        } else {
            timeouts->SRB_Timeout = passThroughTimeout * 2;
        }
        header->SRB_Status = SS_COMP;
        return 1;
    }
    default:
        // SC_SET_HA_PARMS, SC_GET_DISK_INFO and every unknown kind.
        header->SRB_Status = SS_INVALID_SRB;
        return 1;
    }
}

DWORD ASPISim::HaInquiry(SRB_HAInquiry* block) {
    SimDevice* device = DeviceAt(block->SRB_HaId);
    if (device == NULL) {
        block->SRB_Status = SS_INVALID_HA;
        return SS_INVALID_HA;
    }
    block->HA_Count = static_cast<BYTE>(deviceCount & 0xFF);
    block->HA_SCSI_ID = 7;
    memcpy(block->HA_ManagerId, "ASPISim for SPTI", sizeof block->HA_ManagerId);
    // "ASPISim HA #255" and its NUL fill the 16 bytes at most.
    char identifier[32];
    memset(identifier, 0, sizeof identifier);
    wsprintfA(identifier, "ASPISim HA #%d", block->SRB_HaId);
    memset(block->HA_Identifier, 0, sizeof block->HA_Identifier);
    memcpy(block->HA_Identifier, identifier, sizeof block->HA_Identifier);
    memset(block->HA_Unique, 0, sizeof block->HA_Unique);
    if (device->capabilities.MaximumTransferLength > MaxReportedTransfer) {
        device->capabilities.MaximumTransferLength = MaxReportedTransfer;
    }
    const DWORD alignment = device->capabilities.AlignmentMask;
    const DWORD maximum = device->capabilities.MaximumTransferLength;
    block->HA_Unique[0] = static_cast<BYTE>(alignment & 0xFF);
    block->HA_Unique[1] = static_cast<BYTE>((alignment >> 8) & 0xFF);
    block->HA_Unique[2] = 0;
    block->HA_Unique[3] = 1;
    block->HA_Unique[4] = static_cast<BYTE>(maximum & 0xFF);
    block->HA_Unique[5] = static_cast<BYTE>((maximum >> 8) & 0xFF);
    block->HA_Unique[6] = static_cast<BYTE>((maximum >> 16) & 0xFF);
    block->HA_Unique[7] = static_cast<BYTE>((maximum >> 24) & 0xFF);
    block->SRB_Status = SS_COMP;
    return SS_COMP;
}

DWORD ASPISim::GetDeviceType(SRB_GDEVBlock* block) {
    SimDevice* device = DeviceAt(block->SRB_HaId);
    if (device == NULL) {
        block->SRB_Status = SS_INVALID_HA;
        return SS_INVALID_HA;
    }
    if (block->SRB_Target != 0 || block->SRB_Lun != 0) {
        block->SRB_Status = SS_NO_DEVICE;
        return SS_NO_DEVICE;
    }
    block->SRB_DeviceType = device->deviceType;
    block->SRB_Status = SS_COMP;
    return SS_COMP;
}

DWORD ASPISim::ExecScsiCmd(ScsiRequestBlock* block) {
    // A request refused here is never queued and nothing will signal its event:
    // the call returns the refusal itself, so that the caller does not wait for
    // a completion that cannot come.
    SimDevice* device = DeviceAt(block->SRB_HaId);
    if (device == NULL) {
        block->SRB_Status = SS_INVALID_HA;
        return SS_INVALID_HA;
    }
    if (block->SRB_Target != 0 || block->SRB_Lun != 0) {
        block->SRB_Status = SS_NO_DEVICE;
        return SS_NO_DEVICE;
    }
    const BYTE notify = block->SRB_Flags & (SRB_EVENT_NOTIFY | SRB_POSTING);
    if (notify != SRB_EVENT_NOTIFY && notify != SRB_POSTING) {
        block->SRB_Status = SS_INVALID_SRB;
        return SS_INVALID_SRB;
    }
    // The pass-through block holds 16 CDB bytes; a longer CDB cannot be carried.
    if (block->SRB_CDBLen > PassThroughCdbSize) {
        block->SRB_Status = SS_INVALID_SRB;
        return SS_INVALID_SRB;
    }
    // No worker serves the device (a new one could not be started after an
    // abort gave up on the old one): nothing would carry the request out.
    if (device->workerThread == NULL) {
        block->SRB_Status = SS_ERR;
        return SS_ERR;
    }
    // A buffer the device's capabilities refuse would fail at the driver: it is
    // refused here at once, unsent, and the call returns the status itself so that
    // the caller does not wait for a completion. A driver naming no maximum sets none.
    if (block->SRB_BufLen != 0) {
        const DWORD maximum = device->capabilities.MaximumTransferLength;
        if (maximum != 0 && block->SRB_BufLen > maximum) {
            block->SRB_Status = SS_BUFFER_TO_BIG;
            return SS_BUFFER_TO_BIG;
        }
        const ULONG_PTR address = reinterpret_cast<ULONG_PTR>(block->SRB_BufPointer);
        if ((address & device->capabilities.AlignmentMask) != 0) {
            block->SRB_Status = SS_BUFFER_ALIGN;
            return SS_BUFFER_ALIGN;
        }
    }
    SimRequest* request = static_cast<SimRequest*>(calloc(1, sizeof(SimRequest)));
    if (request == NULL) {
        block->SRB_Status = SS_ERR;
        return SS_ERR;
    }
    request->device = device;
    request->srb = block;
    request->readyMark = 0;
    request->posting = notify == SRB_POSTING ? 1 : 0;
    request->notify = block->SRB_PostProc;
    request->state = SimRequestQueued;
    request->serial = static_cast<DWORD>(InterlockedIncrement(&NextSerial));
    PassThroughBlock* pass = &request->passThrough;
    pass->Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
    pass->PathId = 0;
    pass->TargetId = 1;
    pass->Lun = 0;
    pass->CdbLength = block->SRB_CDBLen;
    pass->SenseInfoLength =
        block->SRB_SenseLen < PassThroughSenseSize ? block->SRB_SenseLen : PassThroughSenseSize;
    const bool dataIn =
        (block->SRB_Flags & SRB_DIR_IN) != 0 && (block->SRB_Flags & SRB_DIR_OUT) == 0;
    pass->DataIn = dataIn ? SCSI_IOCTL_DATA_IN : SCSI_IOCTL_DATA_OUT;
    pass->DataTransferLength = block->SRB_BufLen;
    pass->TimeOutValue = passThroughTimeout;
    pass->DataBuffer = block->SRB_BufPointer;
    pass->SenseInfoOffset = offsetof(PassThroughBlock, Sense);
    memcpy(pass->Cdb, block->CDBByte, block->SRB_CDBLen);

    {
        SimLockHolder lock;
        // A block whose earlier request is still queued or at the device is refused
        // untouched: that request's completion is what the block still waits for,
        // and it must not land on a second command.
        if (FindRequest(block) != NULL) {
            free(request);
            return SS_INVALID_SRB;
        }
        // The block reads pending before the worker or an abort can complete it.
        block->SRB_Status = SS_PENDING;
        block->SRB_HaStat = HASTAT_OK;
        block->SRB_TargStat = STATUS_GOOD;
        Enqueue(request);
        // The request is whole before it is queued; the mark lets the worker take it.
        InterlockedExchange(&request->readyMark, 1);
    }
    SetEvent(device->wakeEvent);
    return 0;
}

DWORD ASPISim::AbortSrb(SRB_Abort* block) {
    SimDevice* device = DeviceAt(block->SRB_HaId);
    if (device == NULL) {
        block->SRB_Status = SS_INVALID_HA;
        return SS_INVALID_HA;
    }
    SimRequest* request = NULL;
    DWORD serial = 0;
    bool queued = false;
    {
        SimLockHolder lock;
        request = FindRequest(block->SRB_ToAbort);
        if (request != NULL) {
            serial = request->serial;
            queued = request->state == SimRequestQueued;
            if (queued) {
                // Still waiting for the worker: withdrawn before it is ever sent.
                Unlink(request);
            }
        }
    }
    if (request == NULL) {
        block->SRB_Status = SS_INVALID_SRB;
        return SS_INVALID_SRB;
    }
    if (queued) {
        CompleteAborted(request->posting, request->notify, request->srb);
        free(request);
        block->SRB_Status = SS_COMP;
        return SS_COMP;
    }
    const DWORD status = AbortAtDevice(request, serial);
    block->SRB_Status = static_cast<BYTE>(status);
    return status;
}

// A request at the device may already have been carried out and cannot be
// withdrawn: its own completion is awaited for about two seconds, and the abort
// fails when it comes. A device that does not answer by then holds its worker:
// the request is answered as aborted at once, a new worker takes the device's
// requests, and the old one only frees the request if its device ever returns.
DWORD ASPISim::AbortAtDevice(SimRequest* request, DWORD serial) {
    // Timed by the clock, not by counting Sleep(1): on Windows a Sleep(1) lasts a
    // whole scheduler tick (about 15.6 ms), which would stretch the wait to half a
    // minute.
    const DWORD started = GetTickCount();
    for (;;) {
        const bool givenUp = GetTickCount() - started >= AbortAtDeviceWaitMs;
        BYTE posting = 0;
        void* notify = NULL;
        ScsiRequestBlock* srb = NULL;
        SimDevice* device = request->device;
        {
            SimLockHolder lock;
            SimRequest* found = queueHead;
            while (found != NULL && !(found == request && found->serial == serial)) {
                found = found->next;
            }
            if (found == NULL) {
                return SS_ABORT_FAIL;
            }
            if (givenUp) {
                request->abandoned = 1;
                Unlink(request);
                // Copied under the lock: the old worker may free the request as soon
                // as the lock is released.
                posting = request->posting;
                notify = request->notify;
                srb = request->srb;
                InterlockedIncrement(&device->workerGeneration);
                if (device->workerThread != NULL) {
                    CloseHandle(device->workerThread);
                }
                device->workerThread = StartSimWorker(device);
            }
        }
        if (srb != NULL) {
            CompleteAborted(posting, notify, srb);
            SetEvent(device->wakeEvent);
            return SS_COMP;
        }
        Sleep(1);
    }
}

void ASPISim::Enqueue(SimRequest* request) {
    SimLockHolder lock;
    request->next = NULL;
    if (queueTail != NULL) {
        queueTail->next = request;
    } else {
        queueHead = request;
    }
    queueTail = request;
    ++queueCount;
}

SimRequest* ASPISim::FindRequest(void* block) {
    SimLockHolder lock;
    SimRequest* request = queueHead;
    for (int walked = 0; request != NULL && walked < queueCount; ++walked) {
        if (request->srb == block) {
            return request;
        }
        request = request->next;
    }
    return NULL;
}

void ASPISim::RemoveRequest(SimRequest* request) {
    SimLockHolder lock;
    SimRequest* current = queueHead;
    for (int walked = 0; current != NULL && walked < queueCount; ++walked) {
        if (current == request) {
            Unlink(current);
            free(current);
            return;
        }
        current = current->next;
    }
}

// Takes a queued request out of the queue without freeing it; the caller holds SimLock.
void ASPISim::Unlink(SimRequest* request) {
    SimRequest* previous = NULL;
    SimRequest* current = queueHead;
    for (int walked = 0; current != NULL && walked < queueCount; ++walked) {
        if (current == request) {
            if (previous == NULL) {
                queueHead = current->next;
            } else {
                previous->next = current->next;
            }
            if (queueTail == current) {
                queueTail = previous;
            }
            current->next = NULL;
            --queueCount;
            return;
        }
        previous = current;
        current = current->next;
    }
}

SimRequest* ASPISim::TakeReadyRequest(SimDevice* device) {
    SimLockHolder lock;
    SimRequest* request = queueHead;
    for (int walked = 0; request != NULL && walked < queueCount; ++walked) {
        if (request->device == device && request->readyMark != 0) {
            request->readyMark = 0;
            request->state = SimRequestAtDevice;
            return request;
        }
        request = request->next;
    }
    return NULL;
}

void ASPISim::SimWorkerMain(SimDevice* device) {
    const LONG generation = device->workerGeneration;
    for (;;) {
        WaitForSingleObject(device->wakeEvent, INFINITE);
        if (generation != device->workerGeneration) {
            // A newer worker serves the device; the wake-up is meant for it.
            SetEvent(device->wakeEvent);
            return;
        }
        // Drain every marked request: several may have been queued for one wake-up.
        while (SimRequest* request = TakeReadyRequest(device)) {
            const int passed = PassThrough(request);
            if (!FinishRequest(request, passed)) {
                return;
            }
        }
    }
}

// Completes the caller's block from the pass-through's outcome and frees the
// request; false, with only the request freed, when an abort has already answered
// the caller, which retires this worker.
bool ASPISim::FinishRequest(SimRequest* request, int passed) {
    {
        SimLockHolder lock;
        if (request->abandoned != 0) {
            free(request);
            return false;
        }
        // Out of the queue before the caller is signalled: the caller may send its
        // block again as soon as it sees the completion.
        Unlink(request);
    }
    ScsiRequestBlock* block = request->srb;
    const BYTE senseLength = request->passThrough.SenseInfoLength;
    memset(block->SenseArea, 0, senseLength);
    if (passed) {
        if (request->passThrough.ScsiStatus != 0) {
            block->SRB_Status = SS_ERR;
            block->SRB_HaStat = HASTAT_OK;
            block->SRB_TargStat = STATUS_CHKCOND;
        } else {
            block->SRB_Status = SS_COMP;
            block->SRB_HaStat = HASTAT_OK;
            block->SRB_TargStat = STATUS_GOOD;
        }
        memcpy(block->SenseArea, request->passThrough.Sense, senseLength);
        if ((block->SRB_Flags & SRB_ENABLE_RESIDUAL_COUNT) != 0) {
            block->SRB_BufLen = 0;
        }
    } else {
        block->SRB_Status = SS_ABORTED;
        block->SRB_HaStat = HASTAT_PASS_THROUGH_FAILED;
        block->SRB_TargStat = STATUS_BUSY;
    }
    Notify(request->posting, request->notify, block);
    free(request);
    return true;
}

// Sends the request's pass-through; 1 when the driver carried it to the device
// and back. A failed control is sent again only when it cannot have reached the
// drive: ERROR_INVALID_HANDLE is raised by the I/O manager while it looks the
// handle up, before any driver sees the request, and a reopened handle mends it.
// Every other failure may come after the drive received the command (an SRB
// error status reported as ERROR_IO_DEVICE, a time-out as ERROR_SEM_TIMEOUT, a
// device removed or a request cancelled mid-way), and a vendor command such as a
// flash step must not run twice; parameter errors would only fail again. The
// handle is replaced after any failure, so the next request opens the letter anew.
int ASPISim::PassThrough(SimRequest* request) {
    SimDevice* device = request->device;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (device->handle == INVALID_HANDLE_VALUE) {
            const int reopened = ReopenDevice(device);
            Sleep(1);
            if (!reopened) {
                continue;
            }
        }
        DWORD returned = 0;
        if (SeamDeviceIoControl(device->handle, ZAL_IOCTL_SCSI_PASS_THROUGH_DIRECT,
                                &request->passThrough, sizeof request->passThrough,
                                &request->passThrough, sizeof request->passThrough, &returned,
                                NULL)) {
            return 1;
        }
        const DWORD error = GetLastError();
        // A handle the system no longer knows is not ours to close: its value may
        // already name another object.
        if (error != ERROR_INVALID_HANDLE) {
            SeamCloseDevice(device->handle);
        }
        device->handle = INVALID_HANDLE_VALUE;
        if (error != ERROR_INVALID_HANDLE) {
            break;
        }
    }
    return 0;
}

DWORD __cdecl SimSupportInfo(void) {
    if (TheSim != NULL && TheSim->ready != 0) {
        return 0x0100u + static_cast<DWORD>(TheSim->deviceCount);
    }
    return static_cast<DWORD>(SS_FAILED_INIT) << 8;
}

DWORD __cdecl SimSendCommand(void* block) {
    if (TheSim == NULL) {
        HeaderOf(block)->SRB_Status = SS_INVALID_HA;
        return SS_INVALID_HA;
    }
    return TheSim->Dispatch(block);
}
