// The persistent drive state and its text form (see DriveState.h).
#include "DriveState.h"

#include "ConfigText.h"

#include <cstdio>
#include <utility>

namespace zalemu {

static const char* const StateKeys[] = {"disc",       "changes-left", "dl-default",  "dl-temporary",
                                        "dl-applies", "r-default",    "r-temporary", "r-applies",
                                        "revision",   "firmware",     "image"};

bool IsStateKey(const std::string& key) {
    for (const char* known : StateKeys) {
        if (key == known) {
            return true;
        }
    }
    return false;
}

static bool SetByte(const std::string& value, uint8_t* byte, std::string* why) {
    unsigned long parsed = 0;
    if (!ParseUnsigned(value, true, 0xFF, &parsed)) {
        *why = "expected a book-type byte in hex (00..FF), got '" + value + "'";
        return false;
    }
    *byte = static_cast<uint8_t>(parsed);
    return true;
}

static bool SetChoice(const std::string& value, const char* no, const char* yes, bool* flag,
                      std::string* why) {
    if (value == no || value == yes) {
        *flag = value == yes;
        return true;
    }
    *why = std::string("expected ") + no + " or " + yes + ", got '" + value + "'";
    return false;
}

bool SetIdentification(const std::string& value, size_t width, std::string* field,
                       std::string* why) {
    if (value.size() > width) {
        *why = "at most " + std::to_string(width) + " characters, got '" + value + "'";
        return false;
    }
    for (size_t i = 0; i < value.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(value[i]);
        if (c < 0x20 || c > 0x7E) {
            char text[80];
            std::snprintf(text, sizeof text,
                          "character %u is 0x%02X; only printable ASCII (0x20..0x7E) is allowed",
                          static_cast<unsigned>(i + 1), c);
            *why = text;
            return false;
        }
    }
    *field = value + std::string(width - value.size(), ' ');
    return true;
}

bool SetStateKey(const std::string& key, const std::string& value, DriveState* state,
                 std::string* why) {
    if (key == "disc") {
        return SetChoice(value, "no", "yes", &state->disc, why);
    }
    if (key == "changes-left") {
        unsigned long count = 0;
        if (!ParseUnsigned(value, false, MaxChangesLeft, &count)) {
            *why = "expected a count 0..32767, got '" + value + "'";
            return false;
        }
        state->changesLeft = static_cast<unsigned>(count);
        return true;
    }
    BookTypeSetting* medium = key.compare(0, 3, "dl-") == 0  ? &state->dl
                              : key.compare(0, 2, "r-") == 0 ? &state->r
                                                             : nullptr;
    const std::string field = medium == nullptr      ? std::string()
                              : medium == &state->dl ? key.substr(3)
                                                     : key.substr(2);
    if (medium != nullptr && field == "default") {
        return SetByte(value, &medium->defaultValue, why);
    }
    if (medium != nullptr && field == "temporary") {
        return SetByte(value, &medium->temporaryValue, why);
    }
    if (medium != nullptr && field == "applies") {
        return SetChoice(value, "default", "temporary", &medium->temporaryApplies, why);
    }
    if (key == "revision") {
        return SetIdentification(value, 4, &state->revision, why);
    }
    if (key == "firmware") {
        return SetChoice(value, "good", "incomplete", &state->firmwareIncomplete, why);
    }
    if (key == "image") {
        // Another digest than the one held leaves the bytes unknown until they
        // are read from the file that the digest names.
        const bool hex =
            value.size() == 16 && value.find_first_not_of("0123456789abcdef") == std::string::npos;
        if (!hex && value != "none") {
            *why = "expected 16 lower-case hex digits or none, got '" + value + "'";
            return false;
        }
        if (value != state->imageDigest) {
            state->imageDigest = value;
            state->firmware.reset();
        }
        return true;
    }
    *why = "unknown key '" + key + "'";
    return false;
}

std::string FirmwareDigest(const std::vector<uint8_t>& bytes) {
    uint64_t hash = 14695981039346656037ull;
    for (uint8_t byte : bytes) {
        hash = (hash ^ byte) * 1099511628211ull;
    }
    char text[20];
    std::snprintf(text, sizeof text, "%08lx%08lx", static_cast<unsigned long>(hash >> 32),
                  static_cast<unsigned long>(hash & 0xFFFFFFFFu));
    return text;
}

void SetFirmware(DriveState* state, std::vector<uint8_t> bytes) {
    state->imageDigest = FirmwareDigest(bytes);
    state->firmware = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
}

std::string FirmwareFilePath(const std::string& statePath, const std::string& digest) {
    return statePath + "." + digest + ".bin";
}

static std::string Hex(uint8_t byte) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", byte);
    return text;
}

static std::string TrimRight(const std::string& text) {
    const size_t last = text.find_last_not_of(' ');
    return last == std::string::npos ? std::string() : text.substr(0, last + 1);
}

std::string FormatStateText(const std::vector<std::pair<std::string, DriveState>>& devices) {
    std::string text = "# Drive emulator state: what each drive keeps across runs. Written by "
                       "the emulator;\n# edit it to change a drive while a tool runs.\n";
    for (const auto& device : devices) {
        const DriveState& state = device.second;
        text += "\n[device " + device.first + "]\n";
        text += std::string("disc = ") + (state.disc ? "yes" : "no") + "\n";
        text += "changes-left = " + std::to_string(state.changesLeft) + "\n";
        text += "dl-default = " + Hex(state.dl.defaultValue) + "\n";
        text += "dl-temporary = " + Hex(state.dl.temporaryValue) + "\n";
        text += std::string("dl-applies = ") +
                (state.dl.temporaryApplies ? "temporary" : "default") + "\n";
        text += "r-default = " + Hex(state.r.defaultValue) + "\n";
        text += "r-temporary = " + Hex(state.r.temporaryValue) + "\n";
        text += std::string("r-applies = ") + (state.r.temporaryApplies ? "temporary" : "default") +
                "\n";
        text += "revision = " + TrimRight(state.revision) + "\n";
        text +=
            std::string("firmware = ") + (state.firmwareIncomplete ? "incomplete" : "good") + "\n";
        text += "image = " + state.imageDigest + "\n";
    }
    return text;
}

bool ApplyStateText(const std::string& text, std::map<std::string, DriveState>* states,
                    std::string* error) {
    std::vector<ConfigLine> lines;
    if (!ReadConfigLines(text, &lines, error)) {
        return false;
    }
    std::map<std::string, DriveState> result = *states;
    DriveState ignored;
    DriveState* current = nullptr;
    for (const ConfigLine& line : lines) {
        const std::string at = "line " + std::to_string(line.number) + ": ";
        if (line.isSection) {
            std::string address;
            if (line.section.compare(0, 7, "device ") != 0 ||
                !NormalizeAddress(line.section.substr(7), &address)) {
                *error = at + "expected [device H:T] or [device X:], got [" + line.section + "]";
                return false;
            }
            auto found = result.find(address);
            current = found != result.end() ? &found->second : &ignored;
            continue;
        }
        if (current == nullptr) {
            *error = at + "'" + line.key + "' comes before any [device] section";
            return false;
        }
        std::string why;
        if (!SetStateKey(line.key, line.value, current, &why)) {
            *error = at + line.key + ": " + why;
            return false;
        }
    }
    *states = result;
    return true;
}

} // namespace zalemu
