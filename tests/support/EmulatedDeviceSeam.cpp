// The device half of the test build's platform seam: drive letters reach the
// drive emulator's SPTI devices instead of the system.
#include "PlatformSeam.h"
#include "SptiBackEnd.h"

HANDLE SeamCreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                       DWORD disposition, DWORD flags, HANDLE) {
    return SptiCreateFileA(fileName, access, shareMode, disposition, flags);
}

BOOL SeamDeviceIoControl(HANDLE device, DWORD controlCode, LPVOID inBuffer, DWORD inSize,
                         LPVOID outBuffer, DWORD outSize, LPDWORD bytesReturned, LPOVERLAPPED) {
    return SptiDeviceIoControl(device, controlCode, inBuffer, inSize, outBuffer, outSize,
                               bytesReturned);
}

BOOL SeamCloseDevice(HANDLE device) { return SptiCloseHandle(device); }
