// Runs discmode's real dialog procedure in a test program: the modal dialog on a
// thread of its own, as the program's entry would run it, driven from the test's
// thread with the window driver (WindowDriver.h) as a user would drive it, over
// the drive emulator in the program's wnaspi32.dll. The dialog's level of the
// behaviour tables (DiscmodeTables.h).
#ifndef ZAL_TESTS_DIALOGHARNESS_H
#define ZAL_TESTS_DIALOGHARNESS_H

#include "DiscmodeTables.h"
#include "PathTestSupport.h"
#include "WindowDriver.h"

#include <windows.h>

class DialogRun : public DialogDriver, public DiscmodeLevel {
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

    // The table level: the drive loaded, then the dialog started over it.
    bool Open(const std::string& name, const std::string& settings) override;
    DialogDriver& Driver() override { return *this; }
    bool SetDisc(bool loaded) override { return Emulator().SetDisc("0:0", loaded); }
    std::vector<zalemu::CommandRecord> Commands() override { return ::Commands(); }
    std::string DriveMemory() override { return Emulator().StateText(); }
    bool Ended() override;
    // The end: the dialog's result 1, and the transport released.
    void ExpectEnd() override;
    DWORD ReactionMs() const override { return 1000; }

private:
    static DWORD WINAPI Body(LPVOID parameter);
    const char* name_ = "";
    HANDLE thread_ = NULL;
    DWORD threadId_ = 0;
    volatile INT_PTR result_ = -1;
};

#endif
