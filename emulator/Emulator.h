// The process-wide drive emulator: the current scenario's devices, the faults,
// delays and disappearance wrapped around each device's model, the command log,
// and the state file that keeps the drives' memory across runs. Both front ends
// (the ASPI library and the SPTI back end) and the control functions use it.
// One lock guards it; it is never held while a command's delay runs.
#ifndef ZAL_EMULATOR_EMULATOR_H
#define ZAL_EMULATOR_EMULATOR_H

#include "CommandLog.h"
#include "DriveModel.h"
#include "Scenario.h"
#include "TextFile.h"

#include <windows.h>

#include <string>
#include <vector>

namespace zalemu {

// The pass-through block's fields, for the log of an SPTI command.
struct PassThroughInfo {
    unsigned pathId = 0;
    unsigned targetId = 0;
    unsigned lun = 0;
    unsigned senseLength = 0;
    unsigned dataIn = 0;
    unsigned timeout = 0;
};

enum class ExecStatus {
    Completed,         // good or check condition: see `good` and `sense`
    NoDevice,          // nothing at that address
    Gone,              // the device has vanished
    PassThroughFailed, // the pass-through itself failed (SPTI only)
    Released           // a hung command, given up when the scenario was reloaded
};

struct ExecResult {
    ExecStatus status = ExecStatus::NoDevice;
    bool good = false;
    uint8_t sense[SenseDataSize] = {0};
    uint32_t transferred = 0;
};

// A command carried out by Emulator::CarryOut, and how it ends: after delayMs
// (the drive's time for it and any lateness), with EndCommand; a hung one never
// ends, and replacing the scenario releases it. For the ASPI front end also how
// its completion is timed: on the caller's thread, or on the worker with the
// final status written statusLeadMs before the signal. (The SPTI back end
// completes every command as an ordinary one.)
struct CarriedCommand {
    ExecResult result;
    DWORD delayMs = 0;
    bool hangs = false;
    bool inFlight = false; // counted as in flight until EndCommand (never for a hang)
    HANDLE release = NULL; // a hung command: set when the scenario is replaced
    bool onCallersThread = false;
    DWORD statusLeadMs = 0;
};

// What a front end needs to know of a device outside its commands.
struct DeviceView {
    DeviceKind kind = DeviceKind::Tk4800j;
    uint8_t deviceType = 0;
    uint8_t inquiry[InquiryDataSize] = {0};
    uint32_t maxTransfer = 0;
    uint32_t alignmentMask = 0;
    bool openFails = false;
    bool inquiryDataFails = false;
    bool capabilitiesFails = false;
    bool gone = false;
};

struct AspiView {
    bool loaded = false; // a scenario is loaded
    AspiStatus status = AspiStatus::Ready;
    int hostAdapters = 0;
    Completion completion = Completion::Worker;
    DWORD earlyStatusMs = 0; // the scenario's early-status
    bool noDeviceLater = false;
};

class Emulator {
public:
    static Emulator& Instance();

    // Replace the scenario; once one has replaced it, the listener (below) is told.
    bool LoadScenarioText(const std::string& text, const std::string& baseDir, std::string* error);
    bool LoadScenarioFile(const std::string& path, std::string* error);
    // Called, outside the emulator's lock, each time a load has replaced the
    // scenario (the drives were reset): the ASPI front end ends its hung requests
    // there. One listener; null for none.
    void SetReplacedListener(void (*listener)());

    // Carries out one command on the device at `address`, with its faults, and
    // blocks for as long as the command takes: CarryOut, its delay, EndCommand. A
    // hung command blocks until the scenario is replaced. `passThrough` is given
    // by the SPTI back end only.
    ExecResult Execute(const std::string& address, const uint8_t* cdb, size_t cdbLength,
                       Direction direction, uint8_t* data, uint32_t length,
                       const PassThroughInfo* passThrough);
    // Carries out one command at once (the model runs it, it is logged) and says
    // how long it takes; the command stays in flight until EndCommand, so that a
    // command begun meanwhile is noted as an overlap.
    CarriedCommand CarryOut(const std::string& address, const uint8_t* cdb, size_t cdbLength,
                            Direction direction, uint8_t* data, uint32_t length,
                            const PassThroughInfo* passThrough);
    // Ends a carried-out command whose delay has run.
    void EndCommand(const CarriedCommand& command);

    bool Describe(const std::string& address, DeviceView* view);
    // 1 while the device is in flash mode, 0 when it is not, -1 without such a device.
    int FlashMode(const std::string& address);
    AspiView Aspi();
    // The lowest-target device of a host adapter gives the adapter's limits.
    bool AdapterLimits(int hostAdapter, uint32_t* maxTransfer, uint32_t* alignmentMask);

    std::string LogText();
    void ClearLog();
    bool SetDisc(const std::string& address, bool loaded);
    bool SetStateValue(const std::string& address, const std::string& key, const std::string& value,
                       std::string* error);
    std::string StateText();
    // The bytes of the device's flash from drive address 0x6000 on (none while
    // they are unknown: no run has flashed the drive); false without such a device.
    bool Firmware(const std::string& address, std::vector<uint8_t>* bytes);
    std::string LogPath();
    // Why no scenario is loaded ("" once one is).
    std::string LoadError();

private:
    struct Device {
        DeviceConfig config;
        DriveModel model;
        unsigned commands = 0;
        std::vector<unsigned> faultMatches;
        unsigned passThroughFailuresLeft = 0;
        bool gone = false;
        explicit Device(const DeviceConfig& deviceConfig);
    };

    class Guard {
    public:
        explicit Guard(CRITICAL_SECTION* lock) : lock_(lock) { EnterCriticalSection(lock_); }
        ~Guard() { LeaveCriticalSection(lock_); }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        CRITICAL_SECTION* lock_;
    };

    Emulator();
    void EnsureLoaded();
    bool Load(const std::string& text, const std::string& baseDir, std::string* error,
              std::string* logPathSeen);
    Device* Find(const std::string& address);
    // With the lock held: the scenario loaded, every device brought up to `nowMs`,
    // and the device at `address` (null when there is none).
    Device* FindCurrent(const std::string& address, uint32_t nowMs);
    void Refresh(uint32_t nowMs);
    void Persist();
    void Note(const std::string& text);
    void Record(CommandRecord record);
    const FaultRule* MatchFault(Device* device, const uint8_t* cdb, size_t cdbLength);

    CRITICAL_SECTION lock_;
    bool tried_ = false; // the environment's scenario was looked for
    bool loaded_ = false;
    std::string loadError_;
    ScenarioConfig scenario_;
    std::vector<Device> devices_;
    FileStamp stateStamp_;
    std::vector<CommandRecord> log_;
    unsigned commandCount_ = 0;
    // Commands carried out and not yet completed (their delay, lateness or hang
    // still running), and the number of the last of them: a command that begins
    // meanwhile is a second command in flight, noted in the log.
    unsigned inFlight_ = 0;
    unsigned lastInFlight_ = 0;
    // Of those, the hung ones: they end when the scenario is replaced.
    unsigned hungInFlight_ = 0;
    HANDLE release_ = NULL;     // set when the scenario is replaced: hung commands end
    bool releaseTaken_ = false; // a hung command waits on release_
    void (*replacedListener_)() = nullptr;
};

} // namespace zalemu

#endif
