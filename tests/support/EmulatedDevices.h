// The emulated devices of the test seam (TestSeam.h): the drive letters reach
// the drive emulator's SPTI devices. Recorded, every call is kept, so that tests
// can see which letters the simulator opened, which handle each device control
// went to, and which handles it closed; a benchmark's long run keeps nothing.
#ifndef ZAL_TESTS_EMULATEDDEVICES_H
#define ZAL_TESTS_EMULATEDDEVICES_H

#include <windows.h>

#include <string>
#include <vector>

struct DeviceCall {
    std::string function; // "CreateFileA", "DeviceIoControl", "CloseHandle"
    std::string path;     // CreateFileA
    DWORD access = 0;     // CreateFileA
    DWORD shareMode = 0;  // CreateFileA
    DWORD disposition = 0;
    DWORD code = 0; // DeviceIoControl
    HANDLE handle = NULL;
    BOOL result = FALSE;
};

// Puts the emulated devices into the seam in use, recorded or not.
void SeamWithEmulatedDevices(bool recorded = true);

std::vector<DeviceCall> RecordedDeviceCalls();
void ClearRecordedDeviceCalls();

#endif
