// One run of the built drvflash.exe against the drive emulator (ToolSession), with its progress bar
// and the end of its runs; the dialog's controls are those of FlashResources.h.
#ifndef ZAL_TESTS_DRVFLASHSESSION_H
#define ZAL_TESTS_DRVFLASHSESSION_H

#include "FlashResources.h"
#include "ToolSession.h"

// What a run showed: each status text, and each bar position from its first text on.
struct RunSeen {
    std::vector<std::string> texts;
    std::vector<int> bar;
};

class DrvflashSession : public ToolSession {
public:
    explicit DrvflashSession(const std::string& name) : ToolSession("drvflash", name) {}

    int Progress() const;
    // Sends what the end of the Windows session sends first; true when the dialog agrees to end.
    bool QueryEndSession() const { return SendMessageA(dialog_, WM_QUERYENDSESSION, 0, 0) != 0; }
    // Starts the program and waits until Flash is offered.
    bool StartReady();
    // Waits until the run that Flash started has ended (Flash enabled again), noting what it showed
    // on the way.
    bool WaitForRunEnd(RunSeen* seen, DWORD timeoutMs = 120000);
};

#endif
