// The test build's platform seam (see TestSeam.h): the ten Seam* calls, each
// through the table in use, and the table's defaults.
#include "TestSeam.h"

#include "ControlledEvents.h"
#include "PlatformSeam.h"
#include "RecordedShutdown.h"

namespace {

volatile DWORD reportedPlatform = 0;

BOOL ReportedGetVersionExA(LPOSVERSIONINFOA version) {
    const BOOL result = GetVersionExA(version);
    if (reportedPlatform != 0) {
        version->dwPlatformId = reportedPlatform;
    }
    return result;
}

HANDLE NoDeviceCreateFileA(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
}

BOOL NoDeviceIoControl(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL NoDeviceClose(HANDLE) {
    return FALSE;
}

// The table in use, the defaults in the order of SeamCalls's members.
SeamCalls& Table() {
    static SeamCalls table = {ReportedGetVersionExA,
                              NoDeviceCreateFileA,
                              NoDeviceIoControl,
                              NoDeviceClose,
                              ControlledCreateEventA,
                              RecordedOpenProcessToken,
                              RecordedLookupPrivilegeValueA,
                              RecordedAdjustTokenPrivileges,
                              RecordedCloseToken,
                              RecordedExitWindowsEx};
    return table;
}

} // namespace

SeamCalls CurrentSeamCalls() {
    return Table();
}

void SetSeamCalls(const SeamCalls& calls) {
    Table() = calls;
}

void SeamReportPlatform(DWORD platformId) {
    reportedPlatform = platformId;
}

void SeamWithoutDevices() {
    SeamCalls calls = CurrentSeamCalls();
    calls.createFile = NoDeviceCreateFileA;
    calls.deviceIoControl = NoDeviceIoControl;
    calls.closeDevice = NoDeviceClose;
    SetSeamCalls(calls);
}

BOOL SeamGetVersionExA(LPOSVERSIONINFOA version) {
    return Table().getVersionEx(version);
}

HANDLE SeamCreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode,
                       LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                       HANDLE templateFile) {
    return Table().createFile(fileName, access, shareMode, security, disposition, flags,
                              templateFile);
}

BOOL SeamDeviceIoControl(HANDLE device, DWORD controlCode, LPVOID inBuffer, DWORD inSize,
                         LPVOID outBuffer, DWORD outSize, LPDWORD bytesReturned,
                         LPOVERLAPPED overlapped) {
    return Table().deviceIoControl(device, controlCode, inBuffer, inSize, outBuffer, outSize,
                                   bytesReturned, overlapped);
}

BOOL SeamCloseDevice(HANDLE device) {
    return Table().closeDevice(device);
}

HANDLE SeamCreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState,
                        LPCSTR name) {
    return Table().createEvent(security, manualReset, initialState, name);
}

BOOL SeamOpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
    return Table().openProcessToken(process, access, token);
}

BOOL SeamLookupPrivilegeValueA(LPCSTR systemName, LPCSTR name, PLUID luid) {
    return Table().lookupPrivilegeValue(systemName, name, luid);
}

BOOL SeamAdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState,
                               DWORD bufferLength, PTOKEN_PRIVILEGES previousState,
                               PDWORD returnLength) {
    return Table().adjustTokenPrivileges(token, disableAll, newState, bufferLength, previousState,
                                         returnLength);
}

BOOL SeamCloseToken(HANDLE token) {
    return Table().closeToken(token);
}

BOOL SeamExitWindowsEx(UINT flags, DWORD reason) {
    return Table().exitWindowsEx(flags, reason);
}
