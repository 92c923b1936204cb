// Reaches the drive emulator from a test program (see EmulatorAccess.h).
#include "EmulatorAccess.h"

#include "EmulatorControl.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

std::string ReadAll(int(__cdecl* read)(char*, int)) {
    if (read == nullptr) {
        return std::string();
    }
    const int length = read(nullptr, 0);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    read(&text[0], length + 1);
    text.resize(static_cast<size_t>(length));
    return text;
}

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

std::string EmulatorAccess::LogText() const {
    return ReadAll(log_);
}

std::vector<zalemu::CommandRecord> EmulatorAccess::Commands() const {
    std::vector<zalemu::CommandRecord> records;
    std::string error;
    if (!zalemu::ParseLog(LogText(), &records, &error)) {
        records.clear();
        zalemu::CommandRecord bad;
        bad.outcome = "unparsable log: " + error;
        records.push_back(bad);
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

void EmulatorAccess::ClearLog() const {
    if (clear_ != nullptr) {
        clear_();
    }
}

bool EmulatorAccess::SetDisc(const std::string& address, bool loaded) const {
    return setDisc_ != nullptr && setDisc_(address.c_str(), loaded ? 1 : 0) == 1;
}

std::string EmulatorAccess::StateText() const {
    return ReadAll(state_);
}

std::vector<unsigned char> EmulatorAccess::Firmware(const std::string& address) const {
    const int length = firmware_ != nullptr ? firmware_(address.c_str(), nullptr, 0) : 0;
    std::vector<unsigned char> bytes(length > 0 ? static_cast<size_t>(length) : 0);
    if (length > 0) {
        firmware_(address.c_str(), bytes.data(), length);
    }
    return bytes;
}

int EmulatorAccess::FlashMode(const std::string& address) const {
    return flashMode_ != nullptr ? flashMode_(address.c_str()) : -1;
}

std::vector<unsigned char> ImageAtEndOf(const std::string& programPath) {
    const size_t imageSize = 1024000;
    std::vector<unsigned char> file;
    FILE* in = std::fopen(programPath.c_str(), "rb");
    if (in != nullptr) {
        unsigned char chunk[65536];
        size_t got = 0;
        while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0) {
            file.insert(file.end(), chunk, chunk + got);
        }
        std::fclose(in);
    }
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
