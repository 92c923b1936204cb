// A scenario: the emulator's devices (per host adapter and target, or per drive
// letter), their kind, initial state, timing and faults, read from the scenario
// file's text. The format is described in emulator/README.md.
#ifndef ZAL_EMULATOR_SCENARIO_H
#define ZAL_EMULATOR_SCENARIO_H

#include "DriveState.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zalemu {

enum class DeviceKind { Tk4800j, Optical, Disk };
enum class AspiStatus { Ready, Initialising, Error };
// Where the ASPI front end completes an execute request: on its worker thread,
// later (as an ASPI layer does), or on the caller's thread before
// SendASPI32Command returns (an instant drive, whose cost stays on the caller).
enum class Completion { Worker, Caller };
// How the ASPI front end answers an execute request to a target without a
// device: at once, with SS_NO_DEVICE from SendASPI32Command, or later, accepted
// with SS_PENDING and completed with SS_NO_DEVICE on its worker (as some ASPI
// managers do).
enum class NoDeviceAnswer { AtOnce, Later };

// Fixed-format sense: sense key, additional sense code and qualifier.
struct SenseCode {
    uint8_t key = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
};

// What a fault does to its command: a check condition; never completed; completed
// late; on the ASPI path, its final status written into the request block some
// milliseconds before its event is signalled (EarlyStatus), or the request
// carried out and completed on the caller's thread before SendASPI32Command
// returns (Caller). The SPTI path completes the last two as an ordinary command.
enum class FaultAction { Check, Hang, Late, EarlyStatus, Caller };

// "OP[/SUB][#N] action" or "@N action".
struct FaultRule {
    bool byIndex = false; // @N: the N-th command of the device
    unsigned index = 0;   // N of @N
    uint8_t opcode = 0;   // OP
    bool hasSub = false;  // /SUB given: CDB byte 1 must match
    uint8_t sub = 0;
    unsigned occurrence = 0; // #N: only the N-th matching command; 0: every one
    FaultAction action = FaultAction::Check;
    SenseCode sense;            // check K/ASC/ASCQ
    unsigned lateMs = 0;        // late MS
    unsigned earlyStatusMs = 0; // early-status MS
};

struct DeviceConfig {
    std::string address; // "0:0" or "D:"
    DeviceKind kind = DeviceKind::Tk4800j;
    std::string vendor;  // blank-padded to 8
    std::string product; // blank-padded to 16
    DriveState initial;  // revision blank-padded to 4
    // What a TK-4800J reports instead of its product and revision while its loader
    // runs (in flash mode, and while its firmware is incomplete).
    std::string loaderProduct = "TK-4800J LOADER "; // blank-padded to 16
    std::string loaderRevision = "0.01";
    unsigned loadTimeMs = 0;
    unsigned commandVersion = 3;
    unsigned delayMs = 0;
    unsigned blockDelayMs = 0;
    uint32_t maxTransfer = 65536;
    uint32_t alignmentMask = 1;
    bool openFails = false;
    bool inquiryDataFails = false;
    bool capabilitiesFails = false;
    // The emulator's signature in INQUIRY bytes 36-55 is left out, as a real drive
    // would: a program carrying a test image must refuse to flash the device.
    bool signatureHidden = false;
    unsigned passThroughFailures = 0;
    unsigned vanishAfter = 0;
    std::vector<FaultRule> faults;
    // Raw replies in place of the model's own, for feeding a tool odd device data:
    // the INQUIRY data (any bytes, possibly fewer than 36), and the replies of the
    // 0xC9 reads (sub-command 2) in turn, the last one repeating.
    bool hasInquiryReply = false;
    std::vector<uint8_t> inquiryReply;
    std::vector<std::vector<uint8_t>> readReplies;
};

struct ScenarioConfig {
    AspiStatus aspiStatus = AspiStatus::Ready;
    Completion completion = Completion::Worker;
    // Every request the ASPI library completes on its worker has its status
    // written this many milliseconds before its event is signalled.
    unsigned earlyStatusMs = 0;
    NoDeviceAnswer noDevice = NoDeviceAnswer::AtOnce;
    int hostAdapters = -1; // -1: 1 + the highest host adapter of any device
    std::string statePath; // resolved against the base folder; "" for none
    std::string logPath;
    std::vector<DeviceConfig> devices;
};

// Parses a scenario. Relative file names are resolved against baseDir (the
// current folder when it is empty). False with "line N: ..." in *error; the
// log file named before the offending line is left in scenario->logPath, so that
// the failure can be written there.
bool ParseScenario(const std::string& text, const std::string& baseDir, ScenarioConfig* scenario,
                   std::string* error);

// The host adapter count the ASPI front end reports for the scenario.
int HostAdapterCount(const ScenarioConfig& scenario);

// A file name against a base folder: unchanged when absolute or when base is "".
std::string ResolvePath(const std::string& baseDir, const std::string& name);

} // namespace zalemu

#endif
