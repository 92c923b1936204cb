// What every benchmark program shares: a fine clock, medians, the CPU time and
// the resource use of a process, and the one line format in which a program
// reports a figure to scripts/bench.sh.
#ifndef ZAL_TESTS_BENCHSUPPORT_H
#define ZAL_TESTS_BENCHSUPPORT_H

#include <windows.h>

#include <vector>

// Milliseconds on the performance counter.
double NowMs();

double Median(std::vector<double> values);

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

// A failure: says what was expected and what was seen, on stderr; returns 1 (the
// program's exit code).
int Fail(const char* what);

#endif
