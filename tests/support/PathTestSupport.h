// Helpers of the engine tests that run on either transport path: the emulator of
// the path this test program was built for (the Windows 9x path through the
// emulator's wnaspi32.dll, or the NT path through ASPISim over emulated drive
// letters), device addresses as the emulator names them on that path, scenario
// text, and readable views of the command log. Compiled into each test program,
// which defines ZAL_TEST_ASPI_PATH.
#ifndef ZAL_TESTS_PATHTESTSUPPORT_H
#define ZAL_TESTS_PATHTESTSUPPORT_H

#include "CommandLog.h"
#include "EmulatorAccess.h"

#include <string>
#include <vector>

#ifndef ZAL_TEST_ASPI_PATH
#error "ZAL_TEST_ASPI_PATH must be 1 (Windows 9x, ASPI) or 0 (NT, ASPISim)"
#endif

// True when the program runs on the ASPI path.
constexpr bool OnAspiPath = ZAL_TEST_ASPI_PATH != 0;

// The emulator behind this program's transport.
EmulatorAccess& Emulator();

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
