// The benchmark programs' shared helpers (see BenchSupport.h).
#include "BenchSupport.h"

#include <psapi.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

double NowMs() {
    static LARGE_INTEGER frequency = {};
    if (frequency.QuadPart == 0) {
        QueryPerformanceFrequency(&frequency);
    }
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

std::string Text(const char* format, ...) {
    char buffer[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(buffer, sizeof buffer, format, arguments);
    va_end(arguments);
    return buffer;
}

std::string WithSpread(const Spread& spread, int decimals, const char* unit) {
    const std::string median = Text("%.*f %s", decimals, spread.median, unit);
    if (spread.low == spread.high) {
        return median;
    }
    return median + Text(" (%.*f to %.*f)", decimals, spread.low, decimals, spread.high);
}

// ---- Other processes, through Linux's /proc ----

static std::string ProcText(const std::string& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Calls `each` with the name of every entry of a /proc folder that is a number.
template <typename Each> static void ForEachNumbered(const std::string& folder, Each each) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    while (search != INVALID_HANDLE_VALUE) {
        if (found.cFileName[0] >= '0' && found.cFileName[0] <= '9') {
            each(std::string(found.cFileName));
        }
        if (!FindNextFileA(search, &found)) {
            FindClose(search);
            break;
        }
    }
}

CpuReading ReadCpu(const std::string& linuxPid) {
    CpuReading reading;
    if (linuxPid.empty()) {
        return reading;
    }
    const std::string tasks = "Z:\\proc\\" + linuxPid + "\\task\\";
    // The first field of schedstat: the thread's time on a CPU in nanoseconds.
    ForEachNumbered(tasks, [&](const std::string& thread) {
        const std::string schedstat = ProcText(tasks + thread + "\\schedstat");
        if (!schedstat.empty()) {
            reading[thread] = std::atof(schedstat.c_str());
        }
    });
    return reading;
}

double CpuBetween(const CpuReading& first, const CpuReading& last) {
    if (first.empty() || last.empty()) {
        return -1;
    }
    double ns = 0;
    for (const auto& thread : last) {
        const auto before = first.find(thread.first);
        ns += thread.second - (before == first.end() ? 0 : before->second);
    }
    for (const auto& thread : first) {
        if (last.count(thread.first) == 0) {
            return -1;
        }
    }
    return ns / 1e6;
}

// The processes whose command line holds `text`, each with its start time (the
// 22nd field of stat, the 20th after the name's closing parenthesis).
static std::vector<std::pair<std::string, double>> ProcessesWith(const std::string& text) {
    std::vector<std::pair<std::string, double>> found;
    ForEachNumbered("Z:\\proc\\", [&](const std::string& pid) {
        std::string command = ProcText("Z:\\proc\\" + pid + "\\cmdline");
        std::replace(command.begin(), command.end(), '\0', ' ');
        if (command.find(text) == std::string::npos) {
            return;
        }
        const std::string stat = ProcText("Z:\\proc\\" + pid + "\\stat");
        std::istringstream fields(stat.substr(stat.rfind(')') + 1));
        std::string field;
        for (int i = 0; i < 20 && fields >> field; ++i) {
        }
        found.push_back(std::make_pair(pid, std::atof(field.c_str())));
    });
    return found;
}

std::string LinuxProcessOf(const std::string& text) {
    std::string best;
    double newest = -1;
    for (const auto& process : ProcessesWith(text)) {
        if (process.second > newest) {
            newest = process.second;
            best = process.first;
        }
    }
    return best;
}

std::string WineServerProcess() {
    // Other Wine prefixes on the machine have servers of their own: this one's
    // was started with this program's WINEPREFIX in its environment.
    char prefix[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix);
    if (length == 0 || length >= sizeof prefix) {
        return std::string();
    }
    const std::string wanted = std::string("WINEPREFIX=") + prefix + '\0';
    for (const auto& process : ProcessesWith("wineserver")) {
        if (ProcText("Z:\\proc\\" + process.first + "\\environ").find(wanted) !=
            std::string::npos) {
            return process.first;
        }
    }
    return std::string();
}

// ---- This process ----

double LiveHeapBytes() {
    HANDLE heaps[64];
    const DWORD count = GetProcessHeaps(64, heaps);
    if (count == 0 || count > 64) {
        return -1;
    }
    double bytes = 0;
    for (DWORD i = 0; i < count; ++i) {
        if (!HeapLock(heaps[i])) {
            return -1;
        }
        PROCESS_HEAP_ENTRY entry;
        entry.lpData = NULL;
        while (HeapWalk(heaps[i], &entry)) {
            if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) {
                bytes += entry.cbData;
            }
        }
        HeapUnlock(heaps[i]);
    }
    return bytes;
}

double PrivateBytes() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
        return -1;
    }
    return static_cast<double>(counters.PagefileUsage);
}

DWORD OpenHandleCount() {
    // Wine answers GetProcessHandleCount with 0, so every handle value the table
    // can hold is asked after instead; handle values are multiples of 4.
    DWORD count = 0;
    for (ULONG_PTR value = 4; value < 4 * 16384; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++count;
        }
    }
    return count;
}

void ReportRow(const std::string& label, const std::string& baseline, const std::string& measured,
               const std::string& ratio, const std::string& target, Verdict verdict) {
    const char* const verdicts[] = {"yes", "**no**", "**failed measurement**", ""};
    std::printf("ROW %s | %s | %s | %s | %s | %s\n", label.c_str(), baseline.c_str(),
                measured.c_str(), ratio.c_str(), target.c_str(),
                verdicts[static_cast<int>(verdict)]);
    std::fflush(stdout);
}

int Fail(const std::string& what) {
    std::fprintf(stderr, "bench failed: %s\n", what.c_str());
    std::fflush(stderr);
    return 1;
}
