// The emulated devices of the test seam (see EmulatedDevices.h): drive letters
// reach the drive emulator's SPTI devices instead of the system.
#include "EmulatedDevices.h"

#include "SptiBackEnd.h"
#include "TestSeam.h"

#include <mutex>

namespace {
std::mutex callLock;
std::vector<DeviceCall> calls;

// Records the call; the caller still sees the call's own last error.
void Record(const DeviceCall& call) {
    const DWORD error = GetLastError();
    {
        std::lock_guard<std::mutex> lock(callLock);
        calls.push_back(call);
    }
    SetLastError(error);
}

HANDLE RecordedCreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                           DWORD disposition, DWORD flags, HANDLE) {
    const HANDLE handle = SptiCreateFileA(fileName, access, shareMode, disposition, flags);
    Record({"CreateFileA", fileName != NULL ? fileName : "", access, shareMode, disposition, 0,
            handle, handle != INVALID_HANDLE_VALUE});
    return handle;
}

BOOL RecordedDeviceIoControl(HANDLE device, DWORD controlCode, LPVOID inBuffer, DWORD inSize,
                             LPVOID outBuffer, DWORD outSize, LPDWORD bytesReturned, LPOVERLAPPED) {
    const BOOL result = SptiDeviceIoControl(device, controlCode, inBuffer, inSize, outBuffer,
                                            outSize, bytesReturned);
    Record({"DeviceIoControl", "", 0, 0, 0, controlCode, device, result});
    return result;
}

BOOL RecordedCloseDevice(HANDLE device) {
    const BOOL result = SptiCloseHandle(device);
    Record({"CloseHandle", "", 0, 0, 0, 0, device, result});
    return result;
}

HANDLE PlainCreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                        DWORD disposition, DWORD flags, HANDLE) {
    return SptiCreateFileA(fileName, access, shareMode, disposition, flags);
}

BOOL PlainDeviceIoControl(HANDLE device, DWORD controlCode, LPVOID inBuffer, DWORD inSize,
                          LPVOID outBuffer, DWORD outSize, LPDWORD bytesReturned, LPOVERLAPPED) {
    return SptiDeviceIoControl(device, controlCode, inBuffer, inSize, outBuffer, outSize,
                               bytesReturned);
}

BOOL PlainCloseDevice(HANDLE device) {
    return SptiCloseHandle(device);
}
} // namespace

void SeamWithEmulatedDevices(bool recorded) {
    SeamCalls seam = CurrentSeamCalls();
    seam.createFile = recorded ? RecordedCreateFileA : PlainCreateFileA;
    seam.deviceIoControl = recorded ? RecordedDeviceIoControl : PlainDeviceIoControl;
    seam.closeDevice = recorded ? RecordedCloseDevice : PlainCloseDevice;
    SetSeamCalls(seam);
}

std::vector<DeviceCall> RecordedDeviceCalls() {
    std::lock_guard<std::mutex> lock(callLock);
    return calls;
}

void ClearRecordedDeviceCalls() {
    std::lock_guard<std::mutex> lock(callLock);
    calls.clear();
}
