// Helpers of the book-type tests (see BookTypeTestSupport.h).
#include "BookTypeTestSupport.h"

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

static std::string VendorCdb(int sub, int medium, int byte3, int byte9) {
    char text[64];
    std::snprintf(text, sizeof text, "C9-%02X-%02X-%02X-5A-41-4C-42-4B-%02X-00-00", sub, medium,
                  byte3, byte9);
    return text;
}

std::string ReadCdb(int medium, int which) {
    return VendorCdb(2, medium, 1, which);
}
std::string SetDefaultCdb(int medium, int value) {
    return VendorCdb(1, medium, value, 0);
}
std::string SetTemporaryCdb(int medium, int value) {
    return VendorCdb(3, medium, value, 0);
}
std::string SelectCdb(int medium, int temporary) {
    return VendorCdb(4, medium, 0, temporary);
}

std::string Describe(const BookTypeState& s) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "default=%02X/%02X/%02X temporary=%02X/%02X/%02X valid=%d/%d/%d "
                  "selected=%d/%d/%d count=%d version=%d",
                  s.defaultValue[0], s.defaultValue[1], s.defaultValue[2], s.temporaryValue[0],
                  s.temporaryValue[1], s.temporaryValue[2], s.temporaryValid[0],
                  s.temporaryValid[1], s.temporaryValid[2], s.temporarySelected[0],
                  s.temporarySelected[1], s.temporarySelected[2], RemainingChangeCount(&s),
                  s.commandVersion);
    return text;
}

std::string Cp932(const char* utf8) {
    wchar_t wide[512];
    const int wideLength = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 512);
    char bytes[1024];
    const int length =
        WideCharToMultiByte(932, 0, wide, wideLength, bytes, sizeof bytes, NULL, NULL);
    return length > 0 ? std::string(bytes, static_cast<size_t>(length - 1)) : "<no code page 932>";
}
