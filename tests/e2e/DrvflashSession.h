// One run of the built drvflash.exe against the drive emulator (ToolSession),
// with its progress bar and the end of its runs; the dialog's controls are those
// of FlashResources.h.
#ifndef ZAL_TESTS_DRVFLASHSESSION_H
#define ZAL_TESTS_DRVFLASHSESSION_H

#include "FlashResources.h"
#include "ToolSession.h"

class DrvflashSession : public ToolSession {
public:
    explicit DrvflashSession(const std::string& name) : ToolSession("drvflash", name) {}

    int Progress() const;
    // Sends what the end of the Windows session sends first; true when the
    // dialog agrees to end.
    bool QueryEndSession() const;
    // Starts the program and waits until Flash is offered.
    bool StartReady();
    // Waits until the run that Flash started has ended (Flash enabled again),
    // noting each status text seen on the way, and each bar position from the
    // run's first status text on.
    bool WaitForRunEnd(std::vector<std::string>* texts, std::vector<int>* bar,
                       DWORD timeoutMs = 120000);
};

#endif
