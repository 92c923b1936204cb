// The emulated SPTI devices (see SptiBackEnd.h): fake handles for the drive
// letters of the scenario, and the three device controls the simulator sends,
// answered in the platform's layouts (ntddscsi.h). A pass-through runs the
// command on the emulator synchronously, delays included, and is refused as the
// port driver refuses it: a transfer above the maximum or a buffer breaking the
// alignment mask with ERROR_INVALID_PARAMETER, unsent; a command that outlasts
// its TimeOutValue fails with ERROR_SEM_TIMEOUT after the device carried it out.
#include "SptiBackEnd.h"

#include "ConfigText.h"
#include "Emulator.h"
#include "PassThroughTypes.h"

#include <cstring>
#include <map>

namespace {

// Handle values are never reused; a closed one leaves the table, so that a long
// run of reopenings does not grow it.
struct HandleTable {
    CRITICAL_SECTION lock;
    std::map<uintptr_t, std::pair<std::string, bool>> entries; // address, open
    uintptr_t next = 0x5A1E0004;
    HandleTable() { InitializeCriticalSection(&lock); }
};

HandleTable& Handles() {
    static HandleTable* table = new HandleTable();
    return *table;
}

// The letter address behind an open handle, or false.
bool AddressOf(HANDLE handle, std::string* address) {
    HandleTable& table = Handles();
    EnterCriticalSection(&table.lock);
    auto found = table.entries.find(reinterpret_cast<uintptr_t>(handle));
    const bool open = found != table.entries.end() && found->second.second;
    if (open) {
        *address = found->second.first;
    }
    LeaveCriticalSection(&table.lock);
    return open;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

BOOL InquiryData(const zalemu::DeviceView& view, LPVOID out, DWORD outSize, LPDWORD returned) {
    // SCSI_ADAPTER_BUS_INFO with one bus, then its one SCSI_INQUIRY_DATA record.
    const DWORD recordAt = sizeof(SCSI_ADAPTER_BUS_INFO);
    const DWORD total =
        recordAt + offsetof(SCSI_INQUIRY_DATA, InquiryData) + zalemu::InquiryDataSize;
    if (out == NULL || outSize < total) {
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    BYTE* reply = static_cast<BYTE*>(out);
    std::memset(reply, 0, total);
    SCSI_ADAPTER_BUS_INFO* bus = reinterpret_cast<SCSI_ADAPTER_BUS_INFO*>(reply);
    bus->NumberOfBuses = 1;
    bus->BusData[0].NumberOfLogicalUnits = 1;
    bus->BusData[0].InitiatorBusId = 7;
    bus->BusData[0].InquiryDataOffset = recordAt;
    SCSI_INQUIRY_DATA* record = reinterpret_cast<SCSI_INQUIRY_DATA*>(reply + recordAt);
    record->PathId = 0;
    record->TargetId = 1;
    record->Lun = 0;
    record->DeviceClaimed = TRUE;
    record->InquiryDataLength = zalemu::InquiryDataSize;
    record->NextInquiryDataOffset = 0;
    std::memcpy(reply + recordAt + offsetof(SCSI_INQUIRY_DATA, InquiryData), view.inquiry,
                zalemu::InquiryDataSize);
    if (returned != NULL) {
        *returned = total;
    }
    return TRUE;
}

BOOL Capabilities(const zalemu::DeviceView& view, LPVOID out, DWORD outSize, LPDWORD returned) {
    if (out == NULL || outSize < sizeof(IO_SCSI_CAPABILITIES)) {
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    IO_SCSI_CAPABILITIES capabilities;
    std::memset(&capabilities, 0, sizeof capabilities);
    capabilities.Length = sizeof capabilities;
    capabilities.MaximumTransferLength = view.maxTransfer;
    capabilities.MaximumPhysicalPages = view.maxTransfer / 4096 + 1;
    capabilities.AlignmentMask = view.alignmentMask;
    capabilities.AdapterUsesPio = TRUE;
    std::memcpy(out, &capabilities, sizeof capabilities);
    if (returned != NULL) {
        *returned = sizeof capabilities;
    }
    return TRUE;
}

BOOL PassThrough(const std::string& address, const zalemu::DeviceView& view, LPVOID in,
                 DWORD inSize, LPVOID out, DWORD outSize, LPDWORD returned) {
    const DWORD headerSize = sizeof(SCSI_PASS_THROUGH_DIRECT);
    if (in == NULL || inSize < headerSize || out == NULL || outSize < headerSize) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    SCSI_PASS_THROUGH_DIRECT request;
    std::memcpy(&request, in, headerSize);
    const bool senseFits = request.SenseInfoLength == 0 ||
                           (request.SenseInfoOffset >= headerSize &&
                            request.SenseInfoOffset + request.SenseInfoLength <= outSize);
    if (request.Length != headerSize || request.CdbLength == 0 ||
        request.CdbLength > PassThroughCdbSize || !senseFits ||
        (request.DataTransferLength != 0 && request.DataBuffer == NULL) ||
        request.DataTransferLength > view.maxTransfer ||
        (request.DataTransferLength != 0 &&
         (reinterpret_cast<uintptr_t>(request.DataBuffer) & view.alignmentMask) != 0)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    zalemu::Direction direction = zalemu::Direction::None;
    if (request.DataIn == SCSI_IOCTL_DATA_IN) {
        direction = zalemu::Direction::In;
    } else if (request.DataIn == SCSI_IOCTL_DATA_OUT && request.DataTransferLength != 0) {
        direction = zalemu::Direction::Out;
    }
    zalemu::PassThroughInfo info;
    info.pathId = request.PathId;
    info.targetId = request.TargetId;
    info.lun = request.Lun;
    info.senseLength = request.SenseInfoLength;
    info.dataIn = request.DataIn;
    info.timeout = request.TimeOutValue;
    const DWORD started = GetTickCount();
    const zalemu::ExecResult result = zalemu::Emulator::Instance().Execute(
        address, request.Cdb, request.CdbLength, direction,
        static_cast<uint8_t*>(request.DataBuffer), request.DataTransferLength, &info);
    const DWORD elapsed = GetTickCount() - started;
    switch (result.status) {
    case zalemu::ExecStatus::Completed:
        if (request.TimeOutValue != 0 && elapsed / 1000 >= request.TimeOutValue) {
            return Fail(ERROR_SEM_TIMEOUT);
        }
        break;
    case zalemu::ExecStatus::PassThroughFailed:
        return Fail(ERROR_IO_DEVICE);
    case zalemu::ExecStatus::Released:
        return Fail(ERROR_OPERATION_ABORTED);
    default:
        return Fail(ERROR_DEVICE_NOT_CONNECTED);
    }
    // The block goes back as it came, with the SCSI status and the sense filled in.
    BYTE* reply = static_cast<BYTE*>(out);
    if (out != in) {
        std::memcpy(reply, &request, headerSize);
    }
    SCSI_PASS_THROUGH_DIRECT* answer = reinterpret_cast<SCSI_PASS_THROUGH_DIRECT*>(reply);
    answer->ScsiStatus = result.good ? 0x00 : 0x02;
    DWORD bytes = headerSize;
    if (!result.good && request.SenseInfoLength != 0) {
        const DWORD senseBytes = request.SenseInfoLength < zalemu::SenseDataSize
                                     ? request.SenseInfoLength
                                     : zalemu::SenseDataSize;
        std::memcpy(reply + request.SenseInfoOffset, result.sense, senseBytes);
        bytes = request.SenseInfoOffset + senseBytes;
    }
    if (returned != NULL) {
        *returned = bytes;
    }
    return TRUE;
}

} // namespace

HANDLE SptiCreateFileA(LPCSTR fileName, DWORD, DWORD, DWORD, DWORD) {
    std::string address;
    zalemu::DeviceView view;
    const bool devicePath = fileName != NULL && std::strlen(fileName) == 6 &&
                            std::strncmp(fileName, "\\\\.\\", 4) == 0 && fileName[5] == ':' &&
                            zalemu::NormalizeAddress(fileName + 4, &address) &&
                            zalemu::IsLetterAddress(address);
    if (!devicePath || !zalemu::Emulator::Instance().Describe(address, &view) || view.openFails ||
        view.gone) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    HandleTable& table = Handles();
    EnterCriticalSection(&table.lock);
    const uintptr_t value = table.next;
    table.next += 4;
    table.entries[value] = std::make_pair(address, true);
    LeaveCriticalSection(&table.lock);
    return reinterpret_cast<HANDLE>(value);
}

BOOL SptiDeviceIoControl(HANDLE device, DWORD controlCode, LPVOID inBuffer, DWORD inSize,
                         LPVOID outBuffer, DWORD outSize, LPDWORD bytesReturned) {
    std::string address;
    if (!AddressOf(device, &address)) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    zalemu::DeviceView view;
    if (!zalemu::Emulator::Instance().Describe(address, &view)) {
        return Fail(ERROR_DEVICE_NOT_CONNECTED);
    }
    switch (controlCode) {
    case ZAL_IOCTL_SCSI_GET_INQUIRY_DATA:
        if (view.gone || view.inquiryDataFails) {
            return Fail(view.gone ? ERROR_DEVICE_NOT_CONNECTED : ERROR_INVALID_FUNCTION);
        }
        return InquiryData(view, outBuffer, outSize, bytesReturned);
    case ZAL_IOCTL_SCSI_GET_CAPABILITIES:
        if (view.gone || view.capabilitiesFails) {
            return Fail(view.gone ? ERROR_DEVICE_NOT_CONNECTED : ERROR_INVALID_FUNCTION);
        }
        return Capabilities(view, outBuffer, outSize, bytesReturned);
    case ZAL_IOCTL_SCSI_PASS_THROUGH_DIRECT:
        // A vanished device still gets its command logged, as "gone".
        return PassThrough(address, view, inBuffer, inSize, outBuffer, outSize, bytesReturned);
    default:
        return Fail(ERROR_INVALID_FUNCTION);
    }
}

BOOL SptiCloseHandle(HANDLE device) {
    HandleTable& table = Handles();
    EnterCriticalSection(&table.lock);
    auto found = table.entries.find(reinterpret_cast<uintptr_t>(device));
    const bool open = found != table.entries.end() && found->second.second;
    if (open) {
        table.entries.erase(found);
    }
    LeaveCriticalSection(&table.lock);
    return open ? TRUE : Fail(ERROR_INVALID_HANDLE);
}
