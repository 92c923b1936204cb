// The platform half of the test build's platform seam: every token and shutdown
// call is recorded in order, the token calls fail or succeed on demand, and the
// platform identifier can be made another than the system's.
#ifndef ZAL_TESTS_RECORDEDSHUTDOWN_H
#define ZAL_TESTS_RECORDEDSHUTDOWN_H

#include <windows.h>

#include <string>
#include <vector>

struct ShutdownCall {
    std::string function; // "OpenProcessToken", "LookupPrivilegeValueA", ...
    std::string text;     // privilege name, where the call has one
    DWORD value = 0;      // access, attributes or flags
    DWORD extra = 0;      // reason of ExitWindowsEx; disable-all of AdjustTokenPrivileges
    HANDLE handle = NULL; // the token the call used
};

struct ShutdownBehaviour {
    bool openTokenFails = false;
    DWORD adjustLastError = ERROR_SUCCESS; // what GetLastError reports after the adjustment
    DWORD platformId = 0;                  // what GetVersionExA reports; 0: the system's
};

void ResetRecordedShutdown(const ShutdownBehaviour& behaviour = ShutdownBehaviour());
std::vector<ShutdownCall> RecordedShutdownCalls();
// Tokens opened and not closed again.
int OpenTokenCount();

#endif
