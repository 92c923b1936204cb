// The emulated devices of the test seam (see EmulatedDevices.h): drive letters
// reach the drive emulator's SPTI devices instead of the system.
#include "EmulatedDevices.h"

#include "SptiBackEnd.h"
#include "TestSeam.h"

#include <mutex>

namespace {
std::mutex callLock;
std::vector<DeviceCall> calls;

void Record(const DeviceCall& call) {
    std::lock_guard<std::mutex> lock(callLock);
    calls.push_back(call);
}

HANDLE RecordedCreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                           DWORD disposition, DWORD flags, HANDLE) {
    DeviceCall call;
    call.function = "CreateFileA";
    call.path = fileName != NULL ? fileName : "";
    call.access = access;
    call.shareMode = shareMode;
    call.disposition = disposition;
    call.handle = SptiCreateFileA(fileName, access, shareMode, disposition, flags);
    call.result = call.handle != INVALID_HANDLE_VALUE;
    const DWORD error = GetLastError();
    Record(call);
    SetLastError(error);
    return call.handle;
}

BOOL RecordedDeviceIoControl(HANDLE device, DWORD controlCode, LPVOID inBuffer, DWORD inSize,
                             LPVOID outBuffer, DWORD outSize, LPDWORD bytesReturned, LPOVERLAPPED) {
    DeviceCall call;
    call.function = "DeviceIoControl";
    call.code = controlCode;
    call.handle = device;
    call.result = SptiDeviceIoControl(device, controlCode, inBuffer, inSize, outBuffer, outSize,
                                      bytesReturned);
    const DWORD error = GetLastError();
    Record(call);
    SetLastError(error);
    return call.result;
}

BOOL RecordedCloseDevice(HANDLE device) {
    DeviceCall call;
    call.function = "CloseHandle";
    call.handle = device;
    call.result = SptiCloseHandle(device);
    Record(call);
    return call.result;
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
