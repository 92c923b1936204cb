// What the benchmarks of the built programs share: where the programs are, how
// a drvflash run is started, clicked and watched from outside (the end-to-end
// tests' sessions) against the drive emulator, and the benchmarks themselves,
// each run by bench_tools' main (ToolBench.cpp).
#ifndef ZAL_BENCH_TOOLBENCH_H
#define ZAL_BENCH_TOOLBENCH_H

#include "DrvflashSession.h"

#include <string>
#include <vector>

extern const char* const SuccessText;
extern const char* const ErrorText;
// The pause after leaving flash mode, while the drive starts its new firmware.
extern const double LeaveFlashModePauseMs;
// Block commands of a run: an erase and a program pass of 17 each.
extern const int BlockCommandCount;

// A program beside this one, by its full path (as its command line shows it).
std::string ProgramPath(const char* program);

// A session name unique to a benchmark and its repetition.
std::string Name(const char* prefix, int repetition);

// One sample of a running flash: when, the bar, the status text and (watched
// fast) whether Flash is enabled: it is disabled once the dialog has taken the
// click.
struct Sample {
    double ms;
    int position;
    std::string status;
    bool flashEnabled = true;
};

struct FlashRun {
    double clickToEndMs = -1;
    // When each stage started, from the Flash click, as the drive's log shows
    // it (-1: not seen): flash mode, download, checksum, erase, program, leaving.
    double stageMs[6] = {-1, -1, -1, -1, -1, -1};
    size_t commands = 0; // commands the drive received during the whole session
    std::string endText;
    std::vector<Sample> samples;
    // When the click was taken (NowMs, the clock of the log's ms=), and the
    // drive's log at the run's end.
    double clickAtMs = -1;
    std::vector<zalemu::CommandRecord> log;
};

// How a run is watched. Fast: the dialog only, as often as possible, for the
// run's time. Quiet: the drive's log only while the block passes run, so that
// the dialog is not asked anything then. Timeline: the dialog and the log
// throughout, for the picture.
enum class Watch { Fast, Quiet, Timeline };
FlashRun RunFlash(const std::string& name, const std::string& settings, Watch watch);

// Clicks Flash in a dialog ready to flash; *clickedAt is when the click that was
// taken was sent. False when the button refused every try.
bool ClickFlash(DrvflashSession* session, double* clickedAt);

// The benchmarks; each reports its figures and returns the program's exit code.
int StartupBench(const std::string& tool, int repetitions);
// Runs against a drive that answers at once, less the pause after leaving flash
// mode, beside the run's commands at their bare cost, and the timeline of one run.
int FlashBench(int repetitions);
// The same for slow runs, less the drive's block delays too, and (`svg` not
// null) the timeline picture, from a run of its own watched throughout or
// (`timelineRun` false) from the last measured run.
int FlashSlowBench(int repetitions, int blockMs, const char* svg, bool timelineRun);
// discmode's CPU time (with the Wine server's) while it polls a drive without a
// disc, in `windows` windows of `seconds` each, taking turns with its baseline.
int IdleBench(int windows, int seconds);
// drvflash's CPU time (with the Wine server's) during the block passes of slow
// runs, `pairs` runs each of the tool and of its baseline, taking turns.
int DrvflashCpuBench(int pairs, int blockMs);

#endif