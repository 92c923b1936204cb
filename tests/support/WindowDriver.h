// The one window driver of the tests: drives a dialog and its message boxes as a
// user would, whether the dialog runs on a thread of the test program or in a
// program started here (RunningProgram): finds the windows, reads what they
// show, clicks, chooses in the drive list and the tab control, answers boxes,
// and waits for a text, a state or the end. Works across processes under Wine
// (texts are read with WM_GETTEXT, sent). Every time limit given here is
// stretched by the machine's time scale (TimeScale.h): each waits for something
// that must happen.
#ifndef ZAL_TESTS_WINDOWDRIVER_H
#define ZAL_TESTS_WINDOWDRIVER_H

// The controls both tools' dialogs have come from their resource headers, which
// agree on them (a different value is a redefinition the build refuses).
#include "BookTypeResources.h"
#include "FlashResources.h"
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
    bool HasExited() { return started_ && WaitForSingleObject(info_.hProcess, 0) == WAIT_OBJECT_0; }
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
// A dialog of the process holding a control with the identifier `controlId`,
// shown, or also still hidden when `shownOnly` is false.
HWND WaitForDialogWithControl(DWORD processId, int controlId, DWORD timeoutMs,
                              bool shownOnly = true);

std::string WindowText(HWND window);
std::string ControlText(HWND dialog, int controlId);
inline std::string MessageBoxText(HWND box) {
    return ControlText(box, 0xFFFF);
}
std::string WindowClass(HWND window);

// Presses a push button of a dialog or message box as a click would; false when
// the button is missing, hidden or disabled (nothing is pressed then).
bool PressButton(HWND dialog, int controlId);

// A message box as the user meets it.
struct BoxSeen {
    HWND window = NULL;
    std::string caption;
    std::string text;
    bool owned = false;   // it has an owner window
    bool topmost = false; // system-modal boxes stay on top
};
// A message box of the process (never its dialog), waiting up to timeoutMs;
// `window` is null if none appeared.
BoxSeen WaitForBox(DWORD processId, DWORD timeoutMs);
// Presses `button` of the box and waits until it is gone; false when the button
// could not be pressed or the box stayed.
bool AnswerBox(const BoxSeen& box, int button = IDOK);

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

// One dialog of a process, driven through its controls. The dialog is found by
// the layer that starts it (in the test program or as a program).
class DialogDriver {
public:
    HWND Dialog() const { return dialog_; }

    // What the user sees.
    std::string Text(int id) const { return ControlText(dialog_, id); }
    bool Enabled(int id) const { return IsWindowEnabled(GetDlgItem(dialog_, id)) != FALSE; }
    bool Visible(int id) const { return IsWindowVisible(GetDlgItem(dialog_, id)) != FALSE; }
    bool Checked(int id) const {
        return SendMessageA(GetDlgItem(dialog_, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    // The identifiers among `ids` whose radio button is selected.
    std::vector<int> CheckedOf(const std::vector<int>& ids) const;
    std::vector<std::string> DriveListItems() const;
    int DriveListSelection() const {
        return static_cast<int>(
            SendMessageA(GetDlgItem(dialog_, IDC_DRIVE_LIST), CB_GETCURSEL, 0, 0));
    }
    int TabCount() const;
    int TabSelection() const;
    std::string TabCaption(int index) const;

    // What the user does. A click is queued as the mouse queues it; false (nothing
    // done) when the button is hidden or disabled.
    bool Click(int id) { return PressButton(dialog_, id); }
    // Clicks a radio button and returns once the dialog has handled it; false
    // (nothing done) when it is hidden or disabled.
    bool ClickRadio(int id);
    // Moves the drive list / the tab control with the arrow keys to `index`, one
    // entry a key, and returns once the dialog has handled the last.
    void SelectDrive(int index);
    void SelectTab(int index);
    void NextTab() { SelectTab(TabSelection() + 1); }
    void PreviousTab() { SelectTab(TabSelection() - 1); }
    void PressEscape();
    void PressEnter();
    void PressAltF4();
    void Close() { PostMessageA(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0); } // the close box
    // What reaches the dialog whatever its controls show: a button's command as
    // the keyboard, the close box or a click queued before the button was
    // disabled delivers it, and a message of the end of the Windows session.
    void PostCommand(int id) {
        PostMessageA(dialog_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog_, id)));
    }
    // A click queued while the dialog's thread was busy: the button gets it
    // whether or not it has been disabled meanwhile.
    void QueueClick(int id) { PostMessageA(GetDlgItem(dialog_, id), BM_CLICK, 0, 0); }
    void PostSessionMessage(UINT message, WPARAM wParam) {
        PostMessageA(dialog_, message, wParam, static_cast<LPARAM>(ENDSESSION_LOGOFF));
    }
    // Moves the drive list on by one entry, as a user can only while it is
    // enabled; false (nothing done) when it is not.
    bool TryNextDrive();

    // Returns once the dialog's thread has taken every message queued to it so far, and then
    // what taking them queued in turn, `rounds` deep: a marker queued to the status box (a
    // text limit, which no check reads) is awaited each round. False when a marker did not
    // come back (the dialog is gone).
    bool Flush(int rounds = 3);

    // Waits for a state of a control.
    bool WaitForEnabled(int id, bool enabled, DWORD timeoutMs = 5000) const {
        return WaitUntil([&] { return Enabled(id) == enabled; }, timeoutMs);
    }
    bool WaitForText(int id, const std::string& text, DWORD timeoutMs = 5000) const {
        return WaitUntil([&] { return Text(id) == text; }, timeoutMs);
    }

    // A message box of the dialog's process; see WaitForBox above.
    BoxSeen WaitForBox(DWORD timeoutMs = 15000) const {
        return ::WaitForBox(processId_, timeoutMs);
    }

protected:
    // Finds the dialog of `processId` that holds the drive list.
    bool FindDialog(DWORD processId, DWORD timeoutMs) {
        processId_ = processId;
        dialog_ = WaitForDialogWithControl(processId, IDC_DRIVE_LIST, timeoutMs);
        return dialog_ != NULL;
    }
    HWND dialog_ = NULL;
    DWORD processId_ = 0;
};

#endif
