// The token and shutdown calls of the test seam (see RecordedShutdown.h). No call
// reaches the system: a test process must never shut the Wine session down.
#include "RecordedShutdown.h"

#include "TestSeam.h"

#include <mutex>

namespace {
std::mutex shutdownLock;
std::vector<ShutdownCall> calls;
ShutdownBehaviour behaviour;
int openTokens = 0;
int tokenSerial = 0;

void Record(const ShutdownCall& call) {
    std::lock_guard<std::mutex> lock(shutdownLock);
    calls.push_back(call);
}
} // namespace

void ResetRecordedShutdown(const ShutdownBehaviour& newBehaviour) {
    std::lock_guard<std::mutex> lock(shutdownLock);
    calls.clear();
    behaviour = newBehaviour;
    openTokens = 0;
    SeamReportPlatform(newBehaviour.platformId);
}

std::vector<ShutdownCall> RecordedShutdownCalls() {
    std::lock_guard<std::mutex> lock(shutdownLock);
    return calls;
}

int OpenTokenCount() {
    std::lock_guard<std::mutex> lock(shutdownLock);
    return openTokens;
}

BOOL RecordedOpenProcessToken(HANDLE, DWORD access, PHANDLE token) {
    ShutdownCall call = {"OpenProcessToken", "", access, 0, NULL};
    bool fails;
    {
        std::lock_guard<std::mutex> lock(shutdownLock);
        fails = behaviour.openTokenFails;
        if (!fails) {
            ++openTokens;
            *token = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(0x7000 + 4 * ++tokenSerial));
            call.handle = *token;
        }
    }
    Record(call);
    if (fails) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

BOOL RecordedLookupPrivilegeValueA(LPCSTR, LPCSTR name, PLUID luid) {
    Record({"LookupPrivilegeValueA", name != NULL ? name : "", 0, 0, NULL});
    luid->LowPart = 19; // SE_SHUTDOWN_PRIVILEGE
    luid->HighPart = 0;
    return TRUE;
}

BOOL RecordedAdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD,
                                   PTOKEN_PRIVILEGES, PDWORD) {
    ShutdownCall call = {"AdjustTokenPrivileges", "", 0, static_cast<DWORD>(disableAll), token};
    if (newState != NULL && newState->PrivilegeCount == 1) {
        call.value = newState->Privileges[0].Attributes;
        call.text = newState->Privileges[0].Luid.LowPart == 19 ? "shutdown" : "other";
    }
    Record(call);
    DWORD lastError;
    {
        std::lock_guard<std::mutex> lock(shutdownLock);
        lastError = behaviour.adjustLastError;
    }
    SetLastError(lastError);
    return TRUE;
}

BOOL RecordedCloseToken(HANDLE token) {
    {
        std::lock_guard<std::mutex> lock(shutdownLock);
        --openTokens;
    }
    Record({"CloseHandle", "", 0, 0, token});
    return TRUE;
}

BOOL RecordedExitWindowsEx(UINT flags, DWORD reason) {
    Record({"ExitWindowsEx", "", flags, reason, NULL});
    return TRUE;
}
