// The transport benchmarks: one command through the whole issue-and-wait of
// either path beside the least code that does the same hand-over, and long runs
// of commands, the tool's runs taking turns with the baseline's, with the
// process's live heap bytes and private bytes read after every batch of 1,000
// and its handles at the start and end of each run. Runs the shipped transport
// over the drive emulator (the NT path: the emulator's SPTI devices linked in;
// the Windows 9x path: the emulator's wnaspi32.dll, in the copy of this program
// that Wine runs as Windows 98). Each mode prints the rows of the table with
// their verdicts.
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

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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

// Tool and baseline batches interleaved, `repetitions` of each, `count` commands
// a batch; the ratio is taken per repetition (tool over the baseline batch run
// just before it), so that both see the same load on the machine.
int CommandBench(bool aspi, int repetitions, int count) {
    BareWorker worker;
    if (!aspi && !StartBareWorker(&worker)) {
        return Fail("expected the bare worker and its device handle, one is missing");
    }
    const std::string label =
        aspi ? "one command, Windows 9x path (ASPI)" : "one command, NT path (ASPISim)";
    const double limit = aspi ? 1.2 : 1.5;
    const std::string target =
        Text(aspi ? "<= %.1fx the bare ASPI loop" : "<= %.1fx the hand-over floor", limit);
    std::vector<double> tool, floor;
    for (int repetition = 0; repetition < repetitions; ++repetition) {
        if (aspi) {
            floor.push_back(PerCommandUs(BareAspiBatch, count));
        } else {
            floor.push_back(
                PerCommandUs([&](int n) { return HandOverCommands(&worker, n); }, count));
        }
        tool.push_back(PerCommandUs(ToolCommands, count));
        if (tool.back() < 0 || floor.back() < 0) {
            ReportRow(label, "-", "-", "-", target, Verdict::Failed);
            return Fail(tool.back() < 0
                            ? "expected every command through the tool's pattern to succeed"
                            : "expected every baseline command to succeed");
        }
    }
    const std::vector<double> ratios = PairRatios(tool, floor);
    ReportRow(label + Text(", %d batches of %d", repetitions, count),
              WithSpread(SpreadOf(floor), 1, "us"), WithSpread(SpreadOf(tool), 1, "us"),
              WithSpread(SpreadOf(ratios), 2, "x"), target, RatioAtMost(ratios, limit));
    return 0;
}

// What the runs of one side showed: per run, the handles it added and its
// growth per command of live heap bytes and of private bytes, fitted over the
// readings after each batch.
struct RunGrowths {
    std::vector<double> handles, heap, privateBytes;
    bool taken = true;
};

// One long run of `count` commands in batches of 1,000. After each batch the
// emulator's in-memory log is emptied (it is the emulator's memory, not the
// path's) and the process's memory is read.
template <typename Batch>
bool LongRun(Batch batch, EmulatorAccess* emulator, int count, RunGrowths* growths) {
    const int size = count < 1000 ? count : 1000;
    const DWORD handlesBefore = OpenHandleCount();
    std::vector<double> heap(1, LiveHeapBytes()), privateBytes(1, PrivateBytes());
    for (int done = 0; done < count; done += size) {
        if (!batch(count - done < size ? count - done : size)) {
            return false;
        }
        emulator->ClearLog();
        heap.push_back(LiveHeapBytes());
        privateBytes.push_back(PrivateBytes());
    }
    const DWORD handlesAfter = OpenHandleCount();
    // A process always holds handles and memory: a zero or -1 is a reading not taken.
    growths->taken = growths->taken && handlesBefore > 0 && handlesAfter > 0 &&
                     *std::min_element(heap.begin(), heap.end()) > 0 &&
                     *std::min_element(privateBytes.begin(), privateBytes.end()) > 0;
    growths->handles.push_back(static_cast<double>(handlesAfter) -
                               static_cast<double>(handlesBefore));
    growths->heap.push_back(GrowthPerUnit(heap, size));
    growths->privateBytes.push_back(GrowthPerUnit(privateBytes, size));
    return true;
}

// Runs of the baseline and of the tool's pattern, taking turns.
const int LongRuns = 3;
// What a run may grow by per command beyond the baseline's worst run: a leak of
// one byte a command exceeds it.
const double LeakAllowance = 0.5;

// A row of growth per command: the worst run of each side, the tool's against
// the baseline's worst plus the allowance.
void GrowthRow(const std::string& label, const std::vector<double>& baseline,
               const std::vector<double>& tool, bool taken) {
    const double bound = GrowthBound(baseline, LeakAllowance);
    const Spread base = SpreadOf(baseline), measured = SpreadOf(tool);
    ReportRow(label, Text("worst run %+.2f B/command", base.high),
              Text("worst run %+.2f B/command (runs %+.2f to %+.2f)", measured.high, measured.low,
                   measured.high),
              "-", Text("<= %.2f B/command (baseline's worst + %.1f)", bound, LeakAllowance),
              taken ? AtMost(measured.high, bound) : Verdict::Failed);
}

int LeakBench(bool aspi, EmulatorAccess* emulator, int count) {
    BareWorker worker;
    if (!aspi && !StartBareWorker(&worker)) {
        return Fail("expected the bare worker and its device handle, one is missing");
    }
    auto baseline = [&](int n) { return aspi ? BareAspiBatch(n) : HandOverCommands(&worker, n); };
    const std::string label =
        Text("%s path, %d runs of %d commands: ", aspi ? "Windows 9x (ASPI)" : "NT (ASPISim)",
             LongRuns, count);
    // A first batch of each settles what the first commands allocate once.
    const int warmUp = count < 1000 ? count : 1000;
    if (!ToolCommands(warmUp) || !baseline(warmUp)) {
        return Fail("expected the warm-up commands to succeed");
    }
    emulator->ClearLog();
    RunGrowths base, tool;
    for (int run = 0; run < LongRuns; ++run) {
        if (!LongRun(baseline, emulator, count, &base) ||
            !LongRun(ToolCommands, emulator, count, &tool)) {
            ReportRow(label + "handles added", "-", "-", "-", "0 in every run", Verdict::Failed);
            return Fail("expected every command of the long runs to succeed");
        }
    }
    const double queued = TheSim != NULL ? TheSim->queueCount : 0;
    const double left = queued + OutstandingRequestCount();
    const bool taken = base.taken && tool.taken;
    const Spread handles = SpreadOf(tool.handles);
    ReportRow(label + "handles added", WithSpread(SpreadOf(base.handles), 0, "handles"),
              WithSpread(handles, 0, "handles"), "-", "0 in every run",
              !taken              ? Verdict::Failed
              : handles.high <= 0 ? Verdict::Met
                                  : Verdict::Missed);
    GrowthRow(label + "live heap bytes", base.heap, tool.heap, taken);
    GrowthRow(label + "private bytes", base.privateBytes, tool.privateBytes, taken);
    ReportRow(label + "requests left", "0", Text("%.0f", left), "-", "0", AtMost(left, 0));
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
    const int count = std::atoi(argv[argc - 1]);
    if (count < 1 || (mode == "command" && (argc < 5 || std::atoi(argv[3]) < 1))) {
        return Fail("expected counts of at least 1");
    }
    EmulatorAccess emulator;
    const std::string error = StartPath(aspi, &emulator);
    if (!error.empty()) {
        return Fail(error);
    }
    if (mode == "command") {
        return CommandBench(aspi, std::atoi(argv[3]), count);
    }
    if (mode == "leak") {
        return LeakBench(aspi, &emulator, count);
    }
    if (mode == "smoke") {
        // Both benchmarks, tiny, in one process: the smoke check of the test suite.
        return CommandBench(aspi, 1, count) != 0 ? 1 : LeakBench(aspi, &emulator, count);
    }
    return Fail("expected the mode command, leak or smoke");
}
