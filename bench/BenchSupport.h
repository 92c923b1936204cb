// What every benchmark program shares: a fine clock, the CPU time of another
// program and of the Wine server, the memory and handles of this process, and
// the line in which a program reports a row of the table with its verdict
// (judged by the program; scripts/bench.sh only gathers the rows).
#ifndef ZAL_BENCH_BENCHSUPPORT_H
#define ZAL_BENCH_BENCHSUPPORT_H

#include "BenchArithmetic.h"

#include <windows.h>

#include <map>
#include <string>

// Milliseconds on the performance counter.
double NowMs();

// printf into a string.
std::string Text(const char* format, ...) __attribute__((format(printf, 1, 2)));

// "12.3 ms (11.9 to 12.8)": a median with the range of its repetitions.
std::string WithSpread(const Spread& spread, int decimals, const char* unit);

// The CPU time of a Linux process, thread by thread in nanoseconds, read from
// /proc through Wine's drive Z: (Wine leaves other processes' times at 0, and
// the process times of /proc count 10 ms ticks). Empty when not taken.
typedef std::map<std::string, double> CpuReading;
CpuReading ReadCpu(const std::string& linuxPid);
// The CPU time in ms from `first` to `last`; -1 when either is empty or a
// thread of the first has ended since (its time would be lost).
double CpuBetween(const CpuReading& first, const CpuReading& last);
// The Linux process whose command line holds `text` and which started last; ""
// when there is none.
std::string LinuxProcessOf(const std::string& text);
// The wineserver of this program's Wine prefix; "" when it is not found.
std::string WineServerProcess();

// This process's live heap bytes (the data of every busy block of every heap
// of the process, walked), private bytes and open handles; -1 when not taken.
double LiveHeapBytes();
double PrivateBytes();
DWORD OpenHandleCount();

// One row of the table on stdout:
// "ROW label | baseline | measured | ratio | target | verdict".
void ReportRow(const std::string& label, const std::string& baseline, const std::string& measured,
               const std::string& ratio, const std::string& target, Verdict verdict);

// A failure: says what was expected and what was seen, on stderr; returns 1 (the
// program's exit code).
int Fail(const std::string& what);

#endif
