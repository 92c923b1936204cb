// The benchmark programs' shared helpers (see BenchSupport.h).
#include "BenchSupport.h"

#include <psapi.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

double NowMs() {
    static LARGE_INTEGER frequency = {};
    if (frequency.QuadPart == 0) {
        QueryPerformanceFrequency(&frequency);
    }
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

Spread SpreadOf(std::vector<double> values) {
    Spread spread;
    if (values.empty()) {
        return spread;
    }
    spread.median = Median(values);
    spread.low = *std::min_element(values.begin(), values.end());
    spread.high = *std::max_element(values.begin(), values.end());
    return spread;
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

static double FileTimeMs(const FILETIME& time) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return static_cast<double>(value.QuadPart) / 10000.0;
}

double ProcessCpuMs(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        return -1;
    }
    return FileTimeMs(kernel) + FileTimeMs(user);
}

// A small file of Linux's /proc through Wine's drive Z:; "" when it is not there.
static std::string ReadProcFile(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return std::string();
    }
    std::string text;
    char buffer[1024];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, NULL) && got > 0 && text.size() < 65536) {
        text.append(buffer, got);
    }
    CloseHandle(file);
    return text;
}

// utime + stime (fields 14 and 15, in ticks of 10 ms) and the start time (field 22)
// of a /proc/PID/stat text; the command name in parentheses may hold blanks.
static bool ParseProcStat(const std::string& stat, double* cpuMs, double* started) {
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) {
        return false;
    }
    std::vector<double> fields;
    const char* cursor = stat.c_str() + close + 1;
    while (*cursor != '\0') {
        char* end = NULL;
        const double value = std::strtod(cursor, &end);
        if (end == cursor) {
            ++cursor; // the one-letter state field
            continue;
        }
        fields.push_back(value);
        cursor = end;
    }
    // fields[0] is field 4 (ppid): field N is fields[N - 4].
    if (fields.size() < 19) {
        return false;
    }
    *cpuMs = (fields[10] + fields[11]) * 10.0;
    *started = fields[18];
    return true;
}

double ProgramCpuMs(HANDLE process, const char* programPath) {
    if (GetFileAttributesA("Z:\\proc\\self") == INVALID_FILE_ATTRIBUTES) {
        return ProcessCpuMs(process);
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE) {
        return -1;
    }
    double best = -1, newest = -1;
    do {
        if (found.cFileName[0] < '0' || found.cFileName[0] > '9') {
            continue;
        }
        const std::string folder = std::string("Z:\\proc\\") + found.cFileName;
        std::string command = ReadProcFile(folder + "\\cmdline");
        for (char& c : command) {
            c = c == '\0' ? ' ' : c;
        }
        double cpu = 0, started = 0;
        if (command.find(programPath) != std::string::npos &&
            ParseProcStat(ReadProcFile(folder + "\\stat"), &cpu, &started) && started > newest) {
            newest = started;
            best = cpu;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return best;
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

ProcessUse CurrentProcessUse() {
    ProcessUse use;
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
        use.workingSetKb = static_cast<double>(counters.WorkingSetSize) / 1024.0;
        use.privateKb = static_cast<double>(counters.PagefileUsage) / 1024.0;
    }
    use.handles = OpenHandleCount();
    return use;
}

void ReportFigure(const char* name, double baseline, double measured, const char* unit) {
    std::printf("FIGURE %s %.3f %.3f %s\n", name, baseline, measured, unit);
    std::fflush(stdout);
}

Verdict AtMost(double measured, double limit) {
    return measured < 0 ? Verdict::Failed : measured <= limit ? Verdict::Met : Verdict::Missed;
}

void ReportRow(const std::string& label, const std::string& baseline, const std::string& measured,
               const std::string& ratio, const std::string& target, Verdict verdict) {
    const char* const verdicts[] = {"yes", "**no**", "**failed measurement**", ""};
    std::printf("ROW %s | %s | %s | %s | %s | %s\n", label.c_str(), baseline.c_str(),
                measured.c_str(), ratio.c_str(), target.c_str(),
                verdicts[static_cast<int>(verdict)]);
    std::fflush(stdout);
}

int Fail(const char* what) {
    std::fprintf(stderr, "bench failed: %s\n", what);
    std::fflush(stderr);
    return 1;
}
