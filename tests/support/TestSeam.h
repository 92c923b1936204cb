// The test build's platform seam: one definition of the ten Seam* calls for every
// test program, each going through a table of functions that a test fills at run
// time with only the calls it needs. The defaults keep a test process away from
// the host: the platform and the command events are the system's, no drive letter
// opens, and the token and shutdown calls are recorded and never reach the system.
#ifndef ZAL_TESTS_TESTSEAM_H
#define ZAL_TESTS_TESTSEAM_H

#include "PlatformSeam.h"

#include <windows.h>

// One function for each call of PlatformSeam.h, of the same type.
struct SeamCalls {
    decltype(&SeamGetVersionExA) getVersionEx;
    decltype(&SeamCreateFileA) createFile;
    decltype(&SeamDeviceIoControl) deviceIoControl;
    decltype(&SeamCloseDevice) closeDevice;
    decltype(&SeamCreateEventA) createEvent;
    decltype(&SeamOpenProcessToken) openProcessToken;
    decltype(&SeamLookupPrivilegeValueA) lookupPrivilegeValue;
    decltype(&SeamAdjustTokenPrivileges) adjustTokenPrivileges;
    decltype(&SeamCloseToken) closeToken;
    decltype(&SeamExitWindowsEx) exitWindowsEx;
};

// The table in use, and a new one. Set it before the transport starts: the
// simulator's worker reads it from its own thread.
SeamCalls CurrentSeamCalls();
void SetSeamCalls(const SeamCalls& calls);

// The platform identifier the transport sees: 1 Windows 9x, 2 the NT family;
// 0 the system's own.
void SeamReportPlatform(DWORD platformId);
// No drive letter opens (ERROR_ACCESS_DENIED), as on an NT system where the user
// lacks the rights to open the drives.
void SeamWithoutDevices();

// Puts the table back as it was when the scope began; a test fixture holds one.
class SeamScope {
public:
    SeamScope() : saved_(CurrentSeamCalls()) {}
    ~SeamScope() { SetSeamCalls(saved_); }
    SeamScope(const SeamScope&) = delete;
    SeamScope& operator=(const SeamScope&) = delete;

private:
    SeamCalls saved_;
};

#endif
