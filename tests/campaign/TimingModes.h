// What the campaigns on either path share: their arguments (--timing, --path),
// and the completion timings of their timing runs: one table of them, the fault
// lines that give them to the emulator, their count in the drive's log, and what
// a run needs around late and hung commands (the drive's state as the emulator
// keeps it, the wait for late completions, the drive's reset).
#ifndef ZAL_TESTS_TIMINGMODES_H
#define ZAL_TESTS_TIMINGMODES_H

#include "Campaign.h"
#include "CommandLog.h"

#include <windows.h>

#include <map>
#include <string>
#include <vector>

// The tools' limits: a poll's, and most other commands'.
enum { PollLimitMs = 30000, ShortLimitMs = 5000 };

// A kind of command (a fault trigger without #N), its occurrences from `first`
// on in one run of the tool, and the tool's limit for it.
struct TimedKind {
    const char* trigger;
    int first;
    int count;
    DWORD limitMs;
};

// A campaign's name and full runs on each path.
struct PathRuns {
    const char* name;
    uint32_t aspiRuns;
    uint32_t ntRuns;
};

// A program on either path runs as
//
//   PROGRAM.exe [--timing] [--path aspi|nt] --seed N --runs N ...
//   (aspi, the default: Windows 9x through the emulator's wnaspi32.dll; nt: the
//   SPTI simulator over the emulator's drive letters)
//
// This takes --timing (into `timing`) and --path out of the arguments, uses that
// path and makes the campaign that `plain` or `timed` describes: on the NT path
// named with "-nt", its runs following the ASPI ones. Ends the process with the
// usage of `program` when the path is not known, and when the emulator is not
// reachable.
Campaign PathCampaign(int argc, char** argv, const char* program, PathRuns plain, PathRuns timed,
                      bool* timing);

// Fault lines giving the occurrences of the kinds in `runs` runs a random timing:
// every one, or (`every` false) one chosen at random. The timings: at once; on
// the caller's thread ("caller") and the status 1 to 60 ms before the signal
// ("early-status"), both on the ASPI path only; late within the limit (20 to
// 1,500 ms) and, with `failingPercent` where the limit can be waited out, late
// after it (by 30 to 80 ms stretched by the time scale) or never ("hang").
std::string TimedFaults(CaseRandom& random, const TimedKind* kinds, size_t kindCount, int runs,
                        bool every, uint32_t failingPercent);

// The [emulator] keys of a timing run, counted: on the ASPI path in half the
// runs `no-device = later`, in two of five a status lead for every request.
std::string TimingEmulatorSection(Campaign& campaign);

// Counts the logged commands by timing ("at-once=", "caller=", ... "never=").
void CountTimings(Campaign& campaign, const std::vector<zalemu::CommandRecord>& records);

// The drive carried the command out with good status; and within the limit.
bool EndedGood(const zalemu::CommandRecord& record);
bool AnsweredInTime(const zalemu::CommandRecord& record);

// The device's keys in the emulator's state text ("changes-left", "revision").
std::map<std::string, std::string> DriveStateKeys(const std::string& address);

// Appends the emulator's log to `history` and clears it.
void TakeLog(std::vector<zalemu::CommandRecord>* history);

// A command of the current log hung.
bool LogHasHang();

// Waits until the transport holds no request to the device (ha, target) that ran
// out of time, up to a poll's limit and a margin; the completions end the wait.
void AwaitLateAnswers(int ha, int target);

// Switches the drive (ha, target) off and on: the log goes to `history`, and the
// scenario is loaded again with the [emulator] keys `section`, the device
// `settings` and its kept state, without faults. Hung requests end (ASPI:
// aborted; NT: failed, and those the simulator held up behind them carried out),
// which is waited for.
void ResetDrive(Campaign& campaign, const std::string& section, int ha, int target,
                const std::string& settings, std::vector<zalemu::CommandRecord>* history);

#endif
