// The flash runs of drvflash.exe, clicked and watched from outside: against a
// drive that answers at once (click to success text beside the pause after
// leaving flash mode and the run's commands at their bare cost, with the
// timeline of a run) and with slow block commands (beside the drive's own
// time), and the timeline picture of a run.
#include "BareAspiLoop.h"
#include "BenchSupport.h"
#include "EmulatorAccess.h"
#include "ScsiTransport.h"
#include "ToolBench.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

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

} // namespace

bool ClickFlash(DrvflashSession* session, double* clickedAt) {
    // Right after start-up the button may be refused for a moment; it is tried
    // again, and the time is that of the click that was taken.
    *clickedAt = NowMs();
    bool clicked = session->Click(IDC_FLASH);
    for (int retry = 0; retry < 3 && !clicked; ++retry) {
        Sleep(Scaled(200));
        *clickedAt = NowMs();
        clicked = session->WaitForEnabled(IDC_FLASH, true, 5000) && session->Click(IDC_FLASH);
    }
    return clicked;
}

FlashRun RunFlash(const std::string& name, const std::string& settings, Watch watch) {
    FlashRun run;
    DrvflashSession session(name);
    session.WriteScenario(Device("0:0", "kind = tk4800j\nrevision = 2.16\n" + settings));
    if (!session.Start(ProgramPath::AspiEmulator) ||
        !session.WaitForEnabled(IDC_FLASH, true, 30000)) {
        run.endText = "(no dialog ready to flash; status '" + session.Text(IDC_STATUS) + "')";
        return run;
    }
    double start = 0;
    if (!ClickFlash(&session, &start)) {
        run.endText = "(Flash could not be clicked)";
        return run;
    }
    const double limit = Scaled(600000);
    int stage = 0;
    for (;;) {
        Sample sample;
        sample.ms = NowMs() - start;
        sample.position = -1;
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
        }
        const bool askDialog = watch != Watch::Quiet || stage < 3 || stage >= 5;
        if (askDialog) {
            sample.status = session.Text(IDC_STATUS);
            sample.position = session.Progress();
        }
        if (watch == Watch::Fast) {
            sample.flashEnabled = session.Enabled(IDC_FLASH);
        }
        if (watch != Watch::Fast || run.samples.empty() ||
            run.samples.back().position != sample.position ||
            run.samples.back().status != sample.status ||
            run.samples.back().flashEnabled != sample.flashEnabled) {
            run.samples.push_back(sample);
        }
        if (sample.status == SuccessText || sample.status == ErrorText || sample.ms > limit) {
            run.clickToEndMs = sample.ms;
            run.endText = sample.status;
            break;
        }
        Sleep(watch == Watch::Fast ? 5 : 20);
    }
    run.clickAtMs = start;
    run.log = session.Commands();
    run.commands = run.log.size();
    return run;
}

namespace {

// The settings of the drive every flash run meets.
const char* const DriveSettings = "kind = tk4800j\nrevision = 2.16\n";

// The commands of a run from its click to its success text, as the drive's log
// shows them: from the first after the click to the leaving of flash mode (0xCC
// sub-command 1, the last flash-mode command), after which the worker only
// pauses. The start-up's INQUIRY comes before the click, and the re-read of the
// version after the success text, however late the sampling saw that text.
std::vector<zalemu::CommandRecord> RunCommands(const FlashRun& run) {
    std::vector<zalemu::CommandRecord> commands;
    size_t end = 0;
    for (const zalemu::CommandRecord& record : run.log) {
        if (record.ms < run.clickAtMs) {
            continue;
        }
        commands.push_back(record);
        if (record.Opcode() == 0xCC && record.cdb.size() > 1 && record.cdb[1] == 1) {
            end = commands.size();
        }
    }
    commands.resize(end);
    return commands;
}

// The bare cost of `commands`: the same CDBs, directions and lengths through the
// bare path (BareAspiCommand) to a drive emulated in this program, which begins
// each pass as the tool's drive began its run and logs as it does, the
// downloads carrying the image of the tool's own program file in order, so that
// the drive does the same work (the checksum matches, the blocks are written).
// The drive has the run's `settings` (a block delay, say), so the bare path
// waits for what the tool's drive made it wait for. Pass `pass` is added: its
// milliseconds to *costs, each command's to *each (per command, over the
// passes). False, with what went wrong in *why, when a command ended otherwise
// than it did for the tool.
bool BareCostMs(const std::vector<zalemu::CommandRecord>& commands, const std::string& settings,
                int pass, std::vector<double>* costs, std::vector<std::vector<double>>* each,
                std::string* why) {
    if (each->size() < commands.size()) {
        each->resize(commands.size());
    }
    std::vector<unsigned char> image = ImageAtEndOf(ProgramPath("drvflash_9x.exe"));
    if (image.empty()) {
        *why = "no image at the end of drvflash_9x.exe";
        return false;
    }
    EmulatorAccess emulator = EmulatorAccess::InAspiLibrary();
    LoadAspiLibrary();
    // A fresh folder: the drive starts again with its old firmware.
    ToolSession folder("drvflash", Name("flash-bare", pass));
    const std::string error =
        emulator.Load("[emulator]\nstate = drive.state\nlog = commands.log\n\n" +
                          Device("0:0", DriveSettings + settings),
                      folder.Folder());
    if (!error.empty()) {
        *why = "the emulator did not load its drive: " + error;
        return false;
    }
    std::vector<BYTE> in(65536);
    size_t imageAt = 0;
    const double start = NowMs();
    for (size_t i = 0; i < commands.size(); ++i) {
        const zalemu::CommandRecord& command = commands[i];
        const double commandStart = NowMs();
        BYTE* data = in.data();
        BYTE direction = 0;
        if (command.direction == zalemu::Direction::Out) {
            direction = SRB_DIR_OUT;
            data = imageAt + command.length <= image.size() ? &image[imageAt] : in.data();
            imageAt += command.length;
        } else if (command.direction == zalemu::Direction::In) {
            direction = SRB_DIR_IN;
        }
        if (command.length > in.size() && direction != SRB_DIR_OUT) {
            *why = "a command longer than the bare path's buffer";
            return false;
        }
        BareAspiCommand(command.cdb.data(), static_cast<BYTE>(command.cdb.size()), direction, data,
                        command.length);
        (*each)[i].push_back(NowMs() - commandStart);
    }
    costs->push_back(NowMs() - start);
    const std::vector<zalemu::CommandRecord> bare = emulator.Commands();
    for (size_t i = 0; i < commands.size(); ++i) {
        if (i >= bare.size() || bare[i].outcome != commands[i].outcome) {
            *why = Text("command %u of the run ended '%s' for the tool, '%s' bare",
                        static_cast<unsigned>(i + 1), commands[i].outcome.c_str(),
                        i < bare.size() ? bare[i].outcome.c_str() : "(not logged)");
            return false;
        }
    }
    return true;
}

std::vector<double> Medians(const std::vector<std::vector<double>>& each) {
    std::vector<double> medians;
    for (const std::vector<double>& values : each) {
        medians.push_back(Median(values));
    }
    return medians;
}

std::string CdbText(const zalemu::CommandRecord& record) {
    std::string text;
    for (size_t i = 0; i < record.cdb.size(); ++i) {
        text += Text(i == 0 ? "%02X" : "-%02X", record.cdb[i]);
    }
    return text;
}

// The timeline of one run, a line per event from the click: each command as the
// drive carried it out, each change of the dialog's bar or status text as
// sampled, the success text; then where the time went.
void PrintTimeline(const FlashRun& run, const std::vector<zalemu::CommandRecord>& commands,
                   const std::vector<double>& bareMs) {
    struct Event {
        double ms;
        std::string what;
    };
    std::vector<Event> events;
    for (const zalemu::CommandRecord& command : commands) {
        events.push_back({command.ms - run.clickAtMs,
                          Text("command %u %s len=%u %s", command.index, CdbText(command).c_str(),
                               command.length, command.outcome.c_str())});
    }
    for (const Sample& sample : run.samples) {
        events.push_back(
            {sample.ms, Text("dialog bar=%d status '%s'%s", sample.position, sample.status.c_str(),
                             sample.flashEnabled ? "" : " (Flash disabled)")});
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const Event& a, const Event& b) { return a.ms < b.ms; });
    for (size_t i = 0; i <= events.size(); ++i) {
        if (i == 0) {
            std::printf("TIMELINE 0.0 click\n");
        } else {
            std::printf("TIMELINE %.1f %s\n", events[i - 1].ms, events[i - 1].what.c_str());
        }
    }
    if (commands.size() < 2) {
        return;
    }
    // The leaving of flash mode is the last command before the drive's pause.
    const double first = commands.front().ms - run.clickAtMs;
    const double last = commands.back().ms - run.clickAtMs;
    // Between two commands the tool spends the gap less the bare cost of the
    // later one (its carrying out, and the end of the one before as the bare
    // path sees it).
    double bareAll = 0, extraAll = 0, widest = 0;
    size_t widestAt = 1;
    for (size_t i = 0; i < commands.size() && i < bareMs.size(); ++i) {
        bareAll += bareMs[i];
        if (i == 0) {
            continue;
        }
        const double extra = commands[i].ms - commands[i - 1].ms - bareMs[i];
        extraAll += extra;
        if (extra > widest) {
            widest = extra;
            widestAt = i;
        }
    }
    std::printf("SPENT click to the first command: %.1f ms\n", first);
    std::printf("SPENT first to last command: %.1f ms for %u commands (bare cost of all: %.1f "
                "ms); beyond their bare cost %.1f ms in all, most before "
                "command %u %s: %.1f ms\n",
                last - first, static_cast<unsigned>(commands.size()), bareAll, extraAll,
                commands[widestAt].index, CdbText(commands[widestAt]).c_str(), widest);
    std::printf("SPENT last command (leaving flash mode) to the success text: %.1f ms (the "
                "drive's pause %.0f ms)\n",
                run.clickToEndMs - last, LeaveFlashModePauseMs);
    std::printf("SPENT click to the success text: %.1f ms\n", run.clickToEndMs);
    std::fflush(stdout);
}

} // namespace

namespace {

// Runs of a scenario, each followed by its commands through the bare path, so
// that both meet the machine alike: each run's time, the commands' bare cost of
// each pass (`priced` false with `why` when a pass failed), each command's cost
// per pass, and the last run. 0 (with the reason on stderr) when a run did not
// end with the success text.
struct PricedRuns {
    std::vector<double> measured, bare;
    std::vector<std::vector<double>> each;
    std::string why;
    bool priced = true;
    FlashRun last;
};

int RunAndPrice(const char* name, int repetitions, const std::string& settings, Watch watch,
                PricedRuns* runs) {
    for (int repetition = 0; repetition < repetitions; ++repetition) {
        const FlashRun run = RunFlash(Name(name, repetition), settings, watch);
        if (run.endText != SuccessText) {
            Fail("expected the success text at the run's end, saw '" + run.endText + "'");
            return 0;
        }
        runs->measured.push_back(run.clickToEndMs);
        runs->priced = runs->priced && BareCostMs(RunCommands(run), settings, repetition,
                                                  &runs->bare, &runs->each, &runs->why);
        runs->last = run;
    }
    return 1;
}

// The row of a flash run: from the click to the success text less the drive's
// own time (the pause after leaving flash mode and `delayMs` of block delays),
// beside the run's commands through the bare path to the same drive less the
// same delays; each run over the pricing right after it, against 1.2.
void FlashRow(const std::string& label, const PricedRuns& runs, double delayMs) {
    std::vector<double> tool, bare;
    for (size_t i = 0; i < runs.measured.size() && i < runs.bare.size(); ++i) {
        tool.push_back(runs.measured[i] - LeaveFlashModePauseMs - delayMs);
        bare.push_back(runs.bare[i] - delayMs);
    }
    const std::vector<double> ratios = PairRatios(tool, bare);
    if (!runs.priced) {
        std::fprintf(stderr, "the commands could not be priced: %s\n", runs.why.c_str());
    }
    ReportRow(label,
              runs.priced ? "bare path: " + WithSpread(SpreadOf(bare), 1, "ms")
                          : "not measured: " + runs.why,
              WithSpread(SpreadOf(tool), 1, "ms"), WithSpread(SpreadOf(ratios), 2, "x"),
              "<= 1.2x the bare path", runs.priced ? RatioAtMost(ratios, 1.2) : Verdict::Failed);
}

} // namespace

int FlashBench(int repetitions) {
    PricedRuns runs;
    if (!RunAndPrice("flash", repetitions, "", Watch::Fast, &runs)) {
        return 1;
    }
    const std::vector<zalemu::CommandRecord> commands = RunCommands(runs.last);
    FlashRow(Text("flash run, instant drive: click to success text less the 1,000 ms pause, "
                  "%u commands, %d runs",
                  static_cast<unsigned>(commands.size()), repetitions),
             runs, 0);
    if (runs.priced) {
        PrintTimeline(runs.last, commands, Medians(runs.each));
    }
    return 0;
}

int FlashSlowBench(int repetitions, int blockMs, const char* svg, bool timelineRun) {
    const std::string settings = "block-delay = " + std::to_string(blockMs);
    PricedRuns runs;
    if (!RunAndPrice("flash-slow", repetitions, settings, Watch::Quiet, &runs)) {
        return 1;
    }
    if (svg != NULL) {
        const FlashRun run =
            timelineRun ? RunFlash("bench-flash-timeline", settings, Watch::Timeline) : runs.last;
        if (run.endText != SuccessText || !WriteTimeline(run, svg, blockMs)) {
            return Fail("expected a successful run drawn in the timeline picture");
        }
    }
    FlashRow(Text("flash run, block commands of %d ms: click to success text less the pause and "
                  "%d x %d ms, %d runs",
                  blockMs, BlockCommandCount, blockMs, repetitions),
             runs, BlockCommandCount * static_cast<double>(blockMs));
    return 0;
}
