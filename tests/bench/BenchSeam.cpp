// The platform seam of the benchmark programs: drive letters reach the drive
// emulator's SPTI devices, everything else goes straight to the system. Unlike
// the test seams it records nothing, so that a long run measures the transport
// and not a growing record of its calls.
#include "PlatformSeam.h"
#include "SptiBackEnd.h"

BOOL SeamGetVersionExA(LPOSVERSIONINFOA version) {
    return GetVersionExA(version);
}

HANDLE SeamCreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                       DWORD disposition, DWORD flags, HANDLE) {
    return SptiCreateFileA(fileName, access, shareMode, disposition, flags);
}

BOOL SeamDeviceIoControl(HANDLE device, DWORD controlCode, LPVOID inBuffer, DWORD inSize,
                         LPVOID outBuffer, DWORD outSize, LPDWORD bytesReturned, LPOVERLAPPED) {
    return SptiDeviceIoControl(device, controlCode, inBuffer, inSize, outBuffer, outSize,
                               bytesReturned);
}

BOOL SeamCloseDevice(HANDLE device) {
    return SptiCloseHandle(device);
}

HANDLE SeamCreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState,
                        LPCSTR name) {
    return CreateEventA(security, manualReset, initialState, name);
}

// The benchmarks never shut anything down: the token and shutdown calls refuse.
BOOL SeamOpenProcessToken(HANDLE, DWORD, PHANDLE) {
    return FALSE;
}

BOOL SeamLookupPrivilegeValueA(LPCSTR, LPCSTR, PLUID) {
    return FALSE;
}

BOOL SeamAdjustTokenPrivileges(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD) {
    return FALSE;
}

BOOL SeamCloseToken(HANDLE) {
    return FALSE;
}

BOOL SeamExitWindowsEx(UINT, DWORD) {
    return FALSE;
}
