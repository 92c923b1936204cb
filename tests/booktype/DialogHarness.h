// Runs discmode's real dialog procedure in a test program: the modal dialog on a
// thread of its own, as the program's entry would run it, driven from the test's
// thread through the dialog's controls and its message boxes.
#ifndef ZAL_TESTS_DIALOGHARNESS_H
#define ZAL_TESTS_DIALOGHARNESS_H

#include <windows.h>

#include <string>
#include <vector>

class DialogRun {
public:
    DialogRun() = default;
    ~DialogRun();
    DialogRun(const DialogRun&) = delete;
    DialogRun& operator=(const DialogRun&) = delete;

    // Runs the template `name` modally on a new thread; waits until the dialog is
    // shown (or, with `expectDialog` false, until the thread runs).
    bool Start(const char* name = "MAINDIALOGE", bool expectDialog = true);
    HWND Dialog() const { return dialog_; }

    // Waits for the dialog's end; true with its result.
    bool WaitForEnd(DWORD timeoutMs, INT_PTR* result);
    bool Ended();

    // What the user sees.
    std::string Text(int id) const;
    bool Enabled(int id) const;
    bool Visible(int id) const;
    bool Checked(int id) const;
    int TabCount() const;
    int TabSelection() const;
    std::string TabCaption(int index) const;
    std::vector<std::string> DriveList() const;
    int DriveSelection() const;
    // The identifiers among `ids` whose radio button is selected.
    std::vector<int> CheckedOf(const std::vector<int>& ids) const;

    // What the user does.
    void ChooseDrive(int index);
    void ChooseTab(int index);
    void ClickRadio(int id);
    bool Press(int id); // false when the button is hidden or disabled
    void PressEscape();

    // Waits for a state of a control.
    bool WaitForEnabled(int id, bool enabled, DWORD timeoutMs = 3000) const;
    bool WaitForText(int id, const std::string& text, DWORD timeoutMs = 3000) const;

private:
    static DWORD WINAPI Body(LPVOID parameter);
    const char* name_ = "";
    HANDLE thread_ = NULL;
    DWORD threadId_ = 0;
    volatile INT_PTR result_ = -1;
    HWND dialog_ = NULL;
};

// A message box of this process (not the dialog), waiting up to timeoutMs.
struct BoxSeen {
    HWND window = NULL;
    std::string caption;
    std::string text;
    bool owned = false;   // it has an owner window
    bool topmost = false; // system-modal boxes stay on top
};
BoxSeen WaitForBox(DWORD timeoutMs = 10000);
// Presses the box's OK button and waits until it is gone.
bool AnswerBox(const BoxSeen& box);

#endif
