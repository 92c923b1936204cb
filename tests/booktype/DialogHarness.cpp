// Runs discmode's real dialog procedure in a test program (see DialogHarness.h).
#include "DialogHarness.h"

#include "MainDialog.h"
#include "ScsiTransport.h"

#include <gtest/gtest.h>

DialogRun::~DialogRun() {
    if (thread_ != NULL) {
        if (!Ended() && dialog_ != NULL) {
            PostMessageA(dialog_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        }
        WaitForSingleObject(thread_, Scaled(10000));
        CloseHandle(thread_);
    }
}

DWORD WINAPI DialogRun::Body(LPVOID parameter) {
    DialogRun* run = static_cast<DialogRun*>(parameter);
    run->result_ = DialogBoxParamA(GetModuleHandleA(NULL), run->name_, NULL, MainDialogProc, 0);
    return 0;
}

bool DialogRun::Start(const char* name, bool expectDialog) {
    name_ = name;
    processId_ = GetCurrentProcessId();
    thread_ = CreateThread(NULL, 0, Body, this, 0, &threadId_);
    if (thread_ == NULL) {
        return false;
    }
    return !expectDialog || FindDialog(processId_, 10000);
}

bool DialogRun::WaitForEnd(DWORD timeoutMs, INT_PTR* result) {
    if (thread_ == NULL || WaitForSingleObject(thread_, Scaled(timeoutMs)) != WAIT_OBJECT_0) {
        return false;
    }
    *result = result_;
    return true;
}

bool DialogRun::Ended() {
    return thread_ == NULL || WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0;
}

bool DialogRun::Open(const std::string&, const std::string& settings) {
    return Emulator().Load(Device(0, 0, settings)).empty() && Start();
}

void DialogRun::ExpectEnd() {
    INT_PTR result = 0;
    ASSERT_TRUE(WaitForEnd(5000, &result)) << "the dialog did not end";
    EXPECT_EQ(1, result);
    EXPECT_EQ(nullptr, SendASPI32Command) << "the transport is released";
}
