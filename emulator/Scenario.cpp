// Reading a scenario's text into its devices, their state, timing and faults
// (see Scenario.h; the format is described in emulator/README.md).
#include "Scenario.h"

#include "ConfigText.h"

#include <map>
#include <sstream>

namespace zalemu {

namespace {

// A number with an optional 0x prefix (hexadecimal), decimal otherwise.
bool ParseNumber(const std::string& text, unsigned long maximum, unsigned long* value) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        return ParseUnsigned(text.substr(2), true, maximum, value);
    }
    return ParseUnsigned(text, false, maximum, value);
}

// One of two words; *isSecond tells which.
bool ParseChoice(const std::string& value, const char* first, const char* second, bool* isSecond,
                 std::string* why) {
    if (value == first || value == second) {
        *isSecond = value == second;
        return true;
    }
    *why = std::string("expected ") + first + " or " + second + ", got '" + value + "'";
    return false;
}

bool ParseSense(const std::string& text, SenseCode* sense) {
    const size_t first = text.find('/');
    const size_t second = first == std::string::npos ? first : text.find('/', first + 1);
    unsigned long key = 0;
    unsigned long asc = 0;
    unsigned long ascq = 0;
    if (second == std::string::npos || !ParseUnsigned(text.substr(0, first), true, 0xF, &key) ||
        !ParseUnsigned(text.substr(first + 1, second - first - 1), true, 0xFF, &asc) ||
        !ParseUnsigned(text.substr(second + 1), true, 0xFF, &ascq)) {
        return false;
    }
    sense->key = static_cast<uint8_t>(key);
    sense->asc = static_cast<uint8_t>(asc);
    sense->ascq = static_cast<uint8_t>(ascq);
    return true;
}

bool ParseTrigger(const std::string& text, FaultRule* rule, std::string* why) {
    unsigned long number = 0;
    if (!text.empty() && text[0] == '@') {
        if (!ParseUnsigned(text.substr(1), false, 0xFFFFFFFFul, &number) || number == 0) {
            *why = "@N needs a command number from 1, got '" + text + "'";
            return false;
        }
        rule->byIndex = true;
        rule->index = static_cast<unsigned>(number);
        return true;
    }
    std::string rest = text;
    const size_t hash = rest.find('#');
    if (hash != std::string::npos) {
        if (!ParseUnsigned(rest.substr(hash + 1), false, 0xFFFFFFFFul, &number) || number == 0) {
            *why = "#N needs an occurrence from 1 in '" + text + "'";
            return false;
        }
        rule->occurrence = static_cast<unsigned>(number);
        rest = rest.substr(0, hash);
    }
    const size_t slash = rest.find('/');
    if (slash != std::string::npos) {
        if (!ParseUnsigned(rest.substr(slash + 1), true, 0xFF, &number)) {
            *why = "the sub-command after '/' must be a hex byte in '" + text + "'";
            return false;
        }
        rule->hasSub = true;
        rule->sub = static_cast<uint8_t>(number);
        rest = rest.substr(0, slash);
    }
    if (!ParseUnsigned(rest, true, 0xFF, &number)) {
        *why = "expected OP[/SUB][#N] (hex opcode) or @N, got '" + text + "'";
        return false;
    }
    rule->opcode = static_cast<uint8_t>(number);
    return true;
}

bool ParseFault(const std::string& value, FaultRule* rule, std::string* why) {
    std::istringstream words(value);
    std::string trigger, action, argument, extra;
    words >> trigger >> action >> argument >> extra;
    if (!ParseTrigger(trigger, rule, why)) {
        return false;
    }
    if (action == "check") {
        rule->action = FaultAction::Check;
        if (!ParseSense(argument, &rule->sense) || !extra.empty()) {
            *why = "check needs a sense K/ASC/ASCQ in hex, e.g. 5/24/00";
            return false;
        }
        return true;
    }
    if (action == "hang") {
        rule->action = FaultAction::Hang;
        if (!argument.empty()) {
            *why = "hang takes nothing after it";
            return false;
        }
        return true;
    }
    if (action == "late") {
        unsigned long ms = 0;
        rule->action = FaultAction::Late;
        if (!ParseUnsigned(argument, false, 0x7FFFFFFFul, &ms) || !extra.empty()) {
            *why = "late needs milliseconds, e.g. late 6000";
            return false;
        }
        rule->lateMs = static_cast<unsigned>(ms);
        return true;
    }
    if (action == "early-status") {
        unsigned long ms = 0;
        rule->action = FaultAction::EarlyStatus;
        if (!ParseUnsigned(argument, false, 0x7FFFFFFFul, &ms) || !extra.empty()) {
            *why = "early-status needs milliseconds, e.g. early-status 30";
            return false;
        }
        rule->earlyStatusMs = static_cast<unsigned>(ms);
        return true;
    }
    if (action == "caller") {
        rule->action = FaultAction::Caller;
        if (!argument.empty()) {
            *why = "caller takes nothing after it";
            return false;
        }
        return true;
    }
    *why = "expected the action check K/ASC/ASCQ, hang, late MS, early-status MS or caller after "
           "the trigger";
    return false;
}

// Hexadecimal bytes, two digits each, optionally separated by '-': "05-80-02";
// "-" alone is no bytes at all.
bool ParseHexBytes(const std::string& text, size_t maximum, std::vector<uint8_t>* bytes,
                   std::string* why) {
    bytes->clear();
    std::string digits;
    for (char c : text) {
        if (c != '-') {
            digits += c;
        }
    }
    unsigned long byte = 0;
    for (size_t i = 0; i < digits.size(); i += 2) {
        if (i + 1 >= digits.size() || !ParseUnsigned(digits.substr(i, 2), true, 0xFF, &byte)) {
            *why = "expected hex bytes such as 05-80-02 (or - for none), got '" + text + "'";
            return false;
        }
        bytes->push_back(static_cast<uint8_t>(byte));
    }
    if (bytes->size() > maximum || (digits.empty() && text != "-")) {
        *why = "expected 0.." + std::to_string(maximum) + " hex bytes (- for none), got '" + text +
               "'";
        return false;
    }
    return true;
}

// A device section being read: which identification keys it set itself.
struct DeviceDraft {
    DeviceConfig config;
    unsigned line = 0;
    bool vendorSet = false;
    bool productSet = false;
    bool revisionSet = false;
};

bool SetDeviceKey(const std::string& key, const std::string& value, DeviceDraft* draft,
                  std::string* why) {
    DeviceConfig& device = draft->config;
    unsigned long number = 0;
    struct NumberKey {
        const char* name;
        unsigned long maximum;
        unsigned* field;
    };
    const NumberKey numbers[] = {{"load-time", 0x7FFFFFFFul, &device.loadTimeMs},
                                 {"command-version", 0xFFFF, &device.commandVersion},
                                 {"delay", 0x7FFFFFFFul, &device.delayMs},
                                 {"block-delay", 0x7FFFFFFFul, &device.blockDelayMs},
                                 {"pass-through-failures", 0xFFFF, &device.passThroughFailures},
                                 {"vanish-after", 0x7FFFFFFFul, &device.vanishAfter}};
    for (const NumberKey& entry : numbers) {
        if (key == entry.name) {
            if (!ParseNumber(value, entry.maximum, &number)) {
                *why = "expected a number 0.." + std::to_string(entry.maximum) + ", got '" + value +
                       "'";
                return false;
            }
            *entry.field = static_cast<unsigned>(number);
            return true;
        }
    }
    if (key == "max-transfer" || key == "alignment-mask") {
        if (!ParseNumber(value, 0xFFFFFFFFul, &number)) {
            *why = "expected a 32-bit number, got '" + value + "'";
            return false;
        }
        (key == "max-transfer" ? device.maxTransfer : device.alignmentMask) =
            static_cast<uint32_t>(number);
        return true;
    }
    if (key == "kind") {
        if (value == "tk4800j") {
            device.kind = DeviceKind::Tk4800j;
        } else if (value == "optical") {
            device.kind = DeviceKind::Optical;
        } else if (value == "disk") {
            device.kind = DeviceKind::Disk;
        } else {
            *why = "expected tk4800j, optical or disk, got '" + value + "'";
            return false;
        }
        return true;
    }
    if (key == "vendor") {
        draft->vendorSet = true;
        return SetIdentification(value, 8, &device.vendor, why);
    }
    if (key == "product") {
        draft->productSet = true;
        return SetIdentification(value, 16, &device.product, why);
    }
    if (key == "loader-product") {
        return SetIdentification(value, 16, &device.loaderProduct, why);
    }
    if (key == "loader-revision") {
        return SetIdentification(value, 4, &device.loaderRevision, why);
    }
    if (key == "open") {
        return ParseChoice(value, "ok", "fail", &device.openFails, why);
    }
    if (key == "inquiry-data") {
        return ParseChoice(value, "answer", "fail", &device.inquiryDataFails, why);
    }
    if (key == "capabilities") {
        return ParseChoice(value, "answer", "fail", &device.capabilitiesFails, why);
    }
    if (key == "emulator-signature") {
        return ParseChoice(value, "show", "hide", &device.signatureHidden, why);
    }
    if (key == "fault") {
        FaultRule rule;
        if (!ParseFault(value, &rule, why)) {
            return false;
        }
        device.faults.push_back(rule);
        return true;
    }
    if (key == "inquiry-reply") {
        device.hasInquiryReply = true;
        return ParseHexBytes(value, 255, &device.inquiryReply, why);
    }
    if (key == "read-reply") {
        std::vector<uint8_t> reply;
        if (!ParseHexBytes(value, 255, &reply, why)) {
            return false;
        }
        device.readReplies.push_back(reply);
        return true;
    }
    if (IsStateKey(key)) {
        if (key == "revision") {
            draft->revisionSet = true;
        }
        return SetStateKey(key, value, &device.initial, why);
    }
    *why = "unknown key '" + key + "' in a [device] section";
    return false;
}

bool SetEmulatorKey(const std::string& key, const std::string& value, const std::string& baseDir,
                    ScenarioConfig* scenario, std::string* why) {
    if (key == "aspi-status") {
        if (value == "ready") {
            scenario->aspiStatus = AspiStatus::Ready;
        } else if (value == "initialising" || value == "initializing") {
            scenario->aspiStatus = AspiStatus::Initialising;
        } else if (value == "error") {
            scenario->aspiStatus = AspiStatus::Error;
        } else {
            *why = "expected ready, initialising or error, got '" + value + "'";
            return false;
        }
        return true;
    }
    if (key == "completion") {
        bool caller = false;
        if (!ParseChoice(value, "worker", "caller", &caller, why)) {
            return false;
        }
        scenario->completion = caller ? Completion::Caller : Completion::Worker;
        return true;
    }
    if (key == "early-status") {
        unsigned long ms = 0;
        if (!ParseNumber(value, 0x7FFFFFFFul, &ms)) {
            *why = "expected milliseconds 0.." + std::to_string(0x7FFFFFFFul) + ", got '" + value +
                   "'";
            return false;
        }
        scenario->earlyStatusMs = static_cast<unsigned>(ms);
        return true;
    }
    if (key == "no-device") {
        bool later = false;
        if (!ParseChoice(value, "at-once", "later", &later, why)) {
            return false;
        }
        scenario->noDevice = later ? NoDeviceAnswer::Later : NoDeviceAnswer::AtOnce;
        return true;
    }
    if (key == "host-adapters") {
        unsigned long count = 0;
        if (!ParseUnsigned(value, false, 255, &count)) {
            *why = "expected a count 0..255, got '" + value + "'";
            return false;
        }
        scenario->hostAdapters = static_cast<int>(count);
        return true;
    }
    if (key == "state" || key == "log") {
        if (value.empty()) {
            *why = "expected a file name";
            return false;
        }
        (key == "state" ? scenario->statePath : scenario->logPath) = ResolvePath(baseDir, value);
        return true;
    }
    *why = "unknown key '" + key + "' in [emulator]";
    return false;
}

void ApplyKindDefaults(DeviceDraft* draft) {
    static const struct {
        DeviceKind kind;
        const char* vendor;
        const char* product;
        const char* revision;
    } defaults[] = {{DeviceKind::Tk4800j, "ZAL", "TK-4800J", "2.16"},
                    {DeviceKind::Optical, "OTHERCO", "DVD-RW 9000", "1.00"},
                    {DeviceKind::Disk, "ACME", "FIXED DISK 2000", "3.10"}};
    std::string why;
    for (const auto& entry : defaults) {
        if (entry.kind != draft->config.kind) {
            continue;
        }
        if (!draft->vendorSet) {
            SetIdentification(entry.vendor, 8, &draft->config.vendor, &why);
        }
        if (!draft->productSet) {
            SetIdentification(entry.product, 16, &draft->config.product, &why);
        }
        if (!draft->revisionSet) {
            SetStateKey("revision", entry.revision, &draft->config.initial, &why);
        }
    }
}

} // namespace

std::string ResolvePath(const std::string& baseDir, const std::string& name) {
    const bool absolute = (!name.empty() && (name[0] == '\\' || name[0] == '/')) ||
                          (name.size() > 1 && name[1] == ':');
    if (absolute || baseDir.empty()) {
        return name;
    }
    const char last = baseDir[baseDir.size() - 1];
    return baseDir + (last == '\\' || last == '/' ? "" : "\\") + name;
}

bool ParseScenario(const std::string& text, const std::string& baseDir, ScenarioConfig* scenario,
                   std::string* error) {
    *scenario = ScenarioConfig();
    std::vector<ConfigLine> lines;
    if (!ReadConfigLines(text, &lines, error)) {
        return false;
    }
    std::vector<DeviceDraft> drafts;
    std::map<std::string, unsigned> firstLine;
    enum { None, Emulator, Device } section = None;
    for (const ConfigLine& line : lines) {
        const std::string at = "line " + std::to_string(line.number) + ": ";
        if (line.isSection) {
            std::string address;
            if (line.section == "emulator") {
                section = Emulator;
            } else if (line.section.compare(0, 7, "device ") == 0 &&
                       NormalizeAddress(line.section.substr(7), &address)) {
                if (firstLine.count(address) != 0) {
                    *error = at + "device " + address + " is defined twice (first on line " +
                             std::to_string(firstLine[address]) + ")";
                    return false;
                }
                firstLine[address] = line.number;
                drafts.push_back(DeviceDraft());
                drafts.back().config.address = address;
                drafts.back().line = line.number;
                section = Device;
            } else {
                *error = at + "unknown section [" + line.section +
                         "]; expected [emulator], [device H:T] or [device X:]";
                return false;
            }
            continue;
        }
        std::string why;
        bool ok = false;
        if (section == Emulator) {
            ok = SetEmulatorKey(line.key, line.value, baseDir, scenario, &why);
        } else if (section == Device) {
            ok = SetDeviceKey(line.key, line.value, &drafts.back(), &why);
        } else {
            why = "comes before any [emulator] or [device] section";
        }
        if (!ok) {
            *error = at + line.key + ": " + why;
            return false;
        }
    }
    for (DeviceDraft& draft : drafts) {
        ApplyKindDefaults(&draft);
        scenario->devices.push_back(draft.config);
    }
    return true;
}

int HostAdapterCount(const ScenarioConfig& scenario) {
    if (scenario.hostAdapters >= 0) {
        return scenario.hostAdapters;
    }
    int count = 0;
    for (const DeviceConfig& device : scenario.devices) {
        if (!IsLetterAddress(device.address)) {
            const int ha = std::stoi(device.address.substr(0, device.address.find(':')));
            count = ha + 1 > count ? ha + 1 : count;
        }
    }
    return count;
}

} // namespace zalemu
