// The emulator's command log: one record per command a device received, kept in
// memory for tests in the same process and written, a line per command, to the
// scenario's log file for tests that run the built programs.
//
// Line format (fields separated by one blank):
//   <n> <address> cdb=<CDB bytes, two hex digits each, joined by '-'>
//       dir=<none|in|out> len=<data length, decimal> outcome=<outcome>
//       [pt=<P>/<T>/<L>/<S>/<D>/<timeout>] [ms=<time>]
// all on one line. <n> counts every command of the emulator from 1 (a new
// scenario starts again at 1); <address> is "0:0" style (host adapter:target) or
// "D:" style; the outcome is one of
//   good | check-<key>/<asc>/<ascq> | hang | late-<ms>-good
//   | late-<ms>-check-<key>/<asc>/<ascq> | early-<ms>-good
//   | early-<ms>-check-<key>/<asc>/<ascq> (ASPI: the status <ms> before the signal)
//   | caller-good | caller-check-<key>/<asc>/<ascq> (ASPI: completed on the caller's
//   thread) | gone (the device has vanished) | pass-through-failed
// with the sense in upper-case hex (key one digit, e.g. check-5/24/00); and pt=
// (pass-through only) records PathId, TargetId, Lun, SenseInfoLength, DataIn and
// TimeOutValue of the block the SPTI device received, in decimal; ms= is when the
// device had carried the command out (before any delay of the scenario), in
// milliseconds on the performance counter (LogClockMs), which every process of a
// machine shares, so that a program watching a tool can set the tool's commands
// beside its own observations. Lines written before the time was kept have no
// ms= and read back with ms -1. Lines starting
// with '#' are notes (e.g. a scenario that could not be loaded); ParseLog skips
// them and blank lines.
#ifndef ZAL_EMULATOR_COMMANDLOG_H
#define ZAL_EMULATOR_COMMANDLOG_H

#include <cstdint>
#include <string>
#include <vector>

namespace zalemu {

enum class Direction { None, In, Out };

struct CommandRecord {
    unsigned index = 0;
    std::string address;
    std::vector<uint8_t> cdb;
    Direction direction = Direction::None;
    uint32_t length = 0;
    std::string outcome;

    bool viaPassThrough = false;
    unsigned ptPathId = 0;
    unsigned ptTargetId = 0;
    unsigned ptLun = 0;
    unsigned ptSenseLength = 0;
    unsigned ptDataIn = 0;
    unsigned ptTimeout = 0;

    double ms = -1; // LogClockMs when carried out; -1: not known

    uint8_t Opcode() const { return cdb.empty() ? 0 : cdb[0]; }
};

// Milliseconds on the performance counter: the clock of the log's times.
double LogClockMs();

// One log line for the record, without line end.
std::string FormatRecord(const CommandRecord& record);

// Parses log text; false (with the offending line in *error) on a malformed line.
bool ParseLog(const std::string& text, std::vector<CommandRecord>* records, std::string* error);

} // namespace zalemu

#endif
