// The tools' CPU time while they wait on the drive: discmode polling a drive
// without a disc, and drvflash during the block passes of slow runs. Each is set
// beside its baseline, the least code doing the tool's required work
// (BareDialog.cpp), tool and baseline taking turns in the same run; each pair's
// ratio is judged. The Wine server carries the window and event calls of both
// sides, so its CPU time in each window is counted with the program's. The
// emulator (each side's wnaspi32.dll) does the same work on both sides.
#include "BenchSupport.h"
#include "EmulatorAccess.h"
#include "ToolBench.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

// The emulator completes each command on the caller's thread: an instant drive.
const char* const EmulatorSettings = "completion = caller\n";

// The scenario of a session, with the emulator's settings for these runs.
void WriteRunScenario(const ToolSession& session, const std::string& device) {
    std::ofstream(session.Folder() + "\\scenario.txt", std::ios::binary | std::ios::trunc)
        << "[emulator]\nstate = drive.state\nlog = commands.log\n"
        << EmulatorSettings << "\n[device 0:0]\n"
        << device << "\n";
}

// A window of a program's CPU time, as shares of one core: the program's
// process and the Wine server beside it (-1: not taken), and the commands its
// drive received meanwhile.
struct CpuWindow {
    double process = -1;
    double server = -1;
    double commands = 0;
    double Total() const { return process < 0 || server < 0 ? -1 : process + server; }
};

// The program's and the server's CPU readings at the start of a window.
struct WindowStart {
    std::string pid, serverPid;
    CpuReading process, server;
    double ms = 0;
    size_t commands = 0;
};

WindowStart StartWindow(const std::string& path, size_t commands) {
    WindowStart start;
    start.pid = LinuxProcessOf(path);
    start.serverPid = WineServerProcess();
    start.process = ReadCpu(start.pid);
    start.server = ReadCpu(start.serverPid);
    start.ms = NowMs();
    start.commands = commands;
    return start;
}

CpuWindow EndWindow(const WindowStart& start, size_t commands) {
    const CpuReading process = ReadCpu(start.pid), server = ReadCpu(start.serverPid);
    const double elapsed = NowMs() - start.ms;
    CpuWindow window;
    const double processMs = CpuBetween(start.process, process);
    const double serverMs = CpuBetween(start.server, server);
    window.process = processMs < 0 || elapsed <= 0 ? -1 : 100.0 * processMs / elapsed;
    window.server = serverMs < 0 || elapsed <= 0 ? -1 : 100.0 * serverMs / elapsed;
    window.commands = static_cast<double>(commands - start.commands);
    return window;
}

// The commands a tool's drive has received once start-up is over: the probe
// and the first polls, some 3 s of them, by when the program's late start-up
// work (under qemu, also the translation of its code) has settled.
const size_t FirstPolls = 30;

// A program's CPU in a window of `seconds` once its dialog is ready and its
// first polls have run; false when the program did not start.
bool IdleWindow(const std::string& program, int window, int seconds, CpuWindow* result) {
    ToolSession session(program, Name(("idle-" + program).c_str(), window));
    WriteRunScenario(session, "kind = tk4800j\ndisc = no");
    if (!session.Start(ProgramPath::AspiEmulator)) {
        return false;
    }
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, session.Program().ProcessId());
    // Start-up's own work is over once the drive has seen a few polls.
    const double until = NowMs() + Scaled(20000);
    size_t commands = session.Commands().size();
    while (commands < FirstPolls && NowMs() < until) {
        WaitForSingleObject(process, 20);
        commands = session.Commands().size();
    }
    CloseHandle(process);
    const WindowStart start = StartWindow(ProgramPath((program + "_9x.exe").c_str()), commands);
    Sleep(static_cast<DWORD>(seconds) * 1000);
    *result = EndWindow(start, session.Commands().size());
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

// A program's CPU during the block passes of the run its session's drive
// receives, watched from outside through the drive's log alone, four times a
// second (the watching's own calls reach the server too, alike on both sides).
// False when the run did not get through both passes.
bool BlockPassWindow(const ToolSession& session, const std::string& path, CpuWindow* result) {
    WindowStart start;
    bool started = false;
    const double limit = NowMs() + Scaled(600000);
    for (;;) {
        const std::vector<zalemu::CommandRecord> log = session.Commands();
        const int progress = BlockPassProgress(log);
        if (progress < 0 || NowMs() > limit) {
            return false;
        }
        if (progress >= 1 && !started) {
            start = StartWindow(path, log.size());
            started = true;
        }
        if (progress == 2) {
            *result = EndWindow(start, log.size());
            return true;
        }
        Sleep(250);
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

// The run's command list once the log holds its leaving of flash mode; "" when
// it does not within 10 s.
std::string AwaitRunCommandList(const ToolSession& session) {
    const double until = NowMs() + Scaled(10000);
    std::string list;
    while ((list = RunCommandList(session.Commands())).empty() && NowMs() < until) {
        Sleep(20);
    }
    return list;
}

// drvflash during a run's block passes, clicked from outside; the run's
// commands go to *commandList. False when the run could not be made.
bool ToolFlashWindow(int pair, int blockMs, CpuWindow* window, std::string* commandList) {
    DrvflashSession session(Name("cpu-drvflash", pair));
    WriteRunScenario(session, FlashDevice(blockMs));
    double clickedAt = 0;
    if (!session.Start(ProgramPath::AspiEmulator) ||
        !session.WaitForEnabled(IDC_FLASH, true, 30000) || !ClickFlash(&session, &clickedAt) ||
        !BlockPassWindow(session, ProgramPath("drvflash_9x.exe"), window)) {
        return false;
    }
    *commandList = AwaitRunCommandList(session);
    return true;
}

// The baseline during the block passes of the same commands; *same tells
// whether its drive received exactly the tool's run.
bool BaselineFlashWindow(int pair, int blockMs, const std::string& commandList, CpuWindow* window,
                         bool* same) {
    ToolSession session("bench_tick_drvflash", Name("cpu-bare-drvflash", pair));
    WriteRunScenario(session, FlashDevice(blockMs));
    const std::vector<unsigned char> image = ImageAtEndOf(ProgramPath("drvflash_9x.exe"));
    std::ofstream(session.Folder() + "\\flash-commands.txt", std::ios::binary) << commandList;
    std::ofstream(session.Folder() + "\\flash-image.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    if (image.empty() || !session.Start(ProgramPath::AspiEmulator) ||
        !BlockPassWindow(session, ProgramPath("bench_tick_drvflash_9x.exe"), window)) {
        return false;
    }
    *same = AwaitRunCommandList(session) == commandList;
    return true;
}

// The row of tool and baseline, a pair per window: each side's median (the
// program and the server together) with its spread and the server's median
// beside it, and the median of the pairs' ratios against 1.2. A window not
// taken, or a baseline that did not do the tool's work (`comparable` false),
// fails the measurement.
void CpuRow(const std::string& label, const std::vector<CpuWindow>& tool,
            const std::vector<CpuWindow>& baseline, bool comparable) {
    std::vector<double> toolTotal, baseTotal, toolServer, baseServer;
    for (size_t i = 0; i < tool.size() && i < baseline.size(); ++i) {
        toolTotal.push_back(tool[i].Total());
        baseTotal.push_back(baseline[i].Total());
        toolServer.push_back(tool[i].server);
        baseServer.push_back(baseline[i].server);
    }
    const std::vector<double> ratios = PairRatios(toolTotal, baseTotal);
    ReportRow(
        label,
        WithSpread(SpreadOf(baseTotal), 2, "%") + Text(", server %.2f %%", Median(baseServer)),
        WithSpread(SpreadOf(toolTotal), 2, "%") + Text(", server %.2f %%", Median(toolServer)),
        WithSpread(SpreadOf(ratios), 2, "x"), "<= 1.2x the least code",
        comparable ? RatioAtMost(ratios, 1.2) : Verdict::Failed);
}

} // namespace

int DrvflashCpuBench(int pairs, int blockMs) {
    std::vector<CpuWindow> tool, baseline;
    std::string commandList;
    bool comparable = true;
    for (int pair = 0; pair < pairs; ++pair) {
        // The tool goes first in the first pair, for the baseline takes its commands
        // from the tool's run; then they take turns at going first.
        for (int turn = 0; turn < 2; ++turn) {
            const bool toolTurn = (turn == 0) == (pair % 2 == 0);
            CpuWindow window;
            std::string list;
            bool same = false;
            if (toolTurn ? !ToolFlashWindow(pair, blockMs, &window, &list)
                         : !BaselineFlashWindow(pair, blockMs, commandList, &window, &same)) {
                return Fail(toolTurn ? "expected drvflash's run through both block passes, it "
                                       "did not get there"
                                     : "expected the baseline's run through both block passes, "
                                       "it did not get there");
            }
            if (toolTurn) {
                // Every run of the tool sends the same commands.
                comparable =
                    comparable && !list.empty() && (commandList.empty() || list == commandList);
                commandList = list;
                tool.push_back(window);
            } else {
                comparable = comparable && same;
                baseline.push_back(window);
            }
        }
    }
    if (!comparable) {
        std::fprintf(stderr, "the baseline's drive did not receive the tool's run\n");
    }
    CpuRow(
        Text("CPU, drvflash during the block passes of %d ms commands, %d pairs", blockMs, pairs),
        tool, baseline, comparable);
    return 0;
}

int IdleBench(int windows, int seconds) {
    std::vector<CpuWindow> tool, baseline;
    for (int window = 0; window < windows; ++window) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool toolTurn = (turn == 0) == (window % 2 == 0);
            CpuWindow result;
            if (!IdleWindow(toolTurn ? "discmode" : "bench_tick_discmode", window, seconds,
                            &result)) {
                return Fail("expected discmode's dialog and its baseline's ready, one never was");
            }
            (toolTurn ? tool : baseline).push_back(result);
            std::printf("WINDOW %s %.2f %% with the server's %.2f %%, %.0f polls\n",
                        toolTurn ? "discmode" : "baseline", result.Total(), result.server,
                        result.commands);
        }
    }
    // The baseline does the poll's work: at least about as many polls in its
    // windows as the tool (a window's count may be one off at either end). A
    // tool slower per poll polls less often, which is its own row's matter.
    std::vector<double> toolPolls, basePolls;
    for (size_t i = 0; i < tool.size(); ++i) {
        toolPolls.push_back(tool[i].commands);
        basePolls.push_back(baseline[i].commands);
    }
    const double polls = Median(toolPolls);
    const bool comparable = polls > 0 && Median(basePolls) >= 0.9 * polls - 2;
    if (!comparable) {
        std::fprintf(stderr,
                     "expected the baseline to poll about as often as the tool, saw %.0f "
                     "and %.0f polls a window\n",
                     Median(basePolls), polls);
    }
    CpuRow(Text("CPU, discmode polling a drive without a disc, %d windows of %d s each side "
                "(%.0f and %.0f polls a window)",
                windows, seconds, Median(basePolls), polls),
           tool, baseline, comparable);
    return 0;
}
