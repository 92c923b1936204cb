// Helpers of the engine tests on either transport path (see PathTestSupport.h).
#include "PathTestSupport.h"

#include "ScsiTransport.h"

#include <windows.h>

#include <cstdio>

EmulatorAccess& Emulator() {
    static EmulatorAccess access =
        OnAspiPath ? EmulatorAccess::InAspiLibrary() : EmulatorAccess::Linked();
    return access;
}

std::string Address(int ha, int target) {
    char text[16];
    if (OnAspiPath) {
        std::snprintf(text, sizeof text, "%d:%d", ha, target);
    } else {
        std::snprintf(text, sizeof text, "%c:", 'D' + ha);
    }
    return text;
}

std::string Device(int ha, int target, const std::string& settings) {
    return "[device " + Address(ha, target) + "]\n" + settings + "\n";
}

std::string StartWith(const std::string& scenario) {
    const std::string error = Emulator().Load(scenario);
    if (!error.empty()) {
        return error;
    }
    InitScsiTransport();
    Emulator().ClearLog();
    return std::string();
}

std::vector<zalemu::CommandRecord> Commands(const std::string& address, bool withoutPolls) {
    std::vector<zalemu::CommandRecord> selected;
    for (const zalemu::CommandRecord& record : Emulator().Commands()) {
        if (!address.empty() && record.address != address) {
            continue;
        }
        if (withoutPolls && record.Opcode() == 0x00) {
            continue;
        }
        selected.push_back(record);
    }
    return selected;
}

std::vector<std::string> CdbTexts(const std::vector<zalemu::CommandRecord>& records) {
    std::vector<std::string> texts;
    for (const zalemu::CommandRecord& record : records) {
        texts.push_back(CdbText(record));
    }
    return texts;
}

std::string Cp932(const char* utf8) {
    wchar_t wide[512];
    const int wideLength = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 512);
    char bytes[1024];
    const int length =
        WideCharToMultiByte(932, 0, wide, wideLength, bytes, sizeof bytes, NULL, NULL);
    return length > 0 ? std::string(bytes, static_cast<size_t>(length - 1)) : "<no code page 932>";
}
