// wnaspi32.dll of the drive emulator: the ASPI for Win32 entry points over the
// emulator's host adapter:target devices. An execute request is carried out on
// the caller's thread as SendASPI32Command accepts it, and is accepted with
// SS_PENDING; the library's one worker thread completes each once its delay has
// run, a device's requests in the order they were accepted: it writes the
// caller's block (data, status, sense) and signals its event or calls its post
// routine, the signal a scenario's early-status milliseconds after the status
// when it sets one. A hung request is never completed; it stays pending,
// abortable, holds up no other, and ends aborted when a scenario replaces the
// drives. The worker holds a reference to this library while it has work, so the
// caller may free the library while a request is pending; after a second without
// requests it ends with FreeLibraryAndExitThread. A request that the scenario
// completes on the caller's thread (an instant drive, "completion = caller", or
// a fault's "caller") is completed before SendASPI32Command returns. With
// "no-device = later" a request to an absent target is accepted too, and
// completed with SS_NO_DEVICE on the worker, its status written before
// SendASPI32Command returns. The scenario is read from
// ZALEMU_SCENARIO at first use.
#include "AspiTypes.h"
#include "Emulator.h"

#include <cstring>
#include <deque>
#include <list>
#include <string>
#include <vector>

// The library's exports (wnaspi32.def), with the control functions of
// EmulatorControl.h.
extern "C" DWORD __cdecl GetASPI32SupportInfo(void);
extern "C" DWORD __cdecl SendASPI32Command(void* block);
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

namespace {

HMODULE ThisLibrary = NULL;
constexpr BYTE HostAdapterScsiId = 7;
constexpr BYTE TargetsPerAdapter = 8;
constexpr BYTE SelectionTimeout = 0x11;
// How long the worker waits for another request before it ends: long enough
// that a loop of commands, or a poll every few hundred ms, keeps one worker.
constexpr DWORD WorkerLingerMs = 1000;

// One execute request between its acceptance and its signal (or abort).
struct PendingRequest {
    ScsiRequestBlock* srb = nullptr;
    // The completion the block named when it was accepted: later writes to the
    // block do not redirect it.
    BYTE flags = 0;
    void* postProc = nullptr;
    std::string address;
    std::vector<uint8_t> cdb;
    zalemu::Direction direction = zalemu::Direction::None;
    std::vector<uint8_t> data;      // the host's data, copied in and out around the command
    zalemu::CarriedCommand carried; // once carried out; to an absent target, its result only
    DWORD carriedAt = 0;            // GetTickCount when it was carried out (or accepted)
    DWORD statusAt = 0;             // GetTickCount when its final status was written
    bool statusWritten = false;     // the final status is in the block, the signal still due
    bool done = false;              // aborted: the block is the caller's again
    bool hung = false;              // carried out and never to complete
    HANDLE statusNoted = NULL;      // set once the status is written (the caller waits on it)
};

// The library's requests and its worker, under one lock.
struct Requests {
    CRITICAL_SECTION lock;
    // Accepted, final status not written yet: what an abort looks in.
    std::list<PendingRequest*> pending;
    // Carried out (or to an absent target) and not signalled yet, in the order
    // they were accepted: what the worker completes.
    std::deque<PendingRequest*> inFlight;
    HANDLE wake = NULL; // set when a request is handed to the worker
    bool workerRuns = false;
};

// Made when the library is loaded, freed when it is unloaded.
Requests* TheRequests = nullptr;

class RequestsGuard {
public:
    RequestsGuard() { EnterCriticalSection(&TheRequests->lock); }
    ~RequestsGuard() { LeaveCriticalSection(&TheRequests->lock); }
    RequestsGuard(const RequestsGuard&) = delete;
    RequestsGuard& operator=(const RequestsGuard&) = delete;
};

// Tells the caller that its block is complete, as its flags ask.
void Notify(BYTE flags, void* postProc, ScsiRequestBlock* srb) {
    if ((flags & SRB_POSTING) != 0 && postProc != nullptr) {
        reinterpret_cast<AspiPostProc>(postProc)(srb);
    } else if ((flags & SRB_EVENT_NOTIFY) != 0 && postProc != nullptr) {
        SetEvent(static_cast<HANDLE>(postProc));
    }
}

// Writes a request's final data, status and sense into the caller's block, with
// the lock held; the request leaves the pending list, so an abort no longer finds
// it. A request aborted meanwhile writes nothing: the abort answered it. The
// block's status.
BYTE WriteStatus(PendingRequest* request) {
    TheRequests->pending.remove(request);
    if (request->done) {
        return SS_ABORTED;
    }
    const zalemu::ExecResult& result = request->carried.result;
    ScsiRequestBlock* srb = request->srb;
    BYTE status = SS_COMP;
    srb->SRB_HaStat = HASTAT_OK;
    srb->SRB_TargStat = STATUS_GOOD;
    if (result.status == zalemu::ExecStatus::Completed) {
        const uint32_t count =
            result.transferred < srb->SRB_BufLen ? result.transferred : srb->SRB_BufLen;
        if (request->direction == zalemu::Direction::In && count != 0) {
            std::memcpy(srb->SRB_BufPointer, request->data.data(), count);
        }
        if ((request->flags & SRB_ENABLE_RESIDUAL_COUNT) != 0) {
            srb->SRB_BufLen -= count;
        }
        if (!result.good) {
            status = SS_ERR;
            srb->SRB_TargStat = STATUS_CHKCOND;
            const size_t senseBytes = srb->SRB_SenseLen < zalemu::SenseDataSize
                                          ? srb->SRB_SenseLen
                                          : zalemu::SenseDataSize;
            std::memcpy(srb->SenseArea, result.sense, senseBytes);
        }
    } else if (result.status == zalemu::ExecStatus::Gone) {
        status = SS_ERR;
        srb->SRB_HaStat = SelectionTimeout;
    } else {
        status = SS_NO_DEVICE;
    }
    srb->SRB_Status = status;
    return status;
}

// Signals a request whose status is written (unless an abort has answered it
// already) and lets it go; without the lock.
void Signal(PendingRequest* request) {
    if (!request->done) {
        Notify(request->flags, request->postProc, request->srb);
    }
    delete request;
}

// Carries a request out on the caller's thread (the drive model runs it, it is
// logged). A hung one is only marked: it stays pending until aborted or the
// scenario is replaced. False for a hung request.
bool CarryOut(PendingRequest* request) {
    const zalemu::CarriedCommand carried = zalemu::Emulator::Instance().CarryOut(
        request->address, request->cdb.data(), request->cdb.size(), request->direction,
        request->data.empty() ? nullptr : request->data.data(),
        static_cast<uint32_t>(request->data.size()), nullptr);
    RequestsGuard guard;
    request->carried = carried;
    request->carriedAt = GetTickCount();
    if (!carried.hangs) {
        return true;
    }
    if (request->done) {
        // Aborted while it was carried out.
        TheRequests->pending.remove(request);
        delete request;
    } else {
        request->hung = true;
    }
    return false;
}

// A request completed on the caller's thread: its delay slept there, its status
// written and its caller told before SendASPI32Command returns, which returns
// the block's final status.
DWORD CompleteOnCallersThread(PendingRequest* request) {
    if (request->carried.delayMs != 0) {
        Sleep(request->carried.delayMs);
    }
    zalemu::Emulator::Instance().EndCommand(request->carried);
    BYTE status = SS_COMP;
    {
        RequestsGuard guard;
        status = WriteStatus(request);
    }
    Signal(request);
    return status;
}

// The request whose next step falls due first: its status once its delay has
// run, or its signal once its status lead has run. Only the first request of
// each device is looked at (a request waits for those of its device accepted
// before it, as the device takes one command at a time; other devices' do not
// hold it up). None, with *wait set to when the next step falls due, while
// nothing is due. With the lock held.
PendingRequest* NextDue(const std::deque<PendingRequest*>& inFlight, DWORD now, DWORD* wait) {
    std::vector<const std::string*> devices;
    for (PendingRequest* request : inFlight) {
        bool behind = false;
        for (const std::string* device : devices) {
            behind = behind || *device == request->address;
        }
        if (behind) {
            continue;
        }
        devices.push_back(&request->address);
        const DWORD since = now - (request->statusWritten ? request->statusAt : request->carriedAt);
        const DWORD after =
            request->statusWritten ? request->carried.statusLeadMs : request->carried.delayMs;
        if (since >= after) {
            return request;
        }
        const DWORD left = after - since;
        *wait = left < *wait ? left : *wait;
    }
    return nullptr;
}

// One due step of a request on the worker: its final status written and, without
// a status lead, its signal; or, once the lead has run, its signal.
void Advance(PendingRequest* request) {
    bool signal = true;
    {
        RequestsGuard guard;
        if (!request->statusWritten) {
            WriteStatus(request);
            if (request->statusNoted != NULL) {
                SetEvent(request->statusNoted);
            }
            if (request->carried.statusLeadMs != 0 && !request->done) {
                // The caller may read the final status from now on; the signal
                // follows once the lead has run.
                request->statusWritten = true;
                request->statusAt = GetTickCount();
                signal = false;
            }
        }
        if (signal) {
            std::deque<PendingRequest*>& inFlight = TheRequests->inFlight;
            for (auto it = inFlight.begin(); it != inFlight.end(); ++it) {
                if (*it == request) {
                    inFlight.erase(it);
                    break;
                }
            }
        }
    }
    if (signal) {
        Signal(request);
    }
}

// The worker: takes each request's steps as they fall due (NextDue), and
// otherwise waits for the next one or a new request. It ends after WorkerLingerMs
// with nothing in flight.
DWORD WINAPI Worker(LPVOID) {
    DWORD idleSince = GetTickCount();
    for (;;) {
        PendingRequest* due = nullptr;
        DWORD wait = INFINITE;
        {
            RequestsGuard guard;
            Requests& requests = *TheRequests;
            const DWORD now = GetTickCount();
            if (!requests.inFlight.empty()) {
                due = NextDue(requests.inFlight, now, &wait);
            } else if (now - idleSince >= WorkerLingerMs) {
                requests.workerRuns = false;
                break;
            } else {
                wait = WorkerLingerMs - (now - idleSince);
            }
        }
        if (due == nullptr) {
            WaitForSingleObject(TheRequests->wake, wait);
            continue;
        }
        if (!due->statusWritten) {
            zalemu::Emulator::Instance().EndCommand(due->carried);
        }
        Advance(due);
        idleSince = GetTickCount();
    }
    FreeLibraryAndExitThread(ThisLibrary, 0);
    return 0;
}

// Hands a carried-out request to the worker, starting one (with its own
// reference to this library) when none runs. False when no worker can start.
bool QueueForWorker(PendingRequest* request) {
    RequestsGuard guard;
    Requests& requests = *TheRequests;
    if (!requests.workerRuns) {
        char path[MAX_PATH];
        HMODULE reference =
            GetModuleFileNameA(ThisLibrary, path, sizeof path) != 0 ? LoadLibraryA(path) : NULL;
        DWORD threadId = 0;
        HANDLE thread =
            reference != NULL ? CreateThread(NULL, 0, Worker, NULL, 0, &threadId) : NULL;
        if (thread == NULL) {
            if (reference != NULL) {
                FreeLibrary(reference);
            }
            return false;
        }
        CloseHandle(thread);
        requests.workerRuns = true;
    }
    requests.inFlight.push_back(request);
    SetEvent(requests.wake);
    return true;
}

// The scenario was replaced, its drives reset: every hung request ends aborted,
// and its caller is told, before the load returns.
void EndHungRequests() {
    if (TheRequests == nullptr) {
        return;
    }
    std::vector<PendingRequest*> ended;
    {
        RequestsGuard guard;
        std::list<PendingRequest*>& pending = TheRequests->pending;
        for (auto it = pending.begin(); it != pending.end();) {
            PendingRequest* request = *it;
            if (!request->hung || request->done) {
                ++it;
                continue;
            }
            ScsiRequestBlock* srb = request->srb;
            srb->SRB_HaStat = HASTAT_OK;
            srb->SRB_TargStat = STATUS_GOOD;
            srb->SRB_Status = SS_ABORTED;
            it = pending.erase(it);
            ended.push_back(request);
        }
    }
    for (PendingRequest* request : ended) {
        Signal(request);
    }
}

std::string AddressOf(BYTE ha, BYTE target) {
    return std::to_string(ha) + ":" + std::to_string(target);
}

bool AdapterExists(BYTE ha) {
    const zalemu::AspiView view = zalemu::Emulator::Instance().Aspi();
    return view.loaded && ha < view.hostAdapters;
}

DWORD Finish(void* block, BYTE status) {
    static_cast<SRB_Header*>(block)->SRB_Status = status;
    return status;
}

DWORD HaInquiry(SRB_HAInquiry* block) {
    const zalemu::AspiView view = zalemu::Emulator::Instance().Aspi();
    block->HA_Count = static_cast<BYTE>(view.hostAdapters & 0xFF);
    block->HA_SCSI_ID = HostAdapterScsiId;
    std::memcpy(block->HA_ManagerId, "ZAL emulator    ", sizeof block->HA_ManagerId);
    std::memset(block->HA_Identifier, 0, sizeof block->HA_Identifier);
    const std::string identifier = "Emulated HA #" + std::to_string(block->SRB_HaId);
    std::memcpy(block->HA_Identifier, identifier.data(), identifier.size());
    uint32_t maxTransfer = 65536;
    uint32_t alignmentMask = 1;
    zalemu::Emulator::Instance().AdapterLimits(block->SRB_HaId, &maxTransfer, &alignmentMask);
    std::memset(block->HA_Unique, 0, sizeof block->HA_Unique);
    block->HA_Unique[0] = static_cast<BYTE>(alignmentMask & 0xFF);
    block->HA_Unique[1] = static_cast<BYTE>((alignmentMask >> 8) & 0xFF);
    block->HA_Unique[3] = TargetsPerAdapter;
    for (int i = 0; i < 4; ++i) {
        block->HA_Unique[4 + i] = static_cast<BYTE>((maxTransfer >> (8 * i)) & 0xFF);
    }
    return Finish(block, SS_COMP);
}

DWORD GetDeviceType(SRB_GDEVBlock* block) {
    zalemu::DeviceView view;
    if (block->SRB_Lun != 0 ||
        !zalemu::Emulator::Instance().Describe(AddressOf(block->SRB_HaId, block->SRB_Target),
                                               &view) ||
        view.gone) {
        return Finish(block, SS_NO_DEVICE);
    }
    block->SRB_DeviceType = view.deviceType;
    return Finish(block, SS_COMP);
}

DWORD ExecScsiCmd(ScsiRequestBlock* block) {
    const std::string address = AddressOf(block->SRB_HaId, block->SRB_Target);
    const zalemu::AspiView aspi = zalemu::Emulator::Instance().Aspi();
    zalemu::DeviceView view;
    const bool present =
        block->SRB_Lun == 0 && zalemu::Emulator::Instance().Describe(address, &view);
    if (!present && !aspi.noDeviceLater) {
        return Finish(block, SS_NO_DEVICE);
    }
    const BYTE notify = block->SRB_Flags & (SRB_POSTING | SRB_EVENT_NOTIFY);
    if (notify == (SRB_POSTING | SRB_EVENT_NOTIFY) || block->SRB_CDBLen == 0 ||
        block->SRB_CDBLen > sizeof block->CDBByte ||
        (block->SRB_BufLen != 0 && block->SRB_BufPointer == nullptr)) {
        return Finish(block, SS_INVALID_SRB);
    }
    PendingRequest* request = new PendingRequest();
    request->srb = block;
    request->flags = block->SRB_Flags;
    request->postProc = block->SRB_PostProc;
    request->address = address;
    request->cdb.assign(block->CDBByte, block->CDBByte + block->SRB_CDBLen);
    const BYTE direction = block->SRB_Flags & (SRB_DIR_IN | SRB_DIR_OUT);
    request->direction = direction == SRB_DIR_IN    ? zalemu::Direction::In
                         : direction == SRB_DIR_OUT ? zalemu::Direction::Out
                                                    : zalemu::Direction::None;
    request->data.assign(block->SRB_BufLen, 0);
    if (request->direction == zalemu::Direction::Out && block->SRB_BufLen != 0) {
        std::memcpy(request->data.data(), block->SRB_BufPointer, block->SRB_BufLen);
    }
    block->SRB_Status = SS_PENDING;
    block->SRB_HaStat = HASTAT_OK;
    block->SRB_TargStat = STATUS_GOOD;
    {
        RequestsGuard guard;
        TheRequests->pending.push_back(request);
    }
    if (!present) {
        // No device answers: completed on the worker, nothing carried out. The
        // worker runs ahead of its caller here: the call returns once it has
        // written the status, so the caller reads SS_NO_DEVICE with SS_PENDING
        // returned, and the signal follows.
        request->carried.result.status = zalemu::ExecStatus::NoDevice;
        request->carried.statusLeadMs = aspi.earlyStatusMs;
        request->carriedAt = GetTickCount();
        const HANDLE statusNoted = CreateEventA(NULL, TRUE, FALSE, NULL);
        request->statusNoted = statusNoted;
        if (statusNoted == NULL || !QueueForWorker(request)) {
            {
                RequestsGuard guard;
                TheRequests->pending.remove(request);
            }
            delete request;
            if (statusNoted != NULL) {
                CloseHandle(statusNoted);
            }
            return Finish(block, SS_NO_DEVICE);
        }
        WaitForSingleObject(statusNoted, INFINITE);
        CloseHandle(statusNoted);
        return SS_PENDING;
    }
    if (!CarryOut(request)) {
        return SS_PENDING;
    }
    // Without a worker the request is completed here, as an instant drive's.
    if (request->carried.onCallersThread || !QueueForWorker(request)) {
        return CompleteOnCallersThread(request);
    }
    return SS_PENDING;
}

DWORD AbortSrb(SRB_Abort* block) {
    ScsiRequestBlock* target = static_cast<ScsiRequestBlock*>(block->SRB_ToAbort);
    BYTE flags = 0;
    void* postProc = nullptr;
    {
        RequestsGuard guard;
        PendingRequest* found = nullptr;
        for (PendingRequest* request : TheRequests->pending) {
            if (request->srb == target && !request->done) {
                found = request;
            }
        }
        if (found == nullptr) {
            return Finish(block, SS_INVALID_SRB);
        }
        found->done = true;
        flags = found->flags;
        postProc = found->postProc;
        target->SRB_Status = SS_ABORTED;
        if (found->hung) {
            // Nothing will complete it: it ends here.
            TheRequests->pending.remove(found);
            delete found;
        }
    }
    Notify(flags, postProc, target);
    return Finish(block, SS_COMP);
}

} // namespace

extern "C" DWORD __cdecl GetASPI32SupportInfo(void) {
    const zalemu::AspiView view = zalemu::Emulator::Instance().Aspi();
    if (!view.loaded) {
        return static_cast<DWORD>(SS_FAILED_INIT) << 8;
    }
    const DWORD status = view.status == zalemu::AspiStatus::Ready          ? 0x01
                         : view.status == zalemu::AspiStatus::Initialising ? 0x00
                                                                           : 0xE8;
    return status << 8 | static_cast<DWORD>(view.hostAdapters & 0xFF);
}

extern "C" DWORD __cdecl SendASPI32Command(void* block) {
    if (block == nullptr) {
        return SS_INVALID_SRB;
    }
    SRB_Header* header = static_cast<SRB_Header*>(block);
    switch (header->SRB_Cmd) {
    case SC_HA_INQUIRY:
    case SC_GET_DEV_TYPE:
    case SC_EXEC_SCSI_CMD:
    case SC_ABORT_SRB:
    case SC_RESET_DEV:
    case SC_RESCAN_SCSI_BUS:
        if (!AdapterExists(header->SRB_HaId)) {
            return Finish(block, SS_INVALID_HA);
        }
        break;
    default:
        return Finish(block, SS_INVALID_SRB);
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
    default:
        // SC_RESET_DEV and SC_RESCAN_SCSI_BUS: nothing to do for emulated devices.
        return Finish(block, SS_COMP);
    }
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        ThisLibrary = instance;
        DisableThreadLibraryCalls(instance);
        TheRequests = new Requests();
        InitializeCriticalSection(&TheRequests->lock);
        TheRequests->wake = CreateEventA(NULL, FALSE, FALSE, NULL);
        zalemu::Emulator::Instance().SetReplacedListener(EndHungRequests);
        return TheRequests->wake != NULL;
    }
    if (reason == DLL_PROCESS_DETACH && reserved == NULL && TheRequests != nullptr) {
        // Freed by FreeLibrary: no worker runs (it holds a reference while it
        // does), so what is left are hung requests, which end with the library.
        zalemu::Emulator::Instance().SetReplacedListener(nullptr);
        for (PendingRequest* request : TheRequests->pending) {
            delete request;
        }
        CloseHandle(TheRequests->wake);
        DeleteCriticalSection(&TheRequests->lock);
        delete TheRequests;
        TheRequests = nullptr;
    }
    return TRUE;
}
