// One run of a built tool (discmode.exe, drvflash.exe) against the drive
// emulator, driven from outside as a user would: a scenario written for the run,
// the program started under the Wine settings of a path (ASPI with the emulator,
// Wine's own ASPI, no ASPI, the NT family), and the dialog and message boxes read
// and operated through their controls with the window driver (WindowDriver.h),
// their identifiers those of the tool's resource header. The start-ups that end
// in a box, as one table row each.
#ifndef ZAL_TESTS_TOOLSESSION_H
#define ZAL_TESTS_TOOLSESSION_H

#include "CommandLog.h"
#include "WindowDriver.h"

#include <string>
#include <vector>

// Which copy of the program runs: each name has its own Wine settings.
enum class ProgramPath {
    AspiEmulator, // Windows 98, the emulator's wnaspi32.dll
    AspiWine,     // Windows 98, Wine's own wnaspi32.dll
    AspiMissing,  // Windows 98, no wnaspi32.dll at all
    Nt,           // the NT family, the real drive letters of the Wine prefix
    WithoutImage, // Windows 98 and the emulator's ASPI; drvflash without its image
};

class ToolSession : public DialogDriver {
public:
    // A fresh working folder for a run of `tool` (its program's name without
    // ".exe"), named after the test.
    ToolSession(const std::string& tool, const std::string& name);

    // Writes the scenario (state and log files go into the working folder; the
    // scenario should not name them itself).
    void WriteScenario(const std::string& devices);
    // Starts the program and waits for its dialog (or for a first message box,
    // when `expectDialog` is false); false if neither appeared in time.
    bool Start(ProgramPath path = ProgramPath::AspiEmulator, bool expectDialog = true);

    // The program, ended with the session if it is still running.
    RunningProgram& Program() { return program_; }
    const std::string& Folder() const { return folder_; }
    bool WaitForExit(DWORD timeoutMs, DWORD* exitCode);

    // What the drive received, and what it remembers.
    std::vector<zalemu::CommandRecord> Commands() const;
    // The emulator's notes of a command begun while another was in flight.
    std::vector<std::string> OverlapNotes() const;
    // Commands received after the first `skip` ones, without TEST UNIT READY.
    std::vector<zalemu::CommandRecord> CommandsAfter(size_t skip) const;
    std::string StateFile() const;
    // "" when the drive at `address` holds, byte for byte, the image at the end
    // of the program file this session started; else what differs.
    std::string FirmwareMismatch(const std::string& address) const;
    // Sets the disc of a device in the state file, as a person would between polls.
    bool SetDisc(const std::string& address, bool loaded);

protected:
    std::string tool_;
    std::string folder_;
    std::string programFile_;
    RunningProgram program_;
};

// A scenario device section, written as the emulator reads it.
std::string Device(const std::string& address, const std::string& settings);

// A start that ends in a message box: the path the program runs on, the settings
// of its one device at 0:0, the box's caption (null: not checked) and text, and a
// control of the dialog behind the box with its text (0: no dialog looked for).
struct StartFailure {
    const char* name;
    ProgramPath path;
    const char* device;
    const char* caption;
    const char* text;
    int control;
    const char* shown;
    bool sendsNothing; // the device receives no command
};
// Starts `tool` as the row says and checks the box, the dialog behind it, and
// the program's end with exit code 0 once the box is answered.
void ExpectStartFailure(const std::string& tool, const StartFailure& failure);

#endif
