// The tools' CPU time while they wait on the drive: discmode polling a drive
// without a disc, and drvflash during the block passes of slow runs. Each is set
// beside its baseline, the bare program doing exactly the tool's work less the
// tool (BareDialog.cpp: the same timer, the same commands through the same
// library, the same control updates), tool and baseline taking turns in the
// same run. The judged figure is the tool's CPU less the emulator's work in its
// process (the emulator is the tool's wnaspi32.dll): that work is measured
// apart, on an instant drive that completes each command on the caller's thread.
#include "BareAspiLoop.h"
#include "BenchSupport.h"
#include "EmulatorAccess.h"
#include "ScsiTransport.h"
#include "ToolBench.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace {

// The emulator completes each command on the caller's thread: an instant drive,
// whose own work is small and the same for tool and baseline.
const char* const EmulatorSettings = "completion = caller\n";

// The scenario of a session, with the emulator's settings for these runs.
void WriteRunScenario(const ToolSession& session, const std::string& device) {
    std::ofstream(session.Folder() + "\\scenario.txt", std::ios::binary | std::ios::trunc)
        << "[emulator]\nstate = drive.state\nlog = commands.log\n"
        << EmulatorSettings << "\n[device 0:0]\n"
        << device << "\n";
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
             .Load(std::string("[emulator]\nstate = bench-emulator.state\nlog = "
                               "bench-emulator.log\n") +
                       EmulatorSettings + "\n[device 0:0]\nkind = tk4800j\n",
                   folder)
             .empty()) {
        return -1;
    }
    LoadAspiLibrary();
    const int count = 2000;
    const double before = ProcessCpuMs(GetCurrentProcess());
    // Without a disc every request ends in a check condition.
    if (!BareAspiCommands(count, SS_ERR)) {
        return -1;
    }
    return (ProcessCpuMs(GetCurrentProcess()) - before) / count;
}

// ---- A program's CPU time, to the nanosecond where Linux tells it ----

// Under Wine another process's times are read from Linux's /proc. Its process
// times count 10 ms ticks, too coarse for a tool that spends a few ms in a
// window; each thread's time on a CPU (/proc/PID/task/TID/schedstat, first
// field) is counted in nanoseconds. Elsewhere ProgramCpuMs gives the time.
struct CpuReading {
    std::map<std::string, double> threadNs; // by thread id
    double ms = -1;                         // where there is no /proc
};

std::string ProcText(const std::string& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The Linux process whose command line holds `path` and which started last; "" if none.
std::string LinuxProcessOf(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &found);
    std::string best;
    double newest = -1;
    while (search != INVALID_HANDLE_VALUE) {
        const std::string folder = std::string("Z:\\proc\\") + found.cFileName;
        std::string command = found.cFileName[0] >= '0' && found.cFileName[0] <= '9'
                                  ? ProcText(folder + "\\cmdline")
                                  : std::string();
        std::replace(command.begin(), command.end(), '\0', ' ');
        if (command.find(path) != std::string::npos) {
            // The start time is the 22nd field of stat, the 20th after the name's ')'.
            const std::string stat = ProcText(folder + "\\stat");
            std::istringstream fields(stat.substr(stat.rfind(')') + 1));
            std::string field;
            for (int i = 0; i < 20 && fields >> field; ++i) {
            }
            const double started = std::atof(field.c_str());
            if (started > newest) {
                newest = started;
                best = found.cFileName;
            }
        }
        if (!FindNextFileA(search, &found)) {
            FindClose(search);
            break;
        }
    }
    return best;
}

CpuReading ReadCpu(HANDLE process, const std::string& path) {
    CpuReading reading;
    const std::string pid = GetFileAttributesA("Z:\\proc\\self") == INVALID_FILE_ATTRIBUTES
                                ? std::string()
                                : LinuxProcessOf(path);
    if (pid.empty()) {
        reading.ms = ProgramCpuMs(process, path.c_str());
        return reading;
    }
    const std::string tasks = "Z:\\proc\\" + pid + "\\task\\";
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((tasks + "*").c_str(), &found);
    while (search != INVALID_HANDLE_VALUE) {
        const std::string schedstat = found.cFileName[0] >= '0' && found.cFileName[0] <= '9'
                                          ? ProcText(tasks + found.cFileName + "\\schedstat")
                                          : std::string();
        if (!schedstat.empty()) {
            reading.threadNs[found.cFileName] = std::atof(schedstat.c_str());
        }
        if (!FindNextFileA(search, &found)) {
            FindClose(search);
            break;
        }
    }
    return reading;
}

// The CPU time from `first` to `last` in ms; -1 when it is unknown, or when a
// thread of the first reading has ended since (its time would be lost).
double CpuBetween(const CpuReading& first, const CpuReading& last) {
    if (first.threadNs.empty() || last.threadNs.empty()) {
        return first.ms < 0 || last.ms < 0 ? -1 : last.ms - first.ms;
    }
    double ns = 0;
    for (const auto& thread : last.threadNs) {
        const auto before = first.threadNs.find(thread.first);
        ns += thread.second - (before == first.threadNs.end() ? 0 : before->second);
    }
    for (const auto& thread : first.threadNs) {
        if (last.threadNs.count(thread.first) == 0) {
            return -1;
        }
    }
    return ns / 1e6;
}

// ---- The windows ----

// The commands a tool's drive has received once start-up is over: the probe
// and the first polls.
const size_t FirstPolls = 5;

// A program's CPU time, as a share of one core, in a window of `seconds` once
// its dialog is ready and its first polls have run, and the polls its drive
// received meanwhile; false when the program did not start.
bool IdleWindow(const std::string& program, int window, int seconds, double* share, double* polls) {
    ToolSession session(program, Name(("idle-" + program).c_str(), window));
    WriteRunScenario(session, "kind = tk4800j\ndisc = no");
    if (!session.Start(ProgramPath::AspiEmulator)) {
        return false;
    }
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, session.Program().ProcessId());
    const std::string path = ProgramPath((program + "_9x.exe").c_str());
    // Start-up's own work is over once the drive has seen a few polls.
    const double until = NowMs() + Scaled(10000);
    size_t commandsBefore = session.Commands().size();
    while (commandsBefore < FirstPolls && NowMs() < until) {
        WaitForSingleObject(process, 20);
        commandsBefore = session.Commands().size();
    }
    const CpuReading cpuBefore = ReadCpu(process, path);
    const double start = NowMs();
    Sleep(static_cast<DWORD>(seconds) * 1000);
    const CpuReading cpuAfter = ReadCpu(process, path);
    const double elapsed = NowMs() - start;
    *polls = static_cast<double>(session.Commands().size() - commandsBefore);
    CloseHandle(process);
    // A CPU time the system did not tell makes a share below zero: a failed measurement.
    const double cpu = CpuBetween(cpuBefore, cpuAfter);
    *share = cpu < 0 ? -1 : 100.0 * cpu / elapsed;
    return true;
}

// How far a flash run's drive log has come: 0 before the block passes, 1 once
// the erase pass has begun (the checksum is in the log), 2 once the program
// pass has ended (its 17th command is in the log); -1 when the run left flash
// mode before that.
int BlockPassProgress(const std::vector<zalemu::CommandRecord>& records) {
    int programs = 0;
    bool checksum = false;
    for (const zalemu::CommandRecord& record : records) {
        const int sub = record.cdb.size() > 2 ? record.cdb[1] : -1;
        checksum = checksum || (record.Opcode() == 0xCC && sub == 4);
        programs += record.Opcode() == 0xCB && sub == 2;
        if (record.Opcode() == 0xCC && sub == 1 && record.cdb[2] == 0 &&
            programs < BlockCommandCount / 2) {
            return -1;
        }
    }
    return programs >= BlockCommandCount / 2 ? 2 : checksum ? 1 : 0;
}

// The CPU share of a program (by its path) during the block passes of the run
// its session's drive receives, watched from outside every 20 ms through the
// drive's log alone; -1 when the CPU time is unknown, -2 when the run failed.
double BlockPassShare(const ToolSession& session, HANDLE process, const std::string& path) {
    double startMs = -1;
    CpuReading startCpu;
    const double limit = NowMs() + Scaled(600000);
    for (;;) {
        const int progress = BlockPassProgress(session.Commands());
        const double now = NowMs();
        if (progress < 0 || now > limit) {
            return -2;
        }
        if (progress >= 1 && startMs < 0) {
            startMs = now;
            startCpu = ReadCpu(process, path);
        }
        if (progress == 2) {
            const double cpu = CpuBetween(startCpu, ReadCpu(process, path));
            return cpu < 0 || now <= startMs ? -1 : 100.0 * cpu / (now - startMs);
        }
        Sleep(20);
    }
}

// The commands of a tool run's worker, from its drive's log: from entering flash
// mode to leaving it, each with the stage the run is in while it is sent (0
// flash mode, 1 download, 2 checksum, 3 erase, 4 program, 5 leaving).
std::string RunCommandList(const std::vector<zalemu::CommandRecord>& records) {
    std::string list;
    bool inRun = false;
    for (const zalemu::CommandRecord& record : records) {
        const int sub = record.cdb.size() > 2 ? record.cdb[1] : -1;
        const bool modeCommand = record.Opcode() == 0xCC && sub == 1;
        inRun = inRun || (modeCommand && record.cdb[2] == 1);
        if (!inRun) {
            continue;
        }
        const bool leaving = modeCommand && record.cdb[2] == 0;
        const int stage = leaving                               ? 5
                          : record.Opcode() == 0xCB && sub == 1 ? 1
                          : record.Opcode() == 0xCC && sub == 4 ? 2
                          : record.Opcode() == 0xCB && sub == 4 ? 3
                          : record.Opcode() == 0xCB && sub == 2 ? 4
                                                                : 0;
        const char direction = record.direction == zalemu::Direction::In    ? 'i'
                               : record.direction == zalemu::Direction::Out ? 'o'
                                                                            : 'n';
        list += Text("%d %c %u ", stage, direction, static_cast<unsigned>(record.length));
        for (uint8_t byte : record.cdb) {
            list += Text("%02X", byte);
        }
        list += "\n";
        if (leaving) {
            return list;
        }
    }
    return "";
}

// The drive of the flash runs: block commands of `blockMs` each.
std::string FlashDevice(int blockMs) {
    return "kind = tk4800j\nrevision = 2.16\nblock-delay = " + std::to_string(blockMs);
}

// drvflash's share during a run's block passes, clicked from outside; the run's
// commands go to *commandList. -2 when the run could not be made.
double ToolFlashShare(int pair, int blockMs, std::string* commandList) {
    DrvflashSession session(Name("cpu-drvflash", pair));
    WriteRunScenario(session, FlashDevice(blockMs));
    if (!session.Start(ProgramPath::AspiEmulator) ||
        !session.WaitForEnabled(IdFlash, true, 30000)) {
        return -2;
    }
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, session.Program().ProcessId());
    double clickedAt = 0;
    const bool clicked = ClickFlash(&session, &clickedAt);
    const double share =
        clicked ? BlockPassShare(session, process, ProgramPath("drvflash_9x.exe")) : -2;
    CloseHandle(process);
    if (share > -2 && commandList->empty()) {
        // The log is complete once the run has left flash mode.
        const double until = NowMs() + Scaled(10000);
        while ((*commandList = RunCommandList(session.Commands())).empty() && NowMs() < until) {
            Sleep(20);
        }
    }
    return share;
}

// The bare program's share during the block passes of the same commands.
double BaselineFlashShare(int pair, int blockMs, const std::string& commandList) {
    ToolSession session("bench_tick_drvflash", Name("cpu-bare-drvflash", pair));
    WriteRunScenario(session, FlashDevice(blockMs));
    const std::vector<unsigned char> image = ImageAtEndOf(ProgramPath("drvflash_9x.exe"));
    std::ofstream(session.Folder() + "\\flash-commands.txt", std::ios::binary) << commandList;
    std::ofstream(session.Folder() + "\\flash-image.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    if (image.empty() || !session.Start(ProgramPath::AspiEmulator)) {
        return -2;
    }
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, session.Program().ProcessId());
    const double share =
        BlockPassShare(session, process, ProgramPath("bench_tick_drvflash_9x.exe"));
    CloseHandle(process);
    return share;
}

// The rows of tool and baseline, a pair per window. The judged row is the
// target's own measure: the tool's whole process less the emulator's work in it
// (`emulatorShare`, the same in every window), against `limit` (below it, or at
// most it). The baseline, doing the tool's work less the tool, shows how much
// of that is the work itself: each side's median with its spread, and the
// tool's time as a multiple of the baseline's (the median of the pairs'
// ratios). A share that could not be taken, or a baseline that did not do the
// tool's work (`comparable` false), fails the measurement. Returns the judged
// share.
double ReportShares(const char* what, const std::vector<double>& tool,
                    const std::vector<double>& baseline, double emulatorShare, double limit,
                    bool strict, bool comparable) {
    std::vector<double> beyondEmulator, ratios;
    bool failed = !comparable || emulatorShare < 0;
    for (size_t i = 0; i < tool.size(); ++i) {
        beyondEmulator.push_back(tool[i] - emulatorShare);
        ratios.push_back(baseline[i] > 0 ? tool[i] / baseline[i] : -1);
        failed = failed || tool[i] < 0 || baseline[i] <= 0;
    }
    const Spread judged = SpreadOf(beyondEmulator);
    Verdict verdict = AtMost(judged.median, limit);
    if (verdict == Verdict::Met && strict && judged.median >= limit) {
        verdict = Verdict::Missed;
    }
    ReportRow(Text("CPU, %s: the tool's process less the emulator's work", what), "one core",
              WithSpread(judged, 2, "%"), "", Text("%s %.1f %%", strict ? "<" : "<=", limit),
              failed ? Verdict::Failed : verdict);
    ReportRow(Text("  beside the least code doing its work (%u pairs, taking turns)",
                   static_cast<unsigned>(tool.size())),
              WithSpread(SpreadOf(baseline), 2, "%"), WithSpread(SpreadOf(tool), 2, "%"),
              WithSpread(SpreadOf(ratios), 2, "x"), "(reported)",
              failed ? Verdict::Failed : Verdict::Reported);
    ReportRow("  the emulator's work in it (instant drive, on the caller's thread)", "",
              Text("%.3f %%", emulatorShare), "", "(reported)", Verdict::Reported);
    return judged.median;
}

} // namespace

int DrvflashCpuBench(int pairs, int blockMs) {
    const double emulatorMs = EmulatorCpuPerCommandMs();
    std::vector<double> tool, baseline;
    std::string commandList;
    for (int pair = 0; pair < pairs; ++pair) {
        // The tool goes first in the first pair, for the baseline takes its commands
        // from the tool's run; then they take turns at going first.
        for (int turn = 0; turn < 2; ++turn) {
            const bool toolTurn = (turn == 0) == (pair % 2 == 0);
            const double share = toolTurn ? ToolFlashShare(pair, blockMs, &commandList)
                                          : BaselineFlashShare(pair, blockMs, commandList);
            if (share < -1) {
                return Fail(toolTurn ? "expected drvflash's run through both block passes, it "
                                       "did not get there"
                                     : "expected the baseline's run through both block passes, "
                                       "it did not get there");
            }
            (toolTurn ? tool : baseline).push_back(share);
        }
    }
    // Both runs' windows hold the same 34 block commands, by how they are found:
    // about one command per block delay.
    const double emulatorShare = emulatorMs < 0 ? -1 : 100.0 * emulatorMs / blockMs;
    const double own = ReportShares("drvflash during the block passes", tool, baseline,
                                    emulatorShare, 1, true, true);
    ReportRow("  the emulator's own CPU per command (on the caller's thread)", "",
              emulatorMs < 0 ? "unknown" : Text("%.3f ms", emulatorMs), "", "(reported)",
              emulatorMs < 0 ? Verdict::Failed : Verdict::Reported);
    ReportFigure("drvflash_cpu", Median(baseline), own, "%");
    ReportFigure("drvflash_cpu_raw", Median(baseline), Median(tool), "%");
    ReportFigure("emulator_cpu_per_command", 0, emulatorMs, "ms");
    return 0;
}

int IdleBench(int windows, int seconds) {
    const double emulatorMs = EmulatorCpuPerCommandMs();
    std::vector<double> tool, baseline, toolPolls, baselinePolls;
    for (int window = 0; window < windows; ++window) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool toolTurn = (turn == 0) == (window % 2 == 0);
            double share, polls;
            if (!IdleWindow(toolTurn ? "discmode" : "bench_tick_discmode", window, seconds, &share,
                            &polls)) {
                return Fail("expected discmode's dialog and its baseline's ready, one never was");
            }
            (toolTurn ? tool : baseline).push_back(share);
            (toolTurn ? toolPolls : baselinePolls).push_back(polls);
        }
    }
    // The baseline polls as the tool does: about as many polls in its windows.
    const double toolPollCount = Median(toolPolls);
    const bool comparable = toolPollCount > 0 && std::fabs(Median(baselinePolls) - toolPollCount) <=
                                                     0.1 * toolPollCount + 1;
    // Each poll is one command to the drive.
    const double emulatorShare =
        emulatorMs < 0 ? -1 : 100.0 * toolPollCount * emulatorMs / (seconds * 1000.0);
    const double own = ReportShares("discmode polling without a disc", tool, baseline,
                                    emulatorShare, 0.5, false, comparable);
    ReportRow(Text("  polls in each %d s window", seconds),
              WithSpread(SpreadOf(baselinePolls), 0, "polls"),
              WithSpread(SpreadOf(toolPolls), 0, "polls"), "", "(reported)", Verdict::Reported);
    ReportFigure("discmode_cpu", Median(baseline), own, "%");
    ReportFigure("discmode_cpu_raw", Median(baseline), Median(tool), "%");
    ReportFigure("discmode_polls", Median(baselinePolls), Median(toolPolls), "commands");
    return 0;
}
