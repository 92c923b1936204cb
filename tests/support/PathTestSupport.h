// Helpers of the engine tests that run on either transport path: the choice of
// the path for the cases of a process (the Windows 9x path through the emulator's
// wnaspi32.dll, or the NT path through ASPISim over emulated drive letters), the
// emulator of that path, device addresses as the emulator names them there,
// scenario text, and readable views of the command log. A program whose cases
// take the path as their parameter is registered with the emulator's wnaspi32.dll
// beside it (zal_wine_program ... ASPI native) and shown the NT family by Wine;
// the seam shows the transport the platform of the path.
#ifndef ZAL_TESTS_PATHTESTSUPPORT_H
#define ZAL_TESTS_PATHTESTSUPPORT_H

#include "CommandLog.h"
#include "EmulatorAccess.h"
#include "TestSeam.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

enum class TransportPath { Aspi, Nt };

// Makes `path` the path of what follows: the seam reports Windows 9x and opens no
// drive letter (Aspi), or reports the NT family and opens the emulator's drive
// letters (Nt). Without it the path is the platform Wine shows the program.
void UsePath(TransportPath path);
// True when the cases run on the ASPI path.
bool OnAspiPath();
// "aspi" or "nt", as a command line and a test name give the path.
const char* PathName(TransportPath path);
// The path named by "aspi" or "nt"; false for any other text.
bool PathFromName(const std::string& name, TransportPath* path);

// Takes "--path aspi|nt" out of a program's arguments into `path` (left as it is
// without one); false when the path is not one of the two.
bool TakePathArgument(int* argc, char** argv, TransportPath* path);

// The emulator behind the transport on the current path.
EmulatorAccess& Emulator();

// A fixture whose cases run once on each path: the path is the parameter, put
// into the seam before each case and the seam put back after it. ctest runs each
// case in a process of its own. Run whole, a program's cases share the
// transport's request blocks: a command hung on the ASPI path keeps its block
// until the next scenario is loaded (the emulator's wnaspi32.dll then completes
// it aborted, as a reset drive), so a case with several hung commands holds
// several blocks meanwhile.
class PathTest : public ::testing::TestWithParam<TransportPath> {
protected:
    void SetUp() override { UsePath(GetParam()); }

private:
    SeamScope seam_;
};

// The parameter's part of a case name.
std::string PathParamName(const ::testing::TestParamInfo<TransportPath>& info);

// Runs the cases of fixture `suite` (derived from PathTest) on both paths.
#define ZAL_ON_BOTH_PATHS(suite)                                                                   \
    INSTANTIATE_TEST_SUITE_P(                                                                      \
        Path, suite, ::testing::Values(TransportPath::Aspi, TransportPath::Nt), PathParamName)

// The emulator's address of (host adapter, target): "H:T" on the ASPI path; on
// the NT path the drive letter that becomes host adapter `ha` when the letters
// from D: on answer (target 0 only there).
std::string Address(int ha, int target);

// A [device] section of a scenario.
std::string Device(int ha, int target, const std::string& settings);

// Loads the scenario into the emulator and starts the transport over it (on the
// NT path once the simulator has completed every request it holds); the log and
// the sent requests are cleared afterwards, so they hold only what the test
// itself sends. Returns
// the emulator's error text ("" on success).
std::string StartWith(const std::string& scenario);

// The commands in the log, optionally only those to one address, and without the
// TEST UNIT READY of the dialog's poll when `withoutPolls`.
std::vector<zalemu::CommandRecord> Commands(const std::string& address = std::string(),
                                            bool withoutPolls = false);

// What the program put into the request block of each SCSI command it sent
// since the transport was started: the CDB as text, SRB_Flags, SRB_SenseLen.
struct SentRequest {
    std::string cdb;
    unsigned flags;
    unsigned senseLength;
};
std::vector<SentRequest> SentRequests();

// Code page 932 bytes of a UTF-8 text, for comparing the Japanese texts.
std::string Cp932(const char* utf8);

#endif
