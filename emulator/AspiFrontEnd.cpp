// wnaspi32.dll of the drive emulator: the ASPI for Win32 entry points over the
// emulator's host adapter:target devices. Execute requests are accepted with
// SS_PENDING; the library's one worker thread carries each out as soon as it
// takes it and completes them in the order they were accepted, each once its
// delay has run: it fills the caller's block (data, status, sense) and signals
// its event or calls its post routine. A hung request is never completed; it
// stays pending, abortable, and holds up no other. The worker holds a reference
// to this library while it has work, so the caller may free the library while a
// request is pending; after a second without requests it ends with
// FreeLibraryAndExitThread. With the scenario's "completion = caller" (an
// instant drive) a request is completed on the caller's thread before
// SendASPI32Command returns. The scenario is read from ZALEMU_SCENARIO at first
// use.
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

// One execute request between its acceptance and its completion (or abort).
struct PendingRequest {
    ScsiRequestBlock* srb = nullptr;
    std::string address;
    std::vector<uint8_t> cdb;
    zalemu::Direction direction = zalemu::Direction::None;
    std::vector<uint8_t> data;      // the host's data, copied in and out around the command
    zalemu::CarriedCommand carried; // once carried out
    DWORD carriedAt = 0;            // GetTickCount when it was carried out
    bool done = false;              // completed or aborted: the block is the caller's again
    bool hung = false;              // carried out and never to complete
};

// The library's requests and its worker, under one lock.
struct Requests {
    CRITICAL_SECTION lock;
    std::list<PendingRequest*> pending;   // accepted, not completed: what an abort looks in
    std::deque<PendingRequest*> accepted; // waiting for the worker to carry them out
    std::deque<PendingRequest*> inFlight; // carried out, in the order they were accepted
    HANDLE wake = NULL;                   // set when a request is accepted
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

// Completes a request: the data, status and sense go into the caller's block,
// which then is the caller's again, and the caller is told. An aborted request
// only leaves the list. The status of the block.
BYTE Complete(PendingRequest* request, const zalemu::ExecResult& result) {
    BYTE flags = 0;
    void* postProc = nullptr;
    BYTE status = SS_COMP;
    ScsiRequestBlock* srb = request->srb;
    {
        RequestsGuard guard;
        TheRequests->pending.remove(request);
        if (request->done) {
            // Aborted meanwhile: the caller has its block back already.
            delete request;
            return SS_ABORTED;
        }
        flags = srb->SRB_Flags;
        postProc = srb->SRB_PostProc;
        srb->SRB_HaStat = HASTAT_OK;
        srb->SRB_TargStat = STATUS_GOOD;
        if (result.status == zalemu::ExecStatus::Completed) {
            const uint32_t count =
                result.transferred < srb->SRB_BufLen ? result.transferred : srb->SRB_BufLen;
            if (request->direction == zalemu::Direction::In && count != 0) {
                std::memcpy(srb->SRB_BufPointer, request->data.data(), count);
            }
            if ((flags & SRB_ENABLE_RESIDUAL_COUNT) != 0) {
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
    }
    delete request;
    Notify(flags, postProc, srb);
    return status;
}

// Carries a request out (the drive model runs it, it is logged). A hung one is
// only marked: it stays pending until aborted. False for a hung request.
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

// An instant drive: the request is carried out and completed on the caller's
// thread, its delay slept there, and the call returns the block's final status.
// A hung request stays pending (and abortable) as with the worker.
DWORD CompleteOnCallersThread(PendingRequest* request) {
    if (!CarryOut(request)) {
        return SS_PENDING;
    }
    if (request->carried.delayMs != 0) {
        Sleep(request->carried.delayMs);
    }
    zalemu::Emulator::Instance().EndCommand(request->carried);
    return Complete(request, request->carried.result);
}

// The worker: carries every accepted request out as soon as it takes it, then
// completes the earliest carried-out one when its delay has run (a later one
// whose delay ends first waits for it), and otherwise waits for the next
// completion or request. It ends after WorkerLingerMs without work.
DWORD WINAPI Worker(LPVOID) {
    DWORD idleSince = GetTickCount();
    for (;;) {
        PendingRequest* next = nullptr;
        PendingRequest* due = nullptr;
        DWORD wait = INFINITE;
        {
            RequestsGuard guard;
            Requests& requests = *TheRequests;
            const DWORD now = GetTickCount();
            if (!requests.accepted.empty()) {
                next = requests.accepted.front();
                requests.accepted.pop_front();
            } else if (!requests.inFlight.empty()) {
                PendingRequest* first = requests.inFlight.front();
                const DWORD elapsed = now - first->carriedAt;
                if (elapsed >= first->carried.delayMs) {
                    due = first;
                    requests.inFlight.pop_front();
                } else {
                    wait = first->carried.delayMs - elapsed;
                }
            } else if (now - idleSince >= WorkerLingerMs) {
                requests.workerRuns = false;
                break;
            } else {
                wait = WorkerLingerMs - (now - idleSince);
            }
        }
        if (next != nullptr) {
            if (CarryOut(next)) {
                RequestsGuard guard;
                TheRequests->inFlight.push_back(next);
            }
        } else if (due != nullptr) {
            zalemu::Emulator::Instance().EndCommand(due->carried);
            Complete(due, due->carried.result);
        } else {
            WaitForSingleObject(TheRequests->wake, wait);
            continue;
        }
        idleSince = GetTickCount();
    }
    FreeLibraryAndExitThread(ThisLibrary, 0);
    return 0;
}

// Hands an accepted request to the worker, starting one (with its own
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
    requests.pending.push_back(request);
    requests.accepted.push_back(request);
    SetEvent(requests.wake);
    return true;
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
    zalemu::DeviceView view;
    if (block->SRB_Lun != 0 || !zalemu::Emulator::Instance().Describe(address, &view)) {
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
    if (zalemu::Emulator::Instance().Aspi().completion == zalemu::Completion::Caller) {
        {
            RequestsGuard guard;
            TheRequests->pending.push_back(request);
        }
        return CompleteOnCallersThread(request);
    }
    if (!QueueForWorker(request)) {
        delete request;
        return Finish(block, SS_ERR);
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
        flags = target->SRB_Flags;
        postProc = target->SRB_PostProc;
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
        return TheRequests->wake != NULL;
    }
    if (reason == DLL_PROCESS_DETACH && reserved == NULL && TheRequests != nullptr) {
        // Freed by FreeLibrary: no worker runs (it holds a reference while it
        // does), so what is left are hung requests, which end with the library.
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
