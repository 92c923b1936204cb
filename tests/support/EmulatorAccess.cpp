// Reaches the drive emulator from a test program (see EmulatorAccess.h).
#include "EmulatorAccess.h"

#include "EmulatorControl.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

std::string EmulatorAccess::ReadAll(int(__cdecl* read)(char*, int)) {
    if (read == nullptr) {
        return std::string();
    }
    const int length = read(nullptr, 0);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    read(&text[0], length + 1);
    text.resize(static_cast<size_t>(length));
    return text;
}

namespace {

template <typename Proc> Proc Resolve(HMODULE module, const char* name) {
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

} // namespace

EmulatorAccess EmulatorAccess::Linked() {
    EmulatorAccess access;
    access.load_ = ZalEmuLoadScenarioText;
    access.log_ = ZalEmuLogText;
    access.clear_ = ZalEmuClearLog;
    access.setDisc_ = ZalEmuSetDisc;
    access.state_ = ZalEmuStateText;
    access.firmware_ = ZalEmuFirmware;
    access.flashMode_ = ZalEmuFlashMode;
    return access;
}

EmulatorAccess EmulatorAccess::InAspiLibrary() {
    return InLibrary(LoadLibraryA("wnaspi32.dll"));
}

EmulatorAccess EmulatorAccess::InLibrary(HMODULE library) {
    EmulatorAccess access;
    if (library == NULL) {
        return access;
    }
    access.load_ = Resolve<LoadText>(library, "ZalEmuLoadScenarioText");
    access.log_ = Resolve<ReadText>(library, "ZalEmuLogText");
    access.clear_ = Resolve<Clear>(library, "ZalEmuClearLog");
    access.setDisc_ = Resolve<SetDiscProc>(library, "ZalEmuSetDisc");
    access.state_ = Resolve<ReadText>(library, "ZalEmuStateText");
    access.firmware_ = Resolve<FirmwareProc>(library, "ZalEmuFirmware");
    access.flashMode_ = Resolve<FlashModeProc>(library, "ZalEmuFlashMode");
    return access;
}

std::string EmulatorAccess::Load(const std::string& scenario, const std::string& baseDir) {
    if (load_ == nullptr) {
        return "the emulator's control functions are not available";
    }
    char error[512] = "";
    if (load_(scenario.c_str(), baseDir.empty() ? nullptr : baseDir.c_str(), error, sizeof error) ==
        1) {
        return std::string();
    }
    return error[0] != '\0' ? std::string(error) : std::string("scenario refused");
}

std::vector<zalemu::CommandRecord> ParsedLog(const std::string& log) {
    std::vector<zalemu::CommandRecord> records;
    std::string error;
    if (!zalemu::ParseLog(log, &records, &error)) {
        zalemu::CommandRecord bad;
        bad.outcome = "unparsable log: " + error;
        return {bad};
    }
    return records;
}

bool EmulatorAccess::AwaitCommands(size_t count, DWORD timeoutMs) const {
    const DWORD start = GetTickCount();
    while (Commands().size() < count) {
        if (GetTickCount() - start >= timeoutMs) {
            return false;
        }
        Sleep(1);
    }
    return true;
}

std::vector<unsigned char> EmulatorAccess::Firmware(const std::string& address) const {
    const int length = firmware_ != nullptr ? firmware_(address.c_str(), nullptr, 0) : 0;
    std::vector<unsigned char> bytes(length > 0 ? static_cast<size_t>(length) : 0);
    if (length > 0) {
        firmware_(address.c_str(), bytes.data(), length);
    }
    return bytes;
}

std::vector<unsigned char> ImageAtEndOf(const std::string& programPath) {
    const size_t imageSize = 1024000;
    std::ifstream in(programPath.c_str(), std::ios::binary);
    const std::vector<unsigned char> file((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    for (size_t trailer : {size_t{4}, size_t{6}}) {
        if (file.size() >= imageSize + trailer &&
            std::memcmp(&file[file.size() - trailer], "M7T5", 4) == 0) {
            const size_t end = file.size() - trailer;
            return std::vector<unsigned char>(file.begin() + static_cast<long>(end - imageSize),
                                              file.begin() + static_cast<long>(end));
        }
    }
    return std::vector<unsigned char>();
}

std::string FirmwareMismatch(const std::vector<unsigned char>& drive,
                             const std::string& programPath) {
    const std::vector<unsigned char> image = ImageAtEndOf(programPath);
    if (image.empty()) {
        return programPath + " carries no image";
    }
    if (drive.size() != image.size()) {
        return "the drive holds " + std::to_string(drive.size()) + " bytes of firmware, the file " +
               std::to_string(image.size());
    }
    size_t differing = 0;
    size_t first = 0;
    for (size_t i = 0; i < image.size(); ++i) {
        if (drive[i] != image[i] && differing++ == 0) {
            first = i;
        }
    }
    if (differing == 0) {
        return std::string();
    }
    char text[160];
    std::snprintf(text, sizeof text,
                  "%u bytes differ, the first at drive address 0x%05X (file image byte %u: "
                  "0x%02X expected, 0x%02X held)",
                  static_cast<unsigned>(differing), static_cast<unsigned>(0x6000 + first),
                  static_cast<unsigned>(first), image[first], drive[first]);
    return text;
}
