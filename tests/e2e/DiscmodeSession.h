// One run of the built discmode.exe against the drive emulator, driven from
// outside as a user would: a scenario written for the run, the program started
// under the Wine settings of a path (ASPI with the emulator, Wine's own ASPI, no
// ASPI, the NT family), and the dialog and message boxes read and operated
// through their controls.
#ifndef ZAL_TESTS_DISCMODESESSION_H
#define ZAL_TESTS_DISCMODESESSION_H

#include "CommandLog.h"
#include "WindowDriver.h"

#include <string>
#include <vector>

// Which copy of the program runs: each name has its own Wine settings.
enum class DiscmodePath {
    AspiEmulator, // Windows 98, the emulator's wnaspi32.dll
    AspiWine,     // Windows 98, Wine's own wnaspi32.dll
    AspiMissing,  // Windows 98, no wnaspi32.dll at all
    Nt,           // the NT family, the real drive letters of the Wine prefix
};

// Control identifiers of the dialog.
enum {
    IdOk = 1,
    IdCancel = 2,
    IdTemporaryLabel = 1001,
    IdStatus = 1007,
    IdDriveList = 1009,
    IdTabs = 1014,
    IdDlDefaultNormal = 1015,
    IdDlDefaultCompat = 1016,
    IdDlTemporaryNormal = 1017,
    IdDlTemporaryCompat = 1018,
    IdDlSelectDefault = 1019,
    IdDlSelectTemporary = 1020,
    IdDlDefaultBox = 1021,
    IdDlTemporaryBox = 1022,
    IdRDefaultNormal = 1023,
    IdRDefaultCompat = 1024,
    IdRTemporaryNormal = 1025,
    IdRTemporaryCompat = 1026,
    IdRSelectDefault = 1027,
    IdRSelectTemporary = 1028,
    IdRDefaultBox = 1029,
    IdRTemporaryBox = 1030,
    IdCommandVersion = 1031
};

class DiscmodeSession {
public:
    // A fresh working folder for the run, named after the test.
    explicit DiscmodeSession(const std::string& name);
    ~DiscmodeSession();

    // Writes the scenario (state and log files go into the working folder; the
    // scenario should not name them itself).
    void WriteScenario(const std::string& devices);
    // Starts the program and waits for its dialog (or for a first message box,
    // when `expectDialog` is false); false if neither appeared in time.
    bool Start(DiscmodePath path = DiscmodePath::AspiEmulator, bool expectDialog = true);

    HWND Dialog() const { return dialog_; }
    RunningProgram& Program() { return program_; }
    const std::string& Folder() const { return folder_; }

    // What the user sees.
    std::string Text(int id) const;
    bool Enabled(int id) const;
    bool Visible(int id) const;
    bool Checked(int id) const;
    std::vector<std::string> DriveListItems() const;
    int DriveListSelection() const;
    int TabCount() const;
    int TabSelection() const;
    std::string TabCaption(int index) const;

    // What the user does.
    void SelectDrive(int index);
    void NextTab();
    void PreviousTab();
    bool Click(int id);
    void PressEscape();
    void Close();

    // Message boxes.
    HWND WaitForBox(DWORD timeoutMs = 15000);
    bool AnswerBox(HWND box);
    bool WaitForExit(DWORD timeoutMs, DWORD* exitCode);

    // What the drive received, and what it remembers.
    std::vector<zalemu::CommandRecord> Commands() const;
    // Commands received after the first `skip` ones, without TEST UNIT READY.
    std::vector<zalemu::CommandRecord> CommandsAfter(size_t skip) const;
    std::string StateFile() const;
    // Sets the disc of a device in the state file, as a person would between polls.
    bool SetDisc(const std::string& address, bool loaded);

    // Waits until `id` has the expected enabled state / text.
    bool WaitForEnabled(int id, bool enabled, DWORD timeoutMs = 5000) const;
    bool WaitForText(int id, const std::string& text, DWORD timeoutMs = 5000) const;

private:
    std::string folder_;
    RunningProgram program_;
    HWND dialog_ = NULL;
};

// A scenario device section, written as the emulator reads it.
std::string Device(const std::string& address, const std::string& settings);

#endif
