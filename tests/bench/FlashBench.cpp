// The flash runs of drvflash.exe, clicked and watched from outside: against a
// drive that answers at once (click to success text beside the pause after
// leaving flash mode) and with slow block commands (beside the drive's own
// time), and the timeline picture of a run.
#include "BenchSupport.h"
#include "ToolBench.h"

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

int FlashSlowBench(int repetitions, int blockMs, const char* svg, bool timelineRun) {
    std::vector<double> measured;
    FlashRun lastRun;
    const std::string settings = "block-delay = " + std::to_string(blockMs);
    const double driveMs = BlockCommandCount * static_cast<double>(blockMs) + LeaveFlashModePauseMs;
    for (int repetition = 0; repetition < repetitions; ++repetition) {
        const FlashRun run = RunFlash(Name("flash-slow", repetition), settings, Watch::Quiet);
        if (run.endText != SuccessText) {
            return Fail(
                ("expected the success text at the run's end, saw '" + run.endText + "'").c_str());
        }
        measured.push_back(run.clickToEndMs);
        lastRun = run;
    }
    if (svg != NULL) {
        const FlashRun run =
            timelineRun ? RunFlash("bench-flash-timeline", settings, Watch::Timeline) : lastRun;
        if (run.endText != SuccessText || !WriteTimeline(run, svg, blockMs)) {
            return Fail("expected a successful run drawn in the timeline picture");
        }
    }
    ReportFigure("flash_slow", driveMs, Median(measured), "ms");
    return 0;
}
