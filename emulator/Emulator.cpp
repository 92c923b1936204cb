// The process-wide drive emulator (see Emulator.h): scenario loading with its
// state file, the per-command path (state file re-read, disappearance,
// pass-through failures, faults, the model, the log, the state file written),
// carried out under the lock, and its end, which the caller brings about once the
// command's delay has run, outside the lock.
#include "Emulator.h"

#include "ConfigText.h"

#include <cstdio>

namespace zalemu {

namespace {
constexpr char ScenarioVariable[] = "ZALEMU_SCENARIO";

std::string SenseText(const uint8_t* sense) {
    char text[32];
    std::snprintf(text, sizeof text, "check-%X/%02X/%02X", sense[2] & 0x0F, sense[12], sense[13]);
    return text;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}
} // namespace

Emulator::Device::Device(const DeviceConfig& deviceConfig)
    : config(deviceConfig), model(deviceConfig), faultMatches(deviceConfig.faults.size(), 0),
      passThroughFailuresLeft(deviceConfig.passThroughFailures) {}

Emulator& Emulator::Instance() {
    // Never destroyed: threads of hung commands may still use it at process exit.
    static Emulator* instance = new Emulator();
    return *instance;
}

Emulator::Emulator() {
    InitializeCriticalSection(&lock_);
    release_ = CreateEventA(NULL, TRUE, FALSE, NULL);
}

void Emulator::EnsureLoaded() {
    if (tried_ || loaded_) {
        return;
    }
    tried_ = true;
    char path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA(ScenarioVariable, path, sizeof path);
    std::string logPath;
    if (length == 0 || length >= sizeof path) {
        loadError_ =
            std::string("drive emulator: ") + ScenarioVariable + " does not name a scenario file";
    } else {
        std::string text;
        std::string error;
        if (!ReadTextFile(path, &text)) {
            loadError_ = std::string("drive emulator: cannot read the scenario ") + path;
        } else if (!Load(text, FolderOf(path), &error, &logPath)) {
            loadError_ = std::string("drive emulator: scenario ") + path + ": " + error;
        }
    }
    if (!loaded_) {
        OutputDebugStringA((loadError_ + "\n").c_str());
        std::fprintf(stderr, "%s\n", loadError_.c_str());
        std::fflush(stderr);
        if (!logPath.empty()) {
            AppendTextFile(logPath, "# " + loadError_ + "\r\n");
        }
    }
}

bool Emulator::LoadScenarioText(const std::string& text, const std::string& baseDir,
                                std::string* error) {
    void (*listener)() = nullptr;
    {
        Guard guard(&lock_);
        std::string logPath;
        if (!Load(text, baseDir, error, &logPath)) {
            return false;
        }
        listener = replacedListener_;
    }
    if (listener != nullptr) {
        listener();
    }
    return true;
}

bool Emulator::LoadScenarioFile(const std::string& path, std::string* error) {
    std::string text;
    if (!ReadTextFile(path, &text)) {
        *error = "cannot read the scenario file " + path;
        return false;
    }
    return LoadScenarioText(text, FolderOf(path), error);
}

void Emulator::SetReplacedListener(void (*listener)()) {
    Guard guard(&lock_);
    replacedListener_ = listener;
}

// Fills in the bytes of firmware that the state file names by digest alone,
// from the file beside the state file; bytes that do not match their digest are
// not taken.
static void ReadFirmwareFiles(const std::string& statePath,
                              std::map<std::string, DriveState>* states) {
    for (auto& entry : *states) {
        DriveState& state = entry.second;
        std::string bytes;
        if (state.firmware || state.imageDigest == "none" ||
            !ReadTextFile(FirmwareFilePath(statePath, state.imageDigest), &bytes)) {
            continue;
        }
        std::vector<uint8_t> firmware(bytes.begin(), bytes.end());
        if (FirmwareDigest(firmware) == state.imageDigest) {
            state.firmware = std::make_shared<const std::vector<uint8_t>>(std::move(firmware));
        }
    }
}

bool Emulator::Load(const std::string& text, const std::string& baseDir, std::string* error,
                    std::string* logPathSeen) {
    ScenarioConfig scenario;
    const bool parsed = ParseScenario(text, baseDir, &scenario, error);
    *logPathSeen = scenario.logPath;
    if (!parsed) {
        return false;
    }
    std::vector<Device> devices;
    std::map<std::string, DriveState> states;
    for (const DeviceConfig& config : scenario.devices) {
        states[config.address] = config.initial;
    }
    FileStamp stamp;
    if (!scenario.statePath.empty()) {
        stamp = StampOf(scenario.statePath);
        std::string stateText;
        std::string stateError;
        if (stamp.exists && !ReadTextFile(scenario.statePath, &stateText)) {
            *error = "cannot read the state file " + scenario.statePath;
            return false;
        }
        if (stamp.exists && !ApplyStateText(stateText, &states, &stateError)) {
            *error = "state file " + scenario.statePath + ": " + stateError;
            return false;
        }
        ReadFirmwareFiles(scenario.statePath, &states);
    }
    std::vector<std::pair<std::string, DriveState>> initial;
    for (const DeviceConfig& config : scenario.devices) {
        DeviceConfig withState = config;
        withState.initial = states[config.address];
        devices.push_back(Device(withState));
        initial.push_back(std::make_pair(config.address, withState.initial));
    }
    // A missing state file is created from the scenario's initial values.
    if (!scenario.statePath.empty() && !stamp.exists) {
        if (!ReplaceTextFile(scenario.statePath, FormatStateText(initial))) {
            *error = "cannot write the state file " + scenario.statePath;
            return false;
        }
        stamp = StampOf(scenario.statePath);
    }
    // Commands hung on the old devices end now; the new scenario starts afresh. The
    // event is replaced only when a hung command holds it, so that reloading a
    // scenario many times keeps no handle per load.
    if (releaseTaken_) {
        SetEvent(release_);
        release_ = CreateEventA(NULL, TRUE, FALSE, NULL);
        releaseTaken_ = false;
    }
    inFlight_ -= hungInFlight_;
    hungInFlight_ = 0;
    scenario_ = scenario;
    devices_ = devices;
    stateStamp_ = stamp;
    log_.clear();
    commandCount_ = 0;
    loaded_ = true;
    loadError_.clear();
    return true;
}

Emulator::Device* Emulator::FindCurrent(const std::string& address, uint32_t nowMs) {
    EnsureLoaded();
    Refresh(nowMs);
    return Find(address);
}

Emulator::Device* Emulator::Find(const std::string& address) {
    std::string normalized;
    if (!NormalizeAddress(address, &normalized)) {
        return nullptr;
    }
    for (Device& device : devices_) {
        if (device.config.address == normalized) {
            return &device;
        }
    }
    return nullptr;
}

void Emulator::Refresh(uint32_t nowMs) {
    if (scenario_.statePath.empty()) {
        return;
    }
    const FileStamp stamp = StampOf(scenario_.statePath);
    if (stamp == stateStamp_) {
        return;
    }
    stateStamp_ = stamp;
    std::string text;
    if (!stamp.exists || !ReadTextFile(scenario_.statePath, &text)) {
        return;
    }
    std::map<std::string, DriveState> states;
    for (const Device& device : devices_) {
        states[device.config.address] = device.model.State();
    }
    std::string error;
    if (!ApplyStateText(text, &states, &error)) {
        Note("state file " + scenario_.statePath + " not taken: " + error);
        return;
    }
    ReadFirmwareFiles(scenario_.statePath, &states);
    for (Device& device : devices_) {
        device.model.SetState(states[device.config.address], nowMs);
    }
}

void Emulator::Persist() {
    if (scenario_.statePath.empty()) {
        return;
    }
    std::vector<std::pair<std::string, DriveState>> states;
    for (const Device& device : devices_) {
        states.push_back(std::make_pair(device.config.address, device.model.State()));
    }
    // The firmware's bytes go into a file named by their digest before the state
    // file names it.
    for (const auto& device : states) {
        const DriveState& state = device.second;
        const std::string path = FirmwareFilePath(scenario_.statePath, state.imageDigest);
        if (state.firmware && !StampOf(path).exists &&
            !ReplaceTextFile(path, std::string(state.firmware->begin(), state.firmware->end()))) {
            Note("cannot write the firmware file " + path);
        }
    }
    if (ReplaceTextFile(scenario_.statePath, FormatStateText(states))) {
        stateStamp_ = StampOf(scenario_.statePath);
    } else {
        Note("cannot write the state file " + scenario_.statePath);
    }
}

void Emulator::Note(const std::string& text) {
    if (!scenario_.logPath.empty()) {
        AppendTextFile(scenario_.logPath, "# " + text + "\r\n");
    }
}

void Emulator::Record(CommandRecord record) {
    record.index = ++commandCount_;
    record.ms = LogClockMs();
    if (inFlight_ > 0) {
        Note("overlap: command " + std::to_string(record.index) + " began while command " +
             std::to_string(lastInFlight_) + " was in flight");
    }
    if (!scenario_.logPath.empty()) {
        AppendTextFile(scenario_.logPath, FormatRecord(record) + "\r\n");
    }
    log_.push_back(record);
}

const FaultRule* Emulator::MatchFault(Device* device, const uint8_t* cdb, size_t cdbLength) {
    const FaultRule* chosen = nullptr;
    const uint8_t opcode = cdbLength > 0 ? cdb[0] : 0;
    const uint8_t sub = cdbLength > 1 ? cdb[1] : 0;
    for (size_t i = 0; i < device->config.faults.size(); ++i) {
        const FaultRule& rule = device->config.faults[i];
        bool fires = false;
        if (rule.byIndex) {
            fires = device->commands == rule.index;
        } else if (rule.opcode == opcode && (!rule.hasSub || rule.sub == sub)) {
            ++device->faultMatches[i];
            fires = rule.occurrence == 0 || rule.occurrence == device->faultMatches[i];
        }
        if (fires && chosen == nullptr) {
            chosen = &rule;
        }
    }
    return chosen;
}

ExecResult Emulator::Execute(const std::string& address, const uint8_t* cdb, size_t cdbLength,
                             Direction direction, uint8_t* data, uint32_t length,
                             const PassThroughInfo* passThrough) {
    const CarriedCommand command =
        CarryOut(address, cdb, cdbLength, direction, data, length, passThrough);
    if (command.delayMs != 0) {
        Sleep(command.delayMs);
    }
    if (command.hangs) {
        WaitForSingleObject(command.release, INFINITE);
        ExecResult released;
        released.status = ExecStatus::Released;
        return released;
    }
    EndCommand(command);
    return command.result;
}

void Emulator::EndCommand(const CarriedCommand& command) {
    if (command.inFlight && !command.hangs) {
        Guard guard(&lock_);
        --inFlight_;
    }
}

CarriedCommand Emulator::CarryOut(const std::string& address, const uint8_t* cdb, size_t cdbLength,
                                  Direction direction, uint8_t* data, uint32_t length,
                                  const PassThroughInfo* passThrough) {
    CarriedCommand command;
    ExecResult& result = command.result;
    DWORD& delay = command.delayMs;
    {
        Guard guard(&lock_);
        const uint32_t now = GetTickCount();
        Device* device = FindCurrent(address, now);
        if (device == nullptr) {
            result.status = ExecStatus::NoDevice;
            return command;
        }
        CommandRecord record;
        record.address = device->config.address;
        record.cdb.assign(cdb, cdb + cdbLength);
        record.direction = direction;
        record.length = length;
        if (passThrough != nullptr) {
            record.viaPassThrough = true;
            record.ptPathId = passThrough->pathId;
            record.ptTargetId = passThrough->targetId;
            record.ptLun = passThrough->lun;
            record.ptSenseLength = passThrough->senseLength;
            record.ptDataIn = passThrough->dataIn;
            record.ptTimeout = passThrough->timeout;
        }
        if (!device->gone && passThrough != nullptr && device->passThroughFailuresLeft > 0) {
            --device->passThroughFailuresLeft;
            record.outcome = "pass-through-failed";
            Record(record);
            result.status = ExecStatus::PassThroughFailed;
            return command;
        }
        if (!device->gone) {
            ++device->commands;
            device->gone =
                device->config.vanishAfter != 0 && device->commands > device->config.vanishAfter;
        }
        if (device->gone) {
            record.outcome = "gone";
            Record(record);
            result.status = ExecStatus::Gone;
            return command;
        }
        const FaultRule* fault = MatchFault(device, cdb, cdbLength);
        const FaultAction action = fault != nullptr ? fault->action : FaultAction::Check;
        // The ASPI front end's timing: the fault's, else the scenario's.
        if (passThrough == nullptr) {
            if (fault != nullptr && action == FaultAction::Caller) {
                command.onCallersThread = true;
            } else if (fault != nullptr && action == FaultAction::EarlyStatus) {
                command.statusLeadMs = fault->earlyStatusMs;
            } else if (scenario_.completion == Completion::Caller) {
                command.onCallersThread = true;
            } else {
                command.statusLeadMs = scenario_.earlyStatusMs;
            }
        }
        delay = device->config.delayMs;
        if (cdbLength > 1 && cdb[0] == 0xCB && (cdb[1] == 0x04 || cdb[1] == 0x02)) {
            delay += device->config.blockDelayMs;
        }
        result.status = ExecStatus::Completed;
        if (fault != nullptr && fault->action == FaultAction::Hang) {
            record.outcome = "hang";
            Record(record);
            command.hangs = true;
            command.release = release_;
            releaseTaken_ = true;
            ++hungInFlight_;
        } else {
            if (fault != nullptr && fault->action == FaultAction::Check) {
                FixedSense(fault->sense, result.sense);
            } else {
                const ModelReply reply =
                    device->model.Execute(cdb, cdbLength, direction, data, length, now);
                result.good = reply.good;
                result.transferred = reply.transferred;
                if (!reply.good) {
                    FixedSense(reply.sense, result.sense);
                }
                if (reply.stateChanged) {
                    Persist();
                }
            }
            record.outcome = result.good ? "good" : SenseText(result.sense);
            if (fault != nullptr && action == FaultAction::Late) {
                delay += fault->lateMs;
                record.outcome = "late-" + std::to_string(fault->lateMs) + "-" + record.outcome;
            }
            // Only the ASPI front end times these apart; on the SPTI path the
            // command completes as an ordinary one and is logged so.
            if (fault != nullptr && action == FaultAction::EarlyStatus && passThrough == nullptr) {
                record.outcome =
                    "early-" + std::to_string(fault->earlyStatusMs) + "-" + record.outcome;
            }
            if (fault != nullptr && action == FaultAction::Caller && passThrough == nullptr) {
                record.outcome = "caller-" + record.outcome;
            }
            Record(record);
        }
        ++inFlight_;
        lastInFlight_ = commandCount_;
        command.inFlight = true;
    }
    return command;
}

bool Emulator::Describe(const std::string& address, DeviceView* view) {
    Guard guard(&lock_);
    Device* device = FindCurrent(address, GetTickCount());
    if (device == nullptr) {
        return false;
    }
    view->kind = device->config.kind;
    view->deviceType = device->model.DeviceType();
    device->model.InquiryData(view->inquiry);
    view->maxTransfer = device->config.maxTransfer;
    view->alignmentMask = device->config.alignmentMask;
    view->openFails = device->config.openFails;
    view->inquiryDataFails = device->config.inquiryDataFails;
    view->capabilitiesFails = device->config.capabilitiesFails;
    view->gone = device->gone;
    return true;
}

int Emulator::FlashMode(const std::string& address) {
    Guard guard(&lock_);
    Device* device = FindCurrent(address, GetTickCount());
    if (device == nullptr) {
        return -1;
    }
    return device->model.InFlashMode() ? 1 : 0;
}

AspiView Emulator::Aspi() {
    Guard guard(&lock_);
    EnsureLoaded();
    AspiView view;
    view.loaded = loaded_;
    view.status = scenario_.aspiStatus;
    view.hostAdapters = loaded_ ? HostAdapterCount(scenario_) : 0;
    view.completion = scenario_.completion;
    view.earlyStatusMs = scenario_.earlyStatusMs;
    view.noDeviceLater = scenario_.noDevice == NoDeviceAnswer::Later;
    return view;
}

bool Emulator::AdapterLimits(int hostAdapter, uint32_t* maxTransfer, uint32_t* alignmentMask) {
    Guard guard(&lock_);
    for (int target = 0; target < 256; ++target) {
        Device* device = Find(std::to_string(hostAdapter) + ":" + std::to_string(target));
        if (device != nullptr) {
            *maxTransfer = device->config.maxTransfer;
            *alignmentMask = device->config.alignmentMask;
            return true;
        }
    }
    return false;
}

std::string Emulator::LogText() {
    Guard guard(&lock_);
    std::string text;
    for (const CommandRecord& record : log_) {
        text += FormatRecord(record) + "\n";
    }
    return text;
}

void Emulator::ClearLog() {
    Guard guard(&lock_);
    log_.clear();
}

bool Emulator::SetDisc(const std::string& address, bool loaded) {
    std::string error;
    return SetStateValue(address, "disc", loaded ? "yes" : "no", &error);
}

bool Emulator::SetStateValue(const std::string& address, const std::string& key,
                             const std::string& value, std::string* error) {
    Guard guard(&lock_);
    const uint32_t now = GetTickCount();
    Device* device = FindCurrent(address, now);
    if (device == nullptr) {
        *error = "no device at " + address;
        return false;
    }
    DriveState state = device->model.State();
    std::string why;
    if (!SetStateKey(key, value, &state, &why)) {
        *error = key + ": " + why;
        return false;
    }
    device->model.SetState(state, now);
    Persist();
    return true;
}

std::string Emulator::StateText() {
    Guard guard(&lock_);
    EnsureLoaded();
    Refresh(GetTickCount());
    std::vector<std::pair<std::string, DriveState>> states;
    for (const Device& device : devices_) {
        states.push_back(std::make_pair(device.config.address, device.model.State()));
    }
    return FormatStateText(states);
}

bool Emulator::Firmware(const std::string& address, std::vector<uint8_t>* bytes) {
    Guard guard(&lock_);
    Device* device = FindCurrent(address, GetTickCount());
    if (device == nullptr) {
        return false;
    }
    bytes->clear();
    if (device->model.State().firmware) {
        *bytes = *device->model.State().firmware;
    }
    return true;
}

std::string Emulator::LogPath() {
    Guard guard(&lock_);
    EnsureLoaded();
    return scenario_.logPath;
}

std::string Emulator::LoadError() {
    Guard guard(&lock_);
    EnsureLoaded();
    return loadError_;
}

} // namespace zalemu
