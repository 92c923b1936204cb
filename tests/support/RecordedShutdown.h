// The token and shutdown calls of the test seam (TestSeam.h), its defaults: every
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

// Clears the record and sets the behaviour, the reported platform included.
void ResetRecordedShutdown(const ShutdownBehaviour& behaviour = ShutdownBehaviour());
std::vector<ShutdownCall> RecordedShutdownCalls();
// Tokens opened and not closed again.
int OpenTokenCount();

// The seam's token and shutdown calls.
BOOL RecordedOpenProcessToken(HANDLE process, DWORD access, PHANDLE token);
BOOL RecordedLookupPrivilegeValueA(LPCSTR systemName, LPCSTR name, PLUID luid);
BOOL RecordedAdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState,
                                   DWORD bufferLength, PTOKEN_PRIVILEGES previousState,
                                   PDWORD returnLength);
BOOL RecordedCloseToken(HANDLE token);
BOOL RecordedExitWindowsEx(UINT flags, DWORD reason);

#endif
