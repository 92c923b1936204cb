// The transport benchmarks: one command through the whole issue-and-wait of
// either path beside the least code that does the same hand-over, and a long
// run of commands with the process's working set and handle count at its start
// and end. Runs the shipped transport over the drive emulator (the NT path: the
// emulator's SPTI devices linked in; the Windows 9x path: the emulator's
// wnaspi32.dll, in the copy of this program that Wine runs as Windows 98).
//
//   bench_transport nt|aspi command REPETITIONS COMMANDS
//   bench_transport nt|aspi leak COMMANDS
//   bench_transport nt|aspi smoke COMMANDS    (both, once, COMMANDS each)
#include "AspiSim.h"
#include "BareAspiLoop.h"
#include "BenchSupport.h"
#include "EmulatedDevices.h"
#include "EmulatorAccess.h"
#include "EmulatorControl.h"
#include "PlatformSeam.h"
#include "RecordingHost.h"
#include "ScsiCommand.h"
#include "ScsiTransport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The transport's status texts go to stdout.
void PrintStatus(const char* text) {
    std::printf("status: %s\n", text);
}

const DWORD CommandWaitMs = 30000;

// What a TEST UNIT READY through the tool's pattern costs.
int ToolCommands(int count) {
    static CommandSlot slot;
    ScsiCommand command = CommandToCurrentTarget(6, CommandWaitMs);
    for (int i = 0; i < count; ++i) {
        if (!IssueAndWait(&slot, &command)) {
            return 0;
        }
    }
    return 1;
}

// The NT path's floor: a bare worker woken by an event, making the same
// pass-through call into the same device and signalling the caller's event,
// which the caller creates for each command as the tool's pattern does.
struct BareWorker {
    HANDLE device = INVALID_HANDLE_VALUE;
    HANDLE wake = NULL;
    HANDLE done = NULL;
    volatile LONG stop = 0;
    PassThroughBlock block;
    BOOL result = FALSE;
};

void FillUnitReady(PassThroughBlock* block) {
    std::memset(block, 0, sizeof *block);
    block->Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
    block->TargetId = 1;
    block->CdbLength = 6;
    block->SenseInfoLength = PassThroughSenseSize;
    block->DataIn = SCSI_IOCTL_DATA_IN;
    block->TimeOutValue = SimInitialTimeout;
    block->SenseInfoOffset = offsetof(PassThroughBlock, Sense);
}

BOOL PassThroughOnce(HANDLE device, PassThroughBlock* block) {
    DWORD returned = 0;
    return SeamDeviceIoControl(device, ZAL_IOCTL_SCSI_PASS_THROUGH_DIRECT, block, sizeof *block,
                               block, sizeof *block, &returned, NULL);
}

DWORD WINAPI BareWorkerMain(LPVOID argument) {
    BareWorker* worker = static_cast<BareWorker*>(argument);
    for (;;) {
        WaitForSingleObject(worker->wake, INFINITE);
        if (worker->stop != 0) {
            return 0;
        }
        FillUnitReady(&worker->block);
        worker->result = PassThroughOnce(worker->device, &worker->block);
        SetEvent(worker->done);
    }
}

int HandOverCommands(BareWorker* worker, int count) {
    for (int i = 0; i < count; ++i) {
        worker->done = CreateEventA(NULL, FALSE, FALSE, NULL);
        SetEvent(worker->wake);
        WaitForSingleObject(worker->done, INFINITE);
        CloseHandle(worker->done);
        if (!worker->result) {
            return 0;
        }
    }
    return 1;
}

int SynchronousCommands(HANDLE device, int count) {
    PassThroughBlock block;
    for (int i = 0; i < count; ++i) {
        FillUnitReady(&block);
        if (!PassThroughOnce(device, &block)) {
            return 0;
        }
    }
    return 1;
}

// The Windows 9x path's baseline: a bare loop that creates an event, hands the
// same request to the library's SendASPI32Command and waits.
static int BareAspiBatch(int count) {
    return BareAspiCommands(count, SS_COMP);
}

// Microseconds per command of one batch; negative when a command failed.
template <typename Batch> double PerCommandUs(Batch batch, int count) {
    const double start = NowMs();
    if (!batch(count)) {
        return -1;
    }
    return (NowMs() - start) * 1000.0 / count;
}

const char* const DriveSettings = "kind = tk4800j\ndisc = yes\n";

// Loads the scenario into the emulator that the path reaches and starts the
// transport on it; "" on success, else what went wrong.
std::string StartPath(bool aspi, EmulatorAccess* emulator) {
    *emulator = aspi ? EmulatorAccess::InAspiLibrary() : EmulatorAccess::Linked();
    const std::string scenario =
        std::string("[emulator]\n\n[device ") + (aspi ? "0:0" : "D:") + "]\n" + DriveSettings;
    const std::string error = emulator->Load(scenario);
    if (!error.empty()) {
        return "scenario: " + error;
    }
    if (!InitScsiTransport()) {
        return "the transport did not start";
    }
    const bool simulator = TheSim != NULL;
    if (simulator == aspi) {
        return aspi ? "expected the ASPI library, the simulator was bound"
                    : "expected the simulator, the ASPI library was bound";
    }
    SelectTarget(0, 0);
    return std::string();
}

bool StartBareWorker(BareWorker* worker) {
    worker->device =
        SeamCreateFileA("\\\\.\\D:", GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    worker->wake = CreateEventA(NULL, FALSE, FALSE, NULL);
    HANDLE thread = CreateThread(NULL, 0, BareWorkerMain, worker, 0, NULL);
    if (thread == NULL) {
        return false;
    }
    CloseHandle(thread);
    return worker->device != INVALID_HANDLE_VALUE;
}

int CommandBench(bool aspi, int repetitions, int count) {
    BareWorker worker;
    if (!aspi && !StartBareWorker(&worker)) {
        return Fail("expected the bare worker and its device handle, one is missing");
    }
    std::vector<double> tool, floor, sync;
    for (int repetition = 0; repetition < repetitions; ++repetition) {
        if (aspi) {
            floor.push_back(PerCommandUs(BareAspiBatch, count));
        } else {
            floor.push_back(
                PerCommandUs([&](int n) { return HandOverCommands(&worker, n); }, count));
            sync.push_back(
                PerCommandUs([&](int n) { return SynchronousCommands(worker.device, n); }, count));
        }
        tool.push_back(PerCommandUs(ToolCommands, count));
        for (double value : tool) {
            if (value < 0) {
                return Fail("expected every command through the tool's pattern to succeed");
            }
        }
        for (double value : floor) {
            if (value < 0) {
                return Fail("expected every baseline command to succeed");
            }
        }
    }
    if (aspi) {
        ReportFigure("aspi_command", Median(floor), Median(tool), "us");
    } else {
        ReportFigure("nt_command", Median(floor), Median(tool), "us");
        ReportFigure("nt_command_vs_sync", Median(sync), Median(tool), "us");
    }
    return 0;
}

// Working set, private memory and handles before and after `count` commands in
// batches; the emulator's in-memory log is emptied after each batch, since it is
// the emulator's memory, not the path's.
template <typename Batch>
bool LongRun(Batch batch, EmulatorAccess* emulator, int count, ProcessUse* before,
             ProcessUse* after) {
    emulator->ClearLog();
    *before = CurrentProcessUse();
    const int size = 1000;
    for (int done = 0; done < count; done += size) {
        if (!batch(count - done < size ? count - done : size)) {
            return false;
        }
        emulator->ClearLog();
    }
    *after = CurrentProcessUse();
    return true;
}

int LeakBench(bool aspi, EmulatorAccess* emulator, int count) {
    BareWorker worker;
    if (!aspi && !StartBareWorker(&worker)) {
        return Fail("expected the bare worker and its device handle, one is missing");
    }
    auto baseline = [&](int n) { return aspi ? BareAspiBatch(n) : HandOverCommands(&worker, n); };
    // A first batch of each settles what the first commands allocate once.
    const int warmUp = count < 1000 ? count : 1000;
    if (!ToolCommands(warmUp) || !baseline(warmUp)) {
        return Fail("expected the warm-up commands to succeed");
    }
    ProcessUse baseStart, baseEnd, toolStart, toolEnd;
    if (!LongRun(baseline, emulator, count, &baseStart, &baseEnd)) {
        return Fail("expected every baseline command of the long run to succeed");
    }
    if (!LongRun(ToolCommands, emulator, count, &toolStart, &toolEnd)) {
        return Fail("expected every command of the long run to succeed");
    }
    const char* path = aspi ? "aspi" : "nt";
    char name[64];
    std::snprintf(name, sizeof name, "%s_leak_handles", path);
    ReportFigure(name, static_cast<double>(baseEnd.handles) - baseStart.handles,
                 static_cast<double>(toolEnd.handles) - toolStart.handles, "handles");
    std::snprintf(name, sizeof name, "%s_leak_private", path);
    ReportFigure(name, baseEnd.privateKb - baseStart.privateKb,
                 toolEnd.privateKb - toolStart.privateKb, "KB");
    std::snprintf(name, sizeof name, "%s_leak_working_set", path);
    ReportFigure(name, baseEnd.workingSetKb - baseStart.workingSetKb,
                 toolEnd.workingSetKb - toolStart.workingSetKb, "KB");
    std::snprintf(name, sizeof name, "%s_leak_requests", path);
    const double queued = TheSim != NULL ? TheSim->queueCount : 0;
    ReportFigure(name, 0, queued + OutstandingRequestCount(), "requests");
    std::printf("%s: %d commands each; at the tool's start %.0f KB working set, %.0f KB private, "
                "%lu handles\n",
                path, count, toolStart.workingSetKb, toolStart.privateKb,
                static_cast<unsigned long>(toolStart.handles));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // Drive letters reach the emulator's devices, and a long run keeps no record of its calls.
    SeamWithEmulatedDevices(false);
    EchoStatusTo(PrintStatus);
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_transport nt|aspi command REPETITIONS COMMANDS\n"
                             "       bench_transport nt|aspi leak COMMANDS\n"
                             "       bench_transport nt|aspi smoke COMMANDS\n");
        return 2;
    }
    const bool aspi = std::strcmp(argv[1], "aspi") == 0;
    const std::string mode = argv[2];
    EmulatorAccess emulator;
    const std::string error = StartPath(aspi, &emulator);
    if (!error.empty()) {
        return Fail(error.c_str());
    }
    if (mode == "command" && argc >= 5) {
        return CommandBench(aspi, std::atoi(argv[3]), std::atoi(argv[4]));
    }
    if (mode == "leak") {
        return LeakBench(aspi, &emulator, std::atoi(argv[3]));
    }
    if (mode == "smoke") {
        // Both benchmarks, tiny, in one process: the smoke check of the test suite.
        const int count = std::atoi(argv[3]);
        return CommandBench(aspi, 1, count) != 0 ? 1 : LeakBench(aspi, &emulator, count);
    }
    return Fail("expected the mode command or leak");
}
