// The benchmarks of the built programs, run and read from outside as a user
// would (the end-to-end tests' sessions) against the drive emulator on the
// Windows 9x path: start-up to Ready beside a bare program showing the same
// dialog (here), whole flash runs beside the run's commands through the bare
// path (FlashBench.cpp), and the tools' CPU time while they wait beside the
// least code doing their work (CpuBench.cpp). This program runs as Windows 98
// with the emulator's wnaspi32.dll too, so that it can send a run's commands
// through the bare path itself.
//
//   bench_tools startup discmode|drvflash REPETITIONS
//   bench_tools flash REPETITIONS
//   bench_tools flash-slow REPETITIONS BLOCK_MS TIMELINE_SVG
//   bench_tools flash-cpu PAIRS BLOCK_MS
//   bench_tools idle SECONDS [WINDOWS]    (5 windows unless told)
//   bench_tools smoke TIMELINE_SVG      (each kind once, tiny)
#include "BenchSupport.h"
#include "ToolBench.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

const char* const SuccessText = "Flashing is Completed. Please turn off your PC.";
const char* const ErrorText = "Flashing Error";
const double LeaveFlashModePauseMs = 1000;
const int BlockCommandCount = 34;

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

namespace {

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

} // namespace

// The tool's extra time to Ready beside the bare program, as the median of the
// paired differences (each pair started one right after the other); the ratio of
// the medians beside it. A negative extra time is a failed measurement: the tool
// does all the bare program does and more.
int StartupBench(const std::string& tool, int repetitions) {
    std::vector<double> bare, measured, extra;
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
            return Fail("expected both dialogs of " + tool + " ready, one never was");
        }
        extra.push_back(measured.back() - bare.back());
    }
    const Spread base = SpreadOf(bare), toolSide = SpreadOf(measured), added = SpreadOf(extra);
    ReportRow("start-up to Ready, " + tool + " (bare program: same template)",
              WithSpread(base, 1, "ms"), WithSpread(toolSide, 1, "ms"),
              Text("%.2fx, %+.1f ms", toolSide.median / base.median, added.median),
              "extra <= 150 ms", AtMost(added.median, 150));
    return 0;
}

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
                              true);
    }
    if (mode == "flash-cpu" && argc >= 4) {
        return DrvflashCpuBench(std::atoi(argv[2]), std::atoi(argv[3]));
    }
    if (mode == "idle" && argc >= 3) {
        return IdleBench(argc >= 4 ? std::atoi(argv[3]) : 5, std::atoi(argv[2]));
    }
    if (mode == "smoke" && argc >= 3) {
        // Each kind once, tiny: the smoke check of the test suite. The idle windows
        // are 2 s, so that both sides' poll counts can be compared.
        if (StartupBench("drvflash", 1) != 0 || FlashSlowBench(1, 20, argv[2], false) != 0 ||
            DrvflashCpuBench(1, 20) != 0) {
            return 1;
        }
        return IdleBench(1, 2);
    }
    std::fprintf(stderr, "usage: bench_tools startup discmode|drvflash REPETITIONS\n"
                         "       bench_tools flash REPETITIONS\n"
                         "       bench_tools flash-slow REPETITIONS BLOCK_MS [TIMELINE_SVG]\n"
                         "       bench_tools flash-cpu PAIRS BLOCK_MS\n"
                         "       bench_tools idle SECONDS [WINDOWS]\n"
                         "       bench_tools smoke TIMELINE_SVG\n");
    return 2;
}
