// The shipped side of the platform seam: each call goes straight to the system.
#include "PlatformSeam.h"

BOOL SeamGetVersionExA(LPOSVERSIONINFOA version) {
    return GetVersionExA(version);
}

HANDLE SeamCreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode,
                       LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                       HANDLE templateFile) {
    return CreateFileA(fileName, access, shareMode, security, disposition, flags, templateFile);
}

BOOL SeamDeviceIoControl(HANDLE device, DWORD controlCode, LPVOID inBuffer, DWORD inSize,
                         LPVOID outBuffer, DWORD outSize, LPDWORD bytesReturned,
                         LPOVERLAPPED overlapped) {
    return DeviceIoControl(device, controlCode, inBuffer, inSize, outBuffer, outSize, bytesReturned,
                           overlapped);
}

BOOL SeamCloseDevice(HANDLE device) {
    return CloseHandle(device);
}

HANDLE SeamCreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState,
                        LPCSTR name) {
    return CreateEventA(security, manualReset, initialState, name);
}

BOOL SeamOpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
    return OpenProcessToken(process, access, token);
}

BOOL SeamLookupPrivilegeValueA(LPCSTR systemName, LPCSTR name, PLUID luid) {
    return LookupPrivilegeValueA(systemName, name, luid);
}

BOOL SeamAdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState,
                               DWORD bufferLength, PTOKEN_PRIVILEGES previousState,
                               PDWORD returnLength) {
    return AdjustTokenPrivileges(token, disableAll, newState, bufferLength, previousState,
                                 returnLength);
}

BOOL SeamCloseToken(HANDLE token) {
    return CloseHandle(token);
}

BOOL SeamExitWindowsEx(UINT flags, DWORD reason) {
    return ExitWindowsEx(flags, reason);
}
