// Runs discmode's real dialog procedure in a test program: the modal dialog on a
// thread of its own, as the program's entry would run it, driven from the test's
// thread with the window driver (WindowDriver.h) as a user would drive it.
#ifndef ZAL_TESTS_DIALOGHARNESS_H
#define ZAL_TESTS_DIALOGHARNESS_H

#include "WindowDriver.h"

#include <windows.h>

class DialogRun : public DialogDriver {
public:
    DialogRun() = default;
    ~DialogRun();
    DialogRun(const DialogRun&) = delete;
    DialogRun& operator=(const DialogRun&) = delete;

    // Runs the template `name` modally on a new thread; waits until the dialog is
    // shown (or, with `expectDialog` false, until the thread runs).
    bool Start(const char* name = "MAINDIALOGE", bool expectDialog = true);

    // Waits for the dialog's end; true with its result.
    bool WaitForEnd(DWORD timeoutMs, INT_PTR* result);
    bool Ended();

private:
    static DWORD WINAPI Body(LPVOID parameter);
    const char* name_ = "";
    HANDLE thread_ = NULL;
    DWORD threadId_ = 0;
    volatile INT_PTR result_ = -1;
};

#endif
