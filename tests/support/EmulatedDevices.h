// The device half of the test build's platform seam, backed by the drive
// emulator's SPTI devices. Every call is recorded, so that tests can see which
// letters the simulator opened, which handle each device control went to, and
// which handles it closed.
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

std::vector<DeviceCall> RecordedDeviceCalls();
void ClearRecordedDeviceCalls();

#endif
