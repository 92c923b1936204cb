// The emulated devices behind the SPTI simulator's platform seam: drive letters
// mapped to the emulator's devices, answering CreateFileA of "\\.\X:" and the
// three device controls the simulator sends, with the platform's own layouts.
#ifndef ZAL_EMULATOR_SPTIBACKEND_H
#define ZAL_EMULATOR_SPTIBACKEND_H

#include <windows.h>

// Each behaves as its Win32 namesake does for a device of the emulator's current
// scenario (EmulatorControl.h); a path that names no device of the scenario, or
// a letter whose device refuses to open, gives INVALID_HANDLE_VALUE with
// ERROR_FILE_NOT_FOUND. Handles are unique over the life of the process, and a
// closed handle is refused with ERROR_INVALID_HANDLE.
HANDLE SptiCreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, DWORD disposition,
                       DWORD flags);
BOOL SptiDeviceIoControl(HANDLE device, DWORD controlCode, LPVOID inBuffer, DWORD inSize,
                         LPVOID outBuffer, DWORD outSize, LPDWORD bytesReturned);
BOOL SptiCloseHandle(HANDLE device);

#endif
