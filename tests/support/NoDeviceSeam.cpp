// The device half of a test seam without devices: no drive letter opens, as on an
// NT system where the user lacks the rights to open the drives.
#include "PlatformSeam.h"

HANDLE SeamCreateFileA(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
}

BOOL SeamDeviceIoControl(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL SeamCloseDevice(HANDLE) {
    return FALSE;
}
