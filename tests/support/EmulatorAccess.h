// Reaches the drive emulator from a test program, whichever way the program
// talks to it: linked in (the NT path, emulated drive letters) or inside the
// emulator's wnaspi32.dll (the Windows 9x path). Both offer the same control
// functions; this gives a test one way to load a scenario and read the log.
#ifndef ZAL_TESTS_EMULATORACCESS_H
#define ZAL_TESTS_EMULATORACCESS_H

#include "CommandLog.h"
#include "CommandText.h"

#include <windows.h>

#include <string>
#include <vector>

// The commands of an emulator's log text; one record naming the fault when the
// text does not parse.
std::vector<zalemu::CommandRecord> ParsedLog(const std::string& log);

class EmulatorAccess {
public:
    // The emulator linked into this program.
    static EmulatorAccess Linked();
    // The emulator inside wnaspi32.dll, loaded now if it is not loaded yet (the
    // reference is kept, so that the library stays loaded for the whole test).
    static EmulatorAccess InAspiLibrary();
    // The emulator inside a library loaded by the caller, who keeps it loaded.
    static EmulatorAccess InLibrary(HMODULE library);

    bool Valid() const { return load_ != nullptr; }
    // Loads a scenario; the error text, or "" on success.
    std::string Load(const std::string& scenario, const std::string& baseDir = std::string());
    std::string LogText() const { return ReadAll(log_); }
    std::vector<zalemu::CommandRecord> Commands() const { return ParsedLog(LogText()); }
    // Waits until the log holds at least `count` commands (a command is logged as
    // the device begins it); false when `timeoutMs` ran out first.
    bool AwaitCommands(size_t count, DWORD timeoutMs) const;
    void ClearLog() const {
        if (clear_ != nullptr) {
            clear_();
        }
    }
    bool SetDisc(const std::string& address, bool loaded) const {
        return setDisc_ != nullptr && setDisc_(address.c_str(), loaded ? 1 : 0) == 1;
    }
    std::string StateText() const { return ReadAll(state_); }
    // The bytes the drive's flash holds from drive address 0x6000 on; empty
    // while they are unknown or without such a device.
    std::vector<unsigned char> Firmware(const std::string& address) const;
    // 1 while the device is in flash mode, 0 when it is not, -1 without such a
    // device (or without the control function); sends the device nothing.
    int FlashMode(const std::string& address) const {
        return flashMode_ != nullptr ? flashMode_(address.c_str()) : -1;
    }

private:
    // The whole text a control function gives; "" without the function.
    static std::string ReadAll(int(__cdecl* read)(char*, int));
    typedef int(__cdecl* LoadText)(const char*, const char*, char*, int);
    typedef int(__cdecl* ReadText)(char*, int);
    typedef void(__cdecl* Clear)(void);
    typedef int(__cdecl* SetDiscProc)(const char*, int);
    LoadText load_ = nullptr;
    ReadText log_ = nullptr;
    Clear clear_ = nullptr;
    SetDiscProc setDisc_ = nullptr;
    ReadText state_ = nullptr;
    typedef int(__cdecl* FirmwareProc)(const char*, unsigned char*, int);
    FirmwareProc firmware_ = nullptr;
    typedef int(__cdecl* FlashModeProc)(const char*);
    FlashModeProc flashMode_ = nullptr;
};

// The firmware image a program file carries at its end, read straight from the
// file: the 1,024,000 bytes before the trailer "M7T5" (or "M7T5" and two more
// characters) that ends the file. Empty when the file holds no such trailer.
std::vector<unsigned char> ImageAtEndOf(const std::string& programPath);

// "" when the drive's firmware bytes are the image the program file carries,
// byte for byte; else what differs, for a test's report.
std::string FirmwareMismatch(const std::vector<unsigned char>& drive,
                             const std::string& programPath);

#endif
