// The emulator's C control functions (EmulatorControl.h) over the process-wide
// emulator; the same functions are exported by the emulator's wnaspi32.dll.
#include "EmulatorControl.h"

#include "Emulator.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

void CopyOut(const std::string& text, char* buffer, int size) {
    if (buffer == nullptr || size <= 0) {
        return;
    }
    const size_t count =
        text.size() < static_cast<size_t>(size) - 1 ? text.size() : static_cast<size_t>(size) - 1;
    std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
}

int TextResult(const std::string& text, char* buffer, int size) {
    CopyOut(text, buffer, size);
    return static_cast<int>(text.size());
}

} // namespace

int __cdecl ZalEmuLoadScenarioText(const char* text, const char* baseDir, char* error,
                                   int errorSize) {
    std::string message;
    const bool loaded = text != nullptr && zalemu::Emulator::Instance().LoadScenarioText(
                                               text, baseDir != nullptr ? baseDir : "", &message);
    if (text == nullptr) {
        message = "no scenario text";
    }
    CopyOut(loaded ? std::string() : message, error, errorSize);
    return loaded ? 1 : 0;
}

int __cdecl ZalEmuLoadScenarioFile(const char* path, char* error, int errorSize) {
    std::string message = "no scenario file named";
    const bool loaded =
        path != nullptr && zalemu::Emulator::Instance().LoadScenarioFile(path, &message);
    CopyOut(loaded ? std::string() : message, error, errorSize);
    return loaded ? 1 : 0;
}

int __cdecl ZalEmuLogText(char* buffer, int size) {
    return TextResult(zalemu::Emulator::Instance().LogText(), buffer, size);
}

void __cdecl ZalEmuClearLog(void) {
    zalemu::Emulator::Instance().ClearLog();
}

int __cdecl ZalEmuSetDisc(const char* address, int loaded) {
    return address != nullptr && zalemu::Emulator::Instance().SetDisc(address, loaded != 0) ? 1 : 0;
}

int __cdecl ZalEmuStateText(char* buffer, int size) {
    return TextResult(zalemu::Emulator::Instance().StateText(), buffer, size);
}

int __cdecl ZalEmuSetStateValue(const char* address, const char* key, const char* value,
                                char* error, int errorSize) {
    std::string message = "address, key and value are needed";
    const bool set = address != nullptr && key != nullptr && value != nullptr &&
                     zalemu::Emulator::Instance().SetStateValue(address, key, value, &message);
    CopyOut(set ? std::string() : message, error, errorSize);
    return set ? 1 : 0;
}

int __cdecl ZalEmuFirmware(const char* address, unsigned char* buffer, int size) {
    std::vector<uint8_t> bytes;
    if (address == nullptr || !zalemu::Emulator::Instance().Firmware(address, &bytes)) {
        return -1;
    }
    if (buffer != nullptr && size > 0) {
        const size_t count =
            bytes.size() < static_cast<size_t>(size) ? bytes.size() : static_cast<size_t>(size);
        std::memcpy(buffer, bytes.data(), count);
    }
    return static_cast<int>(bytes.size());
}

int __cdecl ZalEmuFlashMode(const char* address) {
    return address != nullptr ? zalemu::Emulator::Instance().FlashMode(address) : -1;
}
