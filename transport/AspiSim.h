// ASPISim: the ASPI interface on the NT family. Every drive letter C: to Z: whose
// device answers a SCSI query becomes one host adapter with a single device at
// target 0; execute requests are queued and carried out by the worker thread of
// their device through IOCTL_SCSI_PASS_THROUGH_DIRECT, and completed through the
// request block's event (or post routine) as ASPI does. Each device has a worker
// of its own, as each drive letter has its own device on the system: a device
// that is slow to answer holds up only the requests to it.
#ifndef ZAL_TRANSPORT_ASPISIM_H
#define ZAL_TRANSPORT_ASPISIM_H

#include "AspiTypes.h"
#include "PassThroughTypes.h"

constexpr int SimMaxDevices = 24;

// ASPI for Win32 statuses that only the simulator reports: the abort of a request
// that the device has already carried out, and a data buffer that the device's
// capabilities (AlignmentMask, MaximumTransferLength) refuse.
enum { SS_ABORT_FAIL = 0x03, SS_BUFFER_ALIGN = 0xE1, SS_BUFFER_TO_BIG = 0xE6 };

// Where a request stands: queued until the worker takes it, then at the device
// until its pass-through has returned.
enum SimRequestState { SimRequestQueued, SimRequestAtDevice };
constexpr DWORD SimInitialTimeout = 108000;

class ASPISim;

struct SimDevice {
    SimDevice* next;
    BYTE haId;
    BYTE letterIndex;
    HANDLE handle;
    BYTE deviceType;
    IO_SCSI_CAPABILITIES capabilities;
    // The device's worker, the auto-reset event that wakes it, and the count of
    // workers started for it: a worker whose request an abort gave up on finds
    // itself outdated when the device returns, and ends.
    ASPISim* sim;
    HANDLE wakeEvent;
    HANDLE workerThread;
    DWORD workerThreadId;
    volatile LONG workerGeneration;
};

struct SimRequest {
    SimRequest* next;
    SimDevice* device;
    volatile LONG readyMark;
    PassThroughBlock passThrough;
    ScsiRequestBlock* srb;
    // The completion as named when the request was queued: posting or not, and
    // the event or routine. Later writes to the block cannot redirect it.
    BYTE posting;
    void* notify;
    DWORD serial;
    SimRequestState state;
    // Set by an abort that gave up waiting for the device: the caller has been
    // answered, and the worker that returns from the device only frees it.
    LONG abandoned;
};

class ASPISim {
public:
    DWORD ready;
    int deviceCount;
    SimDevice* deviceHead;
    SimDevice* deviceTail;
    SimDevice* deviceTable[SimMaxDevices];
    int queueCount;
    SimRequest* queueHead;
    SimRequest* queueTail;
    DWORD passThroughTimeout;

    ASPISim();

    void Discover();
    void ResetLists();

    HANDLE OpenDriveLetter(int letterIndex);
    int ReopenDevice(SimDevice* device);
    int ReadInquiryData(SimDevice* device, HANDLE handle);
    int ReadCapabilities(SimDevice* device, HANDLE handle);
    int InquiryByPassThrough(SimDevice* device, HANDLE handle);
    int AddDevice(SimDevice* device, int index);
    SimDevice* DeviceAt(int haId);

    DWORD Dispatch(void* block);
    DWORD HaInquiry(SRB_HAInquiry* block);
    DWORD GetDeviceType(SRB_GDEVBlock* block);
    DWORD ExecScsiCmd(ScsiRequestBlock* block);
    DWORD AbortSrb(SRB_Abort* block);

    void Enqueue(SimRequest* request);
    SimRequest* FindRequest(void* block);
    void RemoveRequest(SimRequest* request);
    SimRequest* TakeReadyRequest(SimDevice* device);

    HANDLE StartSimWorker(SimDevice* device);
    void SimWorkerMain(SimDevice* device);
    int PassThrough(SimRequest* request);

private:
    bool FinishRequest(SimRequest* request, int passed);
    void Unlink(SimRequest* request);
    DWORD AbortAtDevice(SimRequest* request, DWORD serial);
};

// The simulator of this process, null before InitScsiTransport creates it.
extern ASPISim* TheSim;

// The replacements for the two ASPI entry points.
DWORD __cdecl SimSupportInfo(void);
DWORD __cdecl SimSendCommand(void* block);

#endif
