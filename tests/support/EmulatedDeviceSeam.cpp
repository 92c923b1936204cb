// The device half of the test build's platform seam: drive letters reach the
// drive emulator's SPTI devices instead of the system, and every call is recorded.
#include "EmulatedDevices.h"

#include "PlatformSeam.h"
#include "SptiBackEnd.h"

#include <mutex>

namespace {
std::mutex callLock;
std::vector<DeviceCall> calls;

void Record(const DeviceCall& call) {
    std::lock_guard<std::mutex> lock(callLock);
    calls.push_back(call);
}
} // namespace

std::vector<DeviceCall> RecordedDeviceCalls() {
    std::lock_guard<std::mutex> lock(callLock);
    return calls;
}

void ClearRecordedDeviceCalls() {
    std::lock_guard<std::mutex> lock(callLock);
    calls.clear();
}

HANDLE SeamCreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES,
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

BOOL SeamDeviceIoControl(HANDLE device, DWORD controlCode, LPVOID inBuffer, DWORD inSize,
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

BOOL SeamCloseDevice(HANDLE device) {
    DeviceCall call;
    call.function = "CloseHandle";
    call.handle = device;
    call.result = SptiCloseHandle(device);
    Record(call);
    return call.result;
}
