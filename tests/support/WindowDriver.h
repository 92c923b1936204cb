// Drives a Windows program from outside, as a user would: starts it, finds its
// dialog and message boxes, reads what they show, clicks, and waits for its end.
// Works across processes under Wine (texts are read with WM_GETTEXT, sent).
// Every time limit given here is stretched by the machine's time scale
// (TimeScale.h): each waits for something that must happen.
#ifndef ZAL_TESTS_WINDOWDRIVER_H
#define ZAL_TESTS_WINDOWDRIVER_H

#include "TimeScale.h"

#include <windows.h>

#include <string>
#include <vector>

class RunningProgram {
public:
    RunningProgram() = default;
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // Starts `commandLine` in `directory` (or the current one), with this program's
    // environment plus the NAME=value entries of `environment`; false when it
    // cannot start. (Under Wine the locale and the DLL settings of a program come
    // from the environment Wine itself started with, not from these entries.)
    bool Start(const std::string& commandLine, const std::string& directory = std::string(),
               const std::vector<std::string>& environment = std::vector<std::string>());
    DWORD ProcessId() const { return info_.dwProcessId; }
    // Waits for the end; true with the exit code when it ended within the time.
    bool WaitForExit(DWORD timeoutMs, DWORD* exitCode);
    bool HasExited();
    void Kill();

private:
    PROCESS_INFORMATION info_ = {};
    bool started_ = false;
};

// Top-level windows of the process, visible or not.
std::vector<HWND> TopLevelWindows(DWORD processId);

// A message box of the process (a #32770 window with the 0xFFFF text control),
// waiting up to timeoutMs; null if none appeared.
HWND WaitForMessageBox(DWORD processId, DWORD timeoutMs);
// A dialog of the process holding a control with the identifier `controlId`.
HWND WaitForDialogWithControl(DWORD processId, int controlId, DWORD timeoutMs);
// Waits until no message box of the process is left.
bool WaitForNoMessageBox(DWORD processId, DWORD timeoutMs);

std::string WindowText(HWND window);
std::string ControlText(HWND dialog, int controlId);
std::string MessageBoxText(HWND box);
std::string WindowClass(HWND window);

// Presses a push button of a dialog or message box as a click would; false when
// the button is missing, hidden or disabled (nothing is pressed then).
bool PressButton(HWND dialog, int controlId);

// Polls `condition` until it holds or the time runs out.
template <typename Condition> bool WaitUntil(Condition condition, DWORD timeoutMs) {
    timeoutMs = Scaled(timeoutMs);
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition()) {
            return true;
        }
        if (GetTickCount() - start >= timeoutMs) {
            return condition();
        }
        Sleep(20);
    }
}

#endif
