// Reaches the drive emulator from a test program (see EmulatorAccess.h).
#include "EmulatorAccess.h"

#include "EmulatorControl.h"

#include <windows.h>

#include <cstdio>

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
    return access;
}

EmulatorAccess EmulatorAccess::InAspiLibrary() {
    EmulatorAccess access;
    HMODULE library = LoadLibraryA("wnaspi32.dll");
    if (library == NULL) {
        return access;
    }
    access.load_ = Resolve<LoadText>(library, "ZalEmuLoadScenarioText");
    access.log_ = Resolve<ReadText>(library, "ZalEmuLogText");
    access.clear_ = Resolve<Clear>(library, "ZalEmuClearLog");
    access.setDisc_ = Resolve<SetDiscProc>(library, "ZalEmuSetDisc");
    access.state_ = Resolve<ReadText>(library, "ZalEmuStateText");
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

std::string CdbText(const zalemu::CommandRecord& record) {
    std::string text;
    for (size_t i = 0; i < record.cdb.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : "-%02X", record.cdb[i]);
        text += byte;
    }
    return text;
}
