// What every benchmark program shares: a fine clock, medians with their spread,
// the CPU time and the resource use of a process, and the two line formats in
// which a program reports: a figure (for the smoke check) and a row of the table
// with its verdict, judged here against the row's target (scripts/bench.sh only
// prints the rows).
#ifndef ZAL_TESTS_BENCHSUPPORT_H
#define ZAL_TESTS_BENCHSUPPORT_H

#include <windows.h>

#include <string>
#include <vector>

// Milliseconds on the performance counter.
double NowMs();

double Median(std::vector<double> values);

// The median of several repetitions and the lowest and highest of them.
struct Spread {
    double median = 0;
    double low = 0;
    double high = 0;
};
Spread SpreadOf(std::vector<double> values);

// printf into a string.
std::string Text(const char* format, ...) __attribute__((format(printf, 1, 2)));

// "12.3 ms (11.9 to 12.8)": a median with the range of its repetitions.
std::string WithSpread(const Spread& spread, int decimals, const char* unit);

// User plus kernel time of a process so far, in milliseconds; -1 when the
// system does not tell.
double ProcessCpuMs(HANDLE process);

// The handles open in this process.
DWORD OpenHandleCount();

// The CPU time of another program, found by its command line: under Wine the
// system leaves other processes' times at 0, so there it is read from Linux's
// /proc (the newest process whose command line holds `programPath`); elsewhere
// from GetProcessTimes of `process`. -1 when neither tells.
double ProgramCpuMs(HANDLE process, const char* programPath);

struct ProcessUse {
    double workingSetKb = 0;
    double privateKb = 0;
    DWORD handles = 0;
};
ProcessUse CurrentProcessUse();

// One line on stdout: "FIGURE name baseline measured unit". bench.sh turns
// these into its table; the smoke test only checks that they appear.
void ReportFigure(const char* name, double baseline, double measured, const char* unit);

// A row's verdict: its target met or missed; a failed measurement (a figure that
// cannot be right, such as a negative share, or one that could not be taken);
// or a row that only reports, with no target of its own.
enum class Verdict { Met, Missed, Failed, Reported };

// The verdict of `measured` against an upper `limit`: Failed when `measured` is
// negative (a share or a time below zero is a failed measurement).
Verdict AtMost(double measured, double limit);

// One row of the table on stdout:
// "ROW label | baseline | measured | ratio | target | verdict".
void ReportRow(const std::string& label, const std::string& baseline, const std::string& measured,
               const std::string& ratio, const std::string& target, Verdict verdict);

// A failure: says what was expected and what was seen, on stderr; returns 1 (the
// program's exit code).
int Fail(const char* what);

#endif
