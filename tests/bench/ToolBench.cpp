// The benchmarks of the built programs, run and read from outside as a user
// would (the end-to-end tests' sessions) against the drive emulator on the
// Windows 9x path: start-up to Ready beside a bare program showing the same
// dialog, whole flash runs beside the drive's own time, and the tools' CPU time
// while they wait. This program runs as Windows 98 with the emulator's
// wnaspi32.dll too, so that it can measure what the emulator itself spends on a
// command, which the CPU figures leave out.
//
//   bench_tools startup discmode|drvflash REPETITIONS
//   bench_tools flash REPETITIONS
//   bench_tools flash-slow REPETITIONS BLOCK_MS TIMELINE_SVG
//   bench_tools idle SECONDS
//   bench_tools smoke TIMELINE_SVG      (each kind once, tiny)
#include "BareAspiLoop.h"
#include "BenchSupport.h"
#include "DrvflashSession.h"
#include "EmulatorAccess.h"
#include "ScsiTransport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* const SuccessText = "Flashing is Completed. Please turn off your PC.";
const char* const ErrorText = "Flashing Error";
// The pause after leaving flash mode, while the drive starts its new firmware.
const double LeaveFlashModePauseMs = 1000;
// Block commands of a run: an erase and a program pass of 17 each.
const int BlockCommandCount = 34;

// A program beside this one, by its full path (as its command line shows it).
std::string ProgramPath(const char* program) {
    char folder[MAX_PATH];
    GetCurrentDirectoryA(sizeof folder, folder);
    return std::string(folder) + "\\" + program;
}

std::string Name(const char* prefix, int repetition) {
    char name[64];
    std::snprintf(name, sizeof name, "bench-%s-%d", prefix, repetition);
    return name;
}

// Milliseconds from the program's start to its dialog being ready (the drive
// list enabled); negative when it did not get there.
double StartupMs(const std::string& program, int repetition) {
    ToolSession session(program, Name(program.c_str(), repetition));
    session.WriteScenario(Device("0:0", "kind = tk4800j") + Device("0:1", "kind = optical") +
                          Device("1:0", "kind = tk4800j\nrevision = 2.20"));
    const double start = NowMs();
    if (!session.Start(ProgramPath::AspiEmulator)) {
        return -1;
    }
    return NowMs() - start;
}

int StartupBench(const std::string& tool, int repetitions) {
    std::vector<double> bare, measured;
    for (int repetition = 0; repetition < repetitions; ++repetition) {
        // Turn about which goes first, so that neither always meets a colder system.
        if (repetition % 2 == 0) {
            bare.push_back(StartupMs("bench_bare_" + tool, repetition));
            measured.push_back(StartupMs(tool, repetition));
        } else {
            measured.push_back(StartupMs(tool, repetition));
            bare.push_back(StartupMs("bench_bare_" + tool, repetition));
        }
        if (bare.back() < 0 || measured.back() < 0) {
            return Fail(("expected both dialogs of " + tool + " ready, one never was").c_str());
        }
    }
    ReportFigure(("startup_" + tool).c_str(), Median(bare), Median(measured), "ms");
    return 0;
}

// One sample of a running flash: when, the bar, the status text, the tool's CPU.
struct Sample {
    double ms;
    int position;
    std::string status;
    double cpuMs;
};

struct FlashRun {
    double clickToEndMs = -1;
    // When each stage started, from the Flash click, as the drive's log shows
    // it (-1: not seen): flash mode, download, checksum, erase, program, leaving.
    double stageMs[6] = {-1, -1, -1, -1, -1, -1};
    size_t commands = 0; // commands the drive received during the whole session
    std::string endText;
    std::vector<Sample> samples;
};

// The stage the drive's log shows reached: the log records a command once it
// has been carried out, so a stage has started when the last command of the
// stage before it is in the log (the erase pass right after the checksum, the
// program pass after the 17th erase, leaving after the 17th program command).
int StageInLog(const std::vector<zalemu::CommandRecord>& records) {
    // 0xCB sub-command 1 downloads, 4 erases, 2 programs; 0xCC sub-command 4 is the checksum.
    int downloads = 0, checksums = 0, erases = 0, programs = 0;
    for (const zalemu::CommandRecord& record : records) {
        const int sub = record.cdb.size() > 1 ? record.cdb[1] : -1;
        downloads += record.Opcode() == 0xCB && sub == 1;
        checksums += record.Opcode() == 0xCC && sub == 4;
        erases += record.Opcode() == 0xCB && sub == 4;
        programs += record.Opcode() == 0xCB && sub == 2;
    }
    const int passLength = BlockCommandCount / 2;
    return programs >= passLength ? 5
           : erases >= passLength ? 4
           : checksums > 0        ? 3
           : downloads > 0        ? 1
                                  : 0;
}

// How a run is watched. Fast: the dialog only, as often as possible, for the
// run's time. Quiet: the drive's log and the CPU time only while the block passes
// run, so that the dialog (whose CPU time is measured) is not asked anything
// then. Timeline: the dialog and the log throughout, for the picture.
enum class Watch { Fast, Quiet, Timeline };

FlashRun RunFlash(const std::string& name, const std::string& settings, Watch watch) {
    FlashRun run;
    DrvflashSession session(name);
    session.WriteScenario(Device("0:0", "kind = tk4800j\nrevision = 2.16\n" + settings));
    if (!session.Start(ProgramPath::AspiEmulator) ||
        !session.WaitForEnabled(IdFlash, true, 30000)) {
        run.endText = "(no dialog ready to flash; status '" + session.Text(IdStatus) + "')";
        return run;
    }
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, session.Program().ProcessId());
    const std::string path = ProgramPath("drvflash_9x.exe");
    // Right after start-up the button may be refused for a moment; it is tried
    // again, and the run's time counts from the click that was taken.
    double start = NowMs();
    bool clicked = session.Click(IdFlash);
    for (int retry = 0; retry < 3 && !clicked; ++retry) {
        Sleep(Scaled(200));
        start = NowMs();
        clicked = session.WaitForEnabled(IdFlash, true, 5000) && session.Click(IdFlash);
    }
    if (!clicked) {
        CloseHandle(process);
        run.endText = "(Flash could not be clicked)";
        return run;
    }
    const double limit = Scaled(600000);
    int stage = 0;
    for (;;) {
        Sample sample;
        sample.ms = NowMs() - start;
        sample.position = -1;
        sample.cpuMs = -1;
        if (watch != Watch::Fast) {
            // One reading of the log per sample: a second could see a later stage whose
            // start the first did not record. Every stage passed over gets this sample's
            // time; so the checksum, one instant command, starts with the erase pass.
            const int seen = StageInLog(session.Commands());
            for (; stage < seen; ++stage) {
                if (run.stageMs[stage + 1] < 0) {
                    run.stageMs[stage + 1] = sample.ms;
                }
            }
            run.stageMs[0] = 0;
            sample.cpuMs = ProgramCpuMs(process, path.c_str());
        }
        const bool askDialog = watch != Watch::Quiet || stage < 3 || stage >= 5;
        if (askDialog) {
            sample.status = session.Text(IdStatus);
            sample.position = session.Progress();
        }
        if (watch != Watch::Fast || run.samples.empty() ||
            run.samples.back().position != sample.position ||
            run.samples.back().status != sample.status) {
            run.samples.push_back(sample);
        }
        if (sample.status == SuccessText || sample.status == ErrorText || sample.ms > limit) {
            run.clickToEndMs = sample.ms;
            run.endText = sample.status;
            break;
        }
        Sleep(watch == Watch::Fast ? 5 : 20);
    }
    CloseHandle(process);
    run.commands = session.Commands().size();
    return run;
}

int FlashBench(int repetitions) {
    std::vector<double> measured;
    size_t commands = 0;
    for (int repetition = 0; repetition < repetitions; ++repetition) {
        const FlashRun run = RunFlash(Name("flash", repetition), "", Watch::Fast);
        commands = run.commands;
        if (run.endText != SuccessText) {
            return Fail(
                ("expected the success text at the run's end, saw '" + run.endText + "'").c_str());
        }
        measured.push_back(run.clickToEndMs);
    }
    ReportFigure("flash_instant", LeaveFlashModePauseMs, Median(measured), "ms");
    ReportFigure("flash_instant_commands", 0, static_cast<double>(commands), "commands");
    return 0;
}

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

// The picture of a run: the bar's position per sample as a step line over time,
// and a mark where each stage started.
bool WriteTimeline(const FlashRun& run, const char* path, int blockMs) {
    FILE* out = std::fopen(path, "w");
    if (out == NULL || run.samples.empty()) {
        return false;
    }
    const double width = 640, height = 240, left = 50, top = 30, plotW = 570, plotH = 170;
    const double endMs = run.samples.back().ms > 0 ? run.samples.back().ms : 1;
    std::fprintf(out,
                 "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" "
                 "font-family=\"sans-serif\" font-size=\"11\">\n"
                 "<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n"
                 "<text x=\"%.0f\" y=\"18\">drvflash run, block commands %d ms each: bar "
                 "position (of 10000) from the Flash click, %.1f s in all</text>\n",
                 width, height, left, blockMs, endMs / 1000);
    std::fprintf(out,
                 "<line x1=\"%.0f\" y1=\"%.0f\" x2=\"%.0f\" y2=\"%.0f\" stroke=\"black\"/>\n"
                 "<line x1=\"%.0f\" y1=\"%.0f\" x2=\"%.0f\" y2=\"%.0f\" stroke=\"black\"/>\n",
                 left, top + plotH, left + plotW, top + plotH, left, top, left, top + plotH);
    const char* const stageNames[6] = {"flash mode", "download", "checksum",
                                       "erase",      "program",  "leave"};
    double labelX = 0;
    for (int stage = 0; stage < 6; ++stage) {
        if (run.stageMs[stage] < 0) {
            continue;
        }
        const double x = left + plotW * run.stageMs[stage] / endMs;
        // Stages that start within a tick of each other get their labels side by side.
        labelX = x + 10 > labelX + 13 ? x + 10 : labelX + 13;
        std::fprintf(out,
                     "<line x1=\"%.1f\" y1=\"%.0f\" x2=\"%.1f\" y2=\"%.0f\" stroke=\"#999\" "
                     "stroke-dasharray=\"3,3\"/>\n<text x=\"%.1f\" y=\"%.0f\" "
                     "transform=\"rotate(-90 %.1f %.0f)\">%s %.1f s</text>\n",
                     x, top, x, top + plotH, labelX, top + plotH - 4, labelX, top + plotH - 4,
                     stageNames[stage], run.stageMs[stage] / 1000);
    }
    std::fprintf(out, "<polyline fill=\"none\" stroke=\"#1565c0\" stroke-width=\"2\" points=\"");
    double lastY = top + plotH;
    for (const Sample& sample : run.samples) {
        if (sample.position < 0) {
            continue;
        }
        const double x = left + plotW * sample.ms / endMs;
        const double y = top + plotH - plotH * sample.position / 10000.0;
        std::fprintf(out, "%.1f,%.1f %.1f,%.1f ", x, lastY, x, y);
        lastY = y;
    }
    std::fprintf(out,
                 "\"/>\n<text x=\"%.0f\" y=\"%.0f\">0 s</text><text x=\"%.0f\" "
                 "y=\"%.0f\" text-anchor=\"end\">%.1f s</text>\n</svg>\n",
                 left, top + plotH + 16, left + plotW, top + plotH + 16, endMs / 1000);
    std::fclose(out);
    return true;
}

// The block passes of a run: the samples nearest the erase pass's start and the
// program pass's end.
bool BlockPassWindow(const FlashRun& run, const Sample** first, const Sample** last) {
    *first = *last = NULL;
    if (run.stageMs[3] < 0 || run.stageMs[5] < 0) {
        return false;
    }
    for (const Sample& sample : run.samples) {
        if (*first == NULL && sample.ms >= run.stageMs[3]) {
            *first = &sample;
        }
        if (*last == NULL && sample.ms >= run.stageMs[5]) {
            *last = &sample;
        }
    }
    return *first != NULL && *last != NULL && (*first)->cpuMs >= 0 && (*last)->ms > (*first)->ms;
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

// The slow runs; the picture comes from a run of its own, watched throughout,
// or (`timelineRun` false) from the last measured run, whose bar is not read
// while the block passes run.
int FlashSlowBench(int repetitions, int blockMs, const char* svg, bool timelineRun,
                   int tickSeconds) {
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
    std::vector<double> measured, cpuShare, rawShare;
    FlashRun lastRun;
    char settings[64];
    std::snprintf(settings, sizeof settings, "block-delay = %d", blockMs);
    const double driveMs = BlockCommandCount * static_cast<double>(blockMs) + LeaveFlashModePauseMs;
    for (int repetition = 0; repetition < repetitions; ++repetition) {
        const FlashRun run = RunFlash(Name("flash-slow", repetition), settings, Watch::Quiet);
        if (run.endText != SuccessText) {
            return Fail(
                ("expected the success text at the run's end, saw '" + run.endText + "'").c_str());
        }
        measured.push_back(run.clickToEndMs);
        lastRun = run;
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
    if (svg != NULL) {
        const FlashRun run =
            timelineRun ? RunFlash("bench-flash-timeline", settings, Watch::Timeline) : lastRun;
        if (run.endText != SuccessText || !WriteTimeline(run, svg, blockMs)) {
            return Fail("expected a successful run drawn in the timeline picture");
        }
    }
    ReportFigure("flash_slow", driveMs, Median(measured), "ms");
    ReportFigure("drvflash_cpu", 100, Median(cpuShare), "%");
    ReportFigure("drvflash_cpu_raw", 100.0 * tickShare, Median(rawShare), "%");
    ReportFigure("emulator_cpu_per_command", 0, emulatorMs, "ms");
    return 0;
}

// `withBare` false: the bare dialog is not measured and counts as costing nothing.
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

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "startup" && argc >= 4) {
        return StartupBench(argv[2], std::atoi(argv[3]));
    }
    if (mode == "flash" && argc >= 3) {
        return FlashBench(std::atoi(argv[2]));
    }
    if (mode == "flash-slow" && argc >= 4) {
        return FlashSlowBench(std::atoi(argv[2]), std::atoi(argv[3]), argc >= 5 ? argv[4] : NULL,
                              true, 10);
    }
    if (mode == "idle" && argc >= 3) {
        return IdleBench(std::atoi(argv[2]), true);
    }
    if (mode == "smoke" && argc >= 3) {
        // Each kind once, tiny: the smoke check of the test suite.
        if (StartupBench("drvflash", 1) != 0 || FlashSlowBench(1, 20, argv[2], false, 0) != 0) {
            return 1;
        }
        return IdleBench(1, false);
    }
    std::fprintf(stderr, "usage: bench_tools startup discmode|drvflash REPETITIONS\n"
                         "       bench_tools flash REPETITIONS\n"
                         "       bench_tools flash-slow REPETITIONS BLOCK_MS [TIMELINE_SVG]\n"
                         "       bench_tools idle SECONDS\n"
                         "       bench_tools smoke TIMELINE_SVG\n");
    return 2;
}
