// The transport benchmarks: one command through the whole issue-and-wait of
// either path beside the least code that does the same hand-over; long runs of
// commands, the tool's runs interleaved with the baseline's, with the process's
// handles, private memory and working set at the start and end of each; and a
// loop that only creates and ends threads, to tell what a thread costs the
// process. Runs the shipped transport over the drive emulator (the NT path: the
// emulator's SPTI devices linked in; the Windows 9x path: the emulator's
// wnaspi32.dll, in the copy of this program that Wine runs as Windows 98).
// Each mode prints its figures and the rows of the table with their verdicts.
//
//   bench_transport nt|aspi command REPETITIONS COMMANDS
//   bench_transport nt|aspi leak COMMANDS
//   bench_transport nt|aspi threads COUNT
//   bench_transport nt|aspi smoke COMMANDS    (all three, once, COMMANDS each)
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

// "+12 KB (-4 to +20)": a median growth with the range of its runs.
std::string GrowthText(const Spread& spread, const char* unit) {
    const std::string median = Text("%+.0f %s", spread.median, unit);
    if (spread.low == spread.high) {
        return median;
    }
    return median + Text(" (%+.0f to %+.0f)", spread.low, spread.high);
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
    const std::string target = aspi ? "<= 1.2x the bare ASPI loop" : "<= 1.5x the hand-over floor";
    std::vector<double> tool, floor, sync, ratios;
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
        if (tool.back() < 0 || floor.back() < 0 || (!sync.empty() && sync.back() < 0)) {
            ReportRow(label, "-", "-", "-", target, Verdict::Failed);
            return Fail(tool.back() < 0
                            ? "expected every command through the tool's pattern to succeed"
                            : "expected every baseline command to succeed");
        }
        ratios.push_back(tool.back() / floor.back());
    }
    const Spread ratio = SpreadOf(ratios);
    if (aspi) {
        ReportFigure("aspi_command", Median(floor), Median(tool), "us");
    } else {
        ReportFigure("nt_command", Median(floor), Median(tool), "us");
        ReportFigure("nt_command_vs_sync", Median(sync), Median(tool), "us");
    }
    ReportRow(label, WithSpread(SpreadOf(floor), 1, "us"), WithSpread(SpreadOf(tool), 1, "us"),
              WithSpread(ratio, 2, "x"), target, AtMost(ratio.median, aspi ? 1.2 : 1.5));
    if (!aspi) {
        std::vector<double> syncRatios;
        for (size_t i = 0; i < tool.size(); ++i) {
            syncRatios.push_back(tool[i] / sync[i]);
        }
        ReportRow("  the bare synchronous pass-through", WithSpread(SpreadOf(sync), 1, "us"),
                  WithSpread(SpreadOf(tool), 1, "us"), WithSpread(SpreadOf(syncRatios), 2, "x"),
                  "-", Verdict::Reported);
    }
    std::printf("%s: %d repetitions of %d commands each\n", aspi ? "aspi" : "nt", repetitions,
                count);
    return 0;
}

// What one run added to the process.
struct Growth {
    double handles = 0;
    double privateKb = 0;
    double workingSetKb = 0;
    // False when the system did not tell the process's use at the start or end.
    bool taken = true;
};

Growth GrowthBetween(const ProcessUse& before, const ProcessUse& after) {
    Growth growth;
    growth.handles = static_cast<double>(after.handles) - static_cast<double>(before.handles);
    growth.privateKb = after.privateKb - before.privateKb;
    growth.workingSetKb = after.workingSetKb - before.workingSetKb;
    // A process always holds handles and memory: a zero is a reading not taken.
    growth.taken = before.handles > 0 && after.handles > 0 && before.privateKb > 0 &&
                   after.privateKb > 0 && before.workingSetKb > 0 && after.workingSetKb > 0;
    return growth;
}

// Runs of the baseline and of what is measured, interleaved: the baseline's
// run-to-run spread is the noise a "flat" row allows.
const int LongRuns = 3;

struct RunGrowths {
    std::vector<double> handles, privateKb, workingSetKb;
    bool taken = true;
    void Add(const Growth& growth) {
        taken = taken && growth.taken;
        handles.push_back(growth.handles);
        privateKb.push_back(growth.privateKb);
        workingSetKb.push_back(growth.workingSetKb);
    }
};

double PageKb() {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    return system.dwPageSize / 1024.0;
}

// The noise bound of a "flat" row: the baseline's highest growth plus the range
// of its runs, and never less than a page.
double FlatBound(const Spread& baseline) {
    const double bound = baseline.high + (baseline.high - baseline.low);
    return bound > PageKb() ? bound : PageKb();
}

// A row of memory growth judged "flat": the median growth of the measured runs
// within the bound that the baseline's runs set.
void FlatRow(const std::string& label, const std::vector<double>& baseline,
             const std::vector<double>& measured, bool taken, int count, const char* per) {
    const Spread base = SpreadOf(baseline);
    const Spread grown = SpreadOf(measured);
    const double bound = FlatBound(base);
    ReportRow(label, GrowthText(base, "KB"), GrowthText(grown, "KB"),
              Text("%+.1f B/%s", grown.median * 1024.0 / count, per),
              Text("flat: <= %+.0f KB (baseline's highest + its range, at least a page)", bound),
              !taken                  ? Verdict::Failed
              : grown.median <= bound ? Verdict::Met
                                      : Verdict::Missed);
}

// Handles, private memory and working set at the start and end of `count`
// commands in batches; the emulator's in-memory log is emptied after each batch,
// since it is the emulator's memory, not the path's. A run starts from `last`,
// the reading at the end of the one before (each reading asks after every
// handle value, a call of the system each), and leaves its own there.
template <typename Batch>
bool LongRun(Batch batch, EmulatorAccess* emulator, int count, ProcessUse* last,
             RunGrowths* growths) {
    const ProcessUse before = *last;
    const int size = 1000;
    for (int done = 0; done < count; done += size) {
        if (!batch(count - done < size ? count - done : size)) {
            return false;
        }
        emulator->ClearLog();
    }
    *last = CurrentProcessUse();
    growths->Add(GrowthBetween(before, *last));
    return true;
}

int LeakBench(bool aspi, EmulatorAccess* emulator, int count) {
    BareWorker worker;
    if (!aspi && !StartBareWorker(&worker)) {
        return Fail("expected the bare worker and its device handle, one is missing");
    }
    auto baseline = [&](int n) { return aspi ? BareAspiBatch(n) : HandOverCommands(&worker, n); };
    const char* path = aspi ? "aspi" : "nt";
    const std::string label =
        Text("%s path, %d commands: ", aspi ? "Windows 9x (ASPI)" : "NT (ASPISim)", count);
    // A first batch of each settles what the first commands allocate once.
    const int warmUp = count < 1000 ? count : 1000;
    if (!ToolCommands(warmUp) || !baseline(warmUp)) {
        return Fail("expected the warm-up commands to succeed");
    }
    emulator->ClearLog();
    const ProcessUse start = CurrentProcessUse();
    ProcessUse last = start;
    RunGrowths base, tool;
    for (int run = 0; run < LongRuns; ++run) {
        if (!LongRun(baseline, emulator, count, &last, &base)) {
            ReportRow(label + "handles added", "-", "-", "-", "0 added", Verdict::Failed);
            return Fail("expected every baseline command of the long run to succeed");
        }
        if (!LongRun(ToolCommands, emulator, count, &last, &tool)) {
            ReportRow(label + "handles added", "-", "-", "-", "0 added", Verdict::Failed);
            return Fail("expected every command of the long run to succeed");
        }
    }
    const double queued = TheSim != NULL ? TheSim->queueCount : 0;
    const double left = queued + OutstandingRequestCount();
    ReportFigure(Text("%s_leak_handles", path).c_str(), Median(base.handles), Median(tool.handles),
                 "handles");
    ReportFigure(Text("%s_leak_private", path).c_str(), Median(base.privateKb),
                 Median(tool.privateKb), "KB");
    ReportFigure(Text("%s_leak_working_set", path).c_str(), Median(base.workingSetKb),
                 Median(tool.workingSetKb), "KB");
    ReportFigure(Text("%s_leak_requests", path).c_str(), 0, left, "requests");

    const bool taken = base.taken && tool.taken;
    const Spread handles = SpreadOf(tool.handles);
    ReportRow(label + "handles added", GrowthText(SpreadOf(base.handles), "handles"),
              GrowthText(handles, "handles"), "-", "0 added in every run",
              !taken              ? Verdict::Failed
              : handles.high <= 0 ? Verdict::Met
                                  : Verdict::Missed);
    FlatRow(label + "private memory added", base.privateKb, tool.privateKb, taken, count,
            "command");
    FlatRow(label + "working set added", base.workingSetKb, tool.workingSetKb, taken, count,
            "command");
    ReportRow(label + "requests left", "0", Text("%.0f", left), "-", "0",
              left == 0 ? Verdict::Met : Verdict::Missed);
    const ProcessUse& end = last;
    std::printf("%s: %d runs of %d commands each, baseline and tool in turn; from %.0f KB "
                "working set, %.0f KB private, %lu handles to %.0f KB, %.0f KB, %lu\n",
                path, LongRuns, count, start.workingSetKb, start.privateKb,
                static_cast<unsigned long>(start.handles), end.workingSetKb, end.privateKb,
                static_cast<unsigned long>(end.handles));
    return 0;
}

DWORD WINAPI ReturnAtOnce(LPVOID) {
    return 0;
}

// Threads that end at once: each created, waited for and closed.
int ThreadLoop(int count) {
    for (int i = 0; i < count; ++i) {
        HANDLE thread = CreateThread(NULL, 0, ReturnAtOnce, NULL, 0, NULL);
        if (thread == NULL) {
            return 0;
        }
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    return 1;
}

// The thread loop less the thread: an event created, signalled, waited for and
// closed.
int EventLoop(int count) {
    for (int i = 0; i < count; ++i) {
        HANDLE event = CreateEventA(NULL, FALSE, FALSE, NULL);
        if (event == NULL) {
            return 0;
        }
        SetEvent(event);
        WaitForSingleObject(event, INFINITE);
        CloseHandle(event);
    }
    return 1;
}

// What creating and ending `count` threads leaves in the process, beside the same
// loop without the threads: tells whether the system keeps memory per thread
// (which a library that starts a thread per request would pay per command).
int ThreadBench(int count) {
    const char* system = (GetVersion() & 0x80000000) != 0 ? "Windows 9x" : "Windows NT";
    const std::string label = Text("%d threads created and ended, as %s: ", count, system);
    const int warmUp = count < 100 ? count : 100;
    if (!ThreadLoop(warmUp) || !EventLoop(warmUp)) {
        return Fail("expected the warm-up threads and events to be created");
    }
    RunGrowths events, threads;
    const ProcessUse start = CurrentProcessUse();
    ProcessUse before = start;
    for (int run = 0; run < LongRuns; ++run) {
        if (!EventLoop(count)) {
            ReportRow(label + "private memory added", "-", "-", "-", "flat", Verdict::Failed);
            return Fail("expected every event of the loop to be created");
        }
        const ProcessUse between = CurrentProcessUse();
        events.Add(GrowthBetween(before, between));
        before = between;
        const double started = NowMs();
        if (!ThreadLoop(count)) {
            ReportRow(label + "private memory added", "-", "-", "-", "flat", Verdict::Failed);
            return Fail("expected every thread of the loop to be created");
        }
        const double tookMs = NowMs() - started;
        const ProcessUse after = CurrentProcessUse();
        threads.Add(GrowthBetween(before, after));
        std::printf("threads run %d: private %.0f -> %.0f KB, working set %.0f -> %.0f KB, "
                    "%.1f us a thread\n",
                    run + 1, before.privateKb, after.privateKb, before.workingSetKb,
                    after.workingSetKb, tookMs * 1000.0 / count);
        before = after;
    }
    ReportFigure("threads_private", Median(events.privateKb), Median(threads.privateKb), "KB");
    ReportFigure("threads_working_set", Median(events.workingSetKb), Median(threads.workingSetKb),
                 "KB");
    const bool taken = events.taken && threads.taken;
    FlatRow(label + "private memory added", events.privateKb, threads.privateKb, taken, count,
            "thread");
    FlatRow(label + "working set added", events.workingSetKb, threads.workingSetKb, taken, count,
            "thread");
    const ProcessUse& end = before;
    std::printf("threads: %d runs of %d, event loop and thread loop in turn; private %.0f -> "
                "%.0f KB, working set %.0f -> %.0f KB\n",
                LongRuns, count, start.privateKb, end.privateKb, start.workingSetKb,
                end.workingSetKb);
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
                             "       bench_transport nt|aspi threads COUNT\n"
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
        return Fail(error.c_str());
    }
    if (mode == "command") {
        return CommandBench(aspi, std::atoi(argv[3]), count);
    }
    if (mode == "leak") {
        return LeakBench(aspi, &emulator, count);
    }
    if (mode == "threads") {
        return ThreadBench(count);
    }
    if (mode == "smoke") {
        // Every benchmark, tiny, in one process: the smoke check of the test suite.
        if (CommandBench(aspi, 1, count) != 0 || LeakBench(aspi, &emulator, count) != 0) {
            return 1;
        }
        return ThreadBench(count);
    }
    return Fail("expected the mode command, leak, threads or smoke");
}
