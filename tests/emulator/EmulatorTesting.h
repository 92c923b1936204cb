// Helpers of the emulator's tests: loading a scenario, sending one command to a
// device of the in-process emulator and reading the reply, a scratch folder, and
// running a program of the build. The commands' CDBs are CommandText.h's.
#ifndef ZAL_TESTS_EMULATORTESTING_H
#define ZAL_TESTS_EMULATORTESTING_H

#include "CommandText.h"
#include "Emulator.h"
#include "PassThroughTypes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace emutest {

typedef std::vector<uint8_t> Bytes;

// Loads a scenario into the in-process emulator; the error text, "" on success.
std::string Load(const std::string& scenario, const std::string& baseDir = std::string());

struct Reply {
    zalemu::ExecStatus status = zalemu::ExecStatus::NoDevice;
    std::string outcome; // "good", "5/24/00" (sense key/ASC/ASCQ), "gone", ...
    Bytes data;          // the data-in bytes the device wrote
};

// Sends a CDB; data-in commands get a buffer of `inLength` bytes, data-out ones `out`.
Reply Send(const std::string& address, const Bytes& cdb, uint32_t inLength = 0);
Reply SendOut(const std::string& address, const Bytes& cdb, const Bytes& out);

// INQUIRY bytes `from` to 35 as the device reports them now: from 8 on the
// vendor, product and revision, from 32 on the revision.
std::string InquiryText(const std::string& address, size_t from = 8);

// Runs the whole flash sequence the tool runs for an image, without its INQUIRY;
// the outcome of the first command that fails, or "good".
std::string FlashImage(const std::string& address, const Bytes& image);

// Bytes as hexadecimal pairs, each followed by a space: "00 E0 ".
std::string Hex(const Bytes& bytes);

// Success when `text` holds `part`; else says which part it expected in what text.
::testing::AssertionResult Holds(const std::string& text, const std::string& part);

// Opens an SPTI device of the in-process emulator for reading and writing.
HANDLE OpenDevice(const char* path);
// A pass-through block of `cdb` to target 1 with 32 bytes of sense; the rest 0xCC.
PassThroughBlock Block(const Bytes& cdb, UCHAR dataIn, void* data, ULONG length);
// Sends it to an open SPTI device; DeviceIoControl's result.
BOOL Through(HANDLE device, PassThroughBlock* block, DWORD size = sizeof(PassThroughBlock));

// The records of the in-process log.
std::vector<zalemu::CommandRecord> Logged();
// The formatted record of the index-th logged command (0-based) without its time
// (WithoutTimes), or a text that says the log has no such command.
std::string LoggedRecord(size_t index);
// Log text with the time of each command line (" ms=...", which differs from run
// to run) taken out; a command line without one is marked " (no time)".
std::string WithoutTimes(const std::string& text);
// The outcome of the index-th logged command, or that text.
std::string LoggedOutcome(size_t index);

// A fresh folder under the temporary folder, removed with its files at the end.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);

// The folder of the running test program (the build's bin folder).
std::string ProgramFolder();

// Runs a command line, waits at most timeoutMs; its exit code (-1 when it did not
// start or end) and what it wrote to stdout and stderr.
int RunProgram(const std::string& commandLine, std::string* output, DWORD timeoutMs = 60000);

} // namespace emutest

#endif
