// Platform query and shutdown.
#include "Platform.h"

#include "PlatformSeam.h"

#include <string.h>

static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA is 148 bytes");

int SetShutdownPrivilege(const char* name, DWORD attribute) {
    HANDLE token = NULL;
    if (!SeamOpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        return 0;
    }
    TOKEN_PRIVILEGES privileges;
    memset(&privileges, 0, sizeof privileges);
    SeamLookupPrivilegeValueA(NULL, name, &privileges.Privileges[0].Luid);
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = attribute;
    SeamAdjustTokenPrivileges(token, FALSE, &privileges, 0, NULL, NULL);
    // ERROR_NOT_ALL_ASSIGNED also lands here: the process may not hold the privilege.
    const int adjusted = GetLastError() == ERROR_SUCCESS ? 1 : 0;
    SeamCloseToken(token);
    return adjusted;
}

DWORD QueryPlatform(BYTE shutdown) {
    OSVERSIONINFOA version;
    memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    SeamGetVersionExA(&version);
    if (shutdown == 0) {
        return version.dwPlatformId;
    }
    // EWX_SHUTDOWN, not the power-off flag: the system stops where it may be switched off.
    if (version.dwPlatformId == PlatformNT) {
        SetShutdownPrivilege("SeShutdownPrivilege", SE_PRIVILEGE_ENABLED);
        SeamExitWindowsEx(EWX_SHUTDOWN, 0);
        SetShutdownPrivilege("SeShutdownPrivilege", 0);
    } else {
        SeamExitWindowsEx(EWX_SHUTDOWN, 0);
    }
    return version.dwPlatformId;
}
