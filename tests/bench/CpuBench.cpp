// The tools' CPU time while they wait on the drive: discmode polling a drive
// without a disc, and drvflash during the block passes of slow runs, each less
// the floors of a bare dialog doing the same timer work and of the emulator's
// own work on the commands.
#include "BareAspiLoop.h"
#include "BenchSupport.h"
#include "EmulatorAccess.h"
#include "ScsiTransport.h"
#include "ToolBench.h"

#include <cstdio>
#include <string>

namespace {

// The emulator's own CPU per command, with the least caller work around it: a
// bare loop of TEST UNIT READY without a disc through the emulator's library,
// in this process, with a state file and a command log as in the tools' runs.
double EmulatorCpuPerCommandMs() {
    EmulatorAccess emulator = EmulatorAccess::InAspiLibrary();
    const std::string folder = ProgramPath("e2e-work");
    CreateDirectoryA(folder.c_str(), NULL);
    DeleteFileA((folder + "\\bench-emulator.state").c_str());
    DeleteFileA((folder + "\\bench-emulator.log").c_str());
    if (!emulator
             .Load("[emulator]\nstate = bench-emulator.state\nlog = bench-emulator.log\n\n"
                   "[device 0:0]\nkind = tk4800j\n",
                   folder)
             .empty()) {
        return -1;
    }
    LoadAspiLibrary();
    const int count = 200;
    const double before = ProcessCpuMs(GetCurrentProcess());
    // Without a disc every request ends in a check condition.
    if (!BareAspiCommands(count, SS_ERR)) {
        return -1;
    }
    return (ProcessCpuMs(GetCurrentProcess()) - before) / count;
}

// CPU time of a program in a window of `seconds` once its dialog is ready, and
// the commands its drive received meanwhile; false when either is unknown.
bool IdleWindow(const std::string& program, int seconds, double* cpuMs, double* elapsedMs,
                size_t* commands) {
    ToolSession session(program, "bench-idle-" + program);
    session.WriteScenario(Device("0:0", "kind = tk4800j\ndisc = no"));
    if (!session.Start(ProgramPath::AspiEmulator)) {
        return false;
    }
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, session.Program().ProcessId());
    const std::string path = ProgramPath((program + "_9x.exe").c_str());
    // Start-up's own work is over once the first polls have run.
    Sleep(2000);
    const size_t commandsBefore = session.Commands().size();
    const double cpuBefore = ProgramCpuMs(process, path.c_str());
    const double start = NowMs();
    Sleep(static_cast<DWORD>(seconds) * 1000);
    const double cpuAfter = ProgramCpuMs(process, path.c_str());
    *elapsedMs = NowMs() - start;
    *commands = session.Commands().size() - commandsBefore;
    *cpuMs = cpuAfter - cpuBefore;
    CloseHandle(process);
    return cpuBefore >= 0 && cpuAfter >= 0;
}

} // namespace

int DrvflashCpuBench(int repetitions, int blockMs, int tickSeconds) {
    const double emulatorMs = EmulatorCpuPerCommandMs();
    if (emulatorMs < 0) {
        return Fail("expected the emulator's CPU time per command, it is unknown");
    }
    // The floor: a bare program moving the same bar on the same 100 ms timer.
    double tickCpu = 0, tickElapsed = 1;
    size_t tickCommands = 0;
    if (tickSeconds > 0 &&
        !IdleWindow("bench_tick_drvflash", tickSeconds, &tickCpu, &tickElapsed, &tickCommands)) {
        return Fail("expected the CPU time of the bare ticking flash dialog, it is unknown");
    }
    const double tickShare = tickCpu / tickElapsed;
    std::vector<double> cpuShare, rawShare;
    const std::string settings = "block-delay = " + std::to_string(blockMs);
    for (int repetition = 0; repetition < repetitions; ++repetition) {
        const FlashRun run = RunFlash(Name("flash-cpu", repetition), settings, Watch::Quiet);
        if (run.endText != SuccessText) {
            return Fail(
                ("expected the success text at the run's end, saw '" + run.endText + "'").c_str());
        }
        const Sample* first;
        const Sample* last;
        if (!BlockPassWindow(run, &first, &last)) {
            std::printf(
                "stages at %.0f %.0f %.0f %.0f %.0f %.0f ms; %u samples, CPU %.0f..%.0f ms\n",
                run.stageMs[0], run.stageMs[1], run.stageMs[2], run.stageMs[3], run.stageMs[4],
                run.stageMs[5], static_cast<unsigned>(run.samples.size()),
                run.samples.empty() ? -1.0 : run.samples.front().cpuMs,
                run.samples.empty() ? -1.0 : run.samples.back().cpuMs);
            return Fail("expected the bar to show both block passes and the CPU time to be known");
        }
        // The window holds the 34 block commands; the emulator's own CPU for them is left out.
        const double window = last->ms - first->ms;
        const double toolCpu =
            last->cpuMs - first->cpuMs - BlockCommandCount * emulatorMs - tickShare * window;
        cpuShare.push_back(100.0 * toolCpu / window);
        rawShare.push_back(100.0 * (last->cpuMs - first->cpuMs) / window);
    }
    ReportFigure("drvflash_cpu", 100, Median(cpuShare), "%");
    ReportFigure("drvflash_cpu_raw", 100.0 * tickShare, Median(rawShare), "%");
    ReportFigure("emulator_cpu_per_command", 0, emulatorMs, "ms");
    return 0;
}

int IdleBench(int seconds, bool withBare) {
    const double emulatorMs = EmulatorCpuPerCommandMs();
    double bareCpu = 0, bareElapsed = 1, toolCpu, toolElapsed;
    size_t bareCommands, commands;
    if ((withBare &&
         !IdleWindow("bench_tick_discmode", seconds, &bareCpu, &bareElapsed, &bareCommands)) ||
        !IdleWindow("discmode", seconds, &toolCpu, &toolElapsed, &commands) || emulatorMs < 0) {
        return Fail("expected the CPU times of discmode, its bare dialog and this program, one "
                    "is unknown");
    }
    // What is left to the tool: its process's time, less what a bare program
    // showing the same dialog and rewriting its status on the same 100 ms timer
    // costs, and what the emulator inside the tool spent on the polls.
    const double bareShare = bareCpu / bareElapsed;
    const double own =
        toolCpu - bareShare * toolElapsed - static_cast<double>(commands) * emulatorMs;
    std::printf("discmode: %.0f ms CPU in %.0f ms, %u commands at %.3f ms emulator CPU each; the "
                "bare ticking dialog %.0f ms CPU in %.0f ms\n",
                toolCpu, toolElapsed, static_cast<unsigned>(commands), emulatorMs, bareCpu,
                bareElapsed);
    ReportFigure("discmode_cpu", 100, 100.0 * own / toolElapsed, "%");
    ReportFigure("discmode_cpu_raw", 100.0 * bareShare, 100.0 * toolCpu / toolElapsed, "%");
    ReportFigure("discmode_polls", 0, static_cast<double>(commands), "commands");
    return 0;
}
