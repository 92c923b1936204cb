// The platform seam: the few system calls through which the transport learns the
// platform, reaches a device, creates its events, or shuts the system down. The shipped programs
// resolve each one to the system function of the same name (PlatformSeamWin32.cpp); a test build
// links its own translation unit in its place. Nothing at run time can redirect them.
#ifndef ZAL_TRANSPORT_PLATFORMSEAM_H
#define ZAL_TRANSPORT_PLATFORMSEAM_H

#include <windows.h>

// The platform identifier (dwPlatformId).
BOOL SeamGetVersionExA(LPOSVERSIONINFOA version);

// Device access of the SPTI simulator.
HANDLE SeamCreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode,
                       LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                       HANDLE templateFile);
BOOL SeamDeviceIoControl(HANDLE device, DWORD controlCode, LPVOID inBuffer, DWORD inSize,
                         LPVOID outBuffer, DWORD outSize, LPDWORD bytesReturned,
                         LPOVERLAPPED overlapped);
BOOL SeamCloseDevice(HANDLE device);

// An event of the transport: a command's completion, a simulated device's wake-up.
HANDLE SeamCreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState,
                        LPCSTR name);

// Shutdown and the privilege it needs on the NT family.
BOOL SeamOpenProcessToken(HANDLE process, DWORD access, PHANDLE token);
BOOL SeamLookupPrivilegeValueA(LPCSTR systemName, LPCSTR name, PLUID luid);
BOOL SeamAdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState,
                               DWORD bufferLength, PTOKEN_PRIVILEGES previousState,
                               PDWORD returnLength);
BOOL SeamCloseToken(HANDLE token);
BOOL SeamExitWindowsEx(UINT flags, DWORD reason);

#endif
