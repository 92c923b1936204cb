// aspiprobe: loads wnaspi32.dll as the tools do (LoadLibraryA and GetProcAddress
// of the two ASPI entry points) and lists what it reports: the support info, each
// host adapter, and every target that answers INQUIRY. One line per item:
//
//   platform <dwPlatformId>
//   support 0x<info> status 0x<ss> adapters <n>
//   adapter <ha> manager '<HA_ManagerId>' identifier '<HA_Identifier>'
//   device <ha>:<target> type <t> vendor '<8>' product '<16>' revision '<4>'
//   device <ha>:<target> status 0x<SRB_Status>      (a target that fails INQUIRY)
//
// Targets reported as SS_NO_DEVICE are left out. Exit code 0 when the library
// reports itself ready, 1 otherwise.
#include "AspiTypes.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

GetASPI32SupportInfoProc SupportInfo = nullptr;
SendASPI32CommandProc SendCommand = nullptr;

template <typename Proc> Proc Resolve(HMODULE module, const char* name) {
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

void ProbeAdapter(BYTE ha) {
    SRB_HAInquiry inquiry;
    std::memset(&inquiry, 0, sizeof inquiry);
    inquiry.SRB_Cmd = SC_HA_INQUIRY;
    inquiry.SRB_HaId = ha;
    SendCommand(&inquiry);
    char manager[17] = {0};
    char identifier[17] = {0};
    std::memcpy(manager, inquiry.HA_ManagerId, 16);
    std::memcpy(identifier, inquiry.HA_Identifier, 16);
    std::printf("adapter %u manager '%s' identifier '%s'\n", ha, manager, identifier);

    for (BYTE target = 0; target < 8; ++target) {
        BYTE data[36];
        std::memset(data, 0, sizeof data);
        ScsiRequestBlock srb;
        std::memset(&srb, 0, sizeof srb);
        HANDLE event = CreateEventA(NULL, FALSE, FALSE, NULL);
        srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
        srb.SRB_HaId = ha;
        srb.SRB_Target = target;
        srb.SRB_Flags = SRB_DIR_IN | SRB_EVENT_NOTIFY;
        srb.SRB_BufLen = sizeof data;
        srb.SRB_BufPointer = data;
        srb.SRB_SenseLen = 16;
        srb.SRB_CDBLen = 6;
        srb.SRB_PostProc = event;
        srb.CDBByte[0] = 0x12;
        srb.CDBByte[4] = sizeof data;
        if (SendCommand(&srb) == SS_PENDING) {
            WaitForSingleObject(event, 5000);
        }
        CloseHandle(event);
        if (srb.SRB_Status == SS_NO_DEVICE) {
            continue;
        }
        if (srb.SRB_Status != SS_COMP) {
            std::printf("device %u:%u status 0x%02X\n", ha, target, srb.SRB_Status);
            continue;
        }
        std::printf("device %u:%u type %u vendor '%.8s' product '%.16s' revision '%.4s'\n", ha,
                    target, data[0] & 0x1F, reinterpret_cast<const char*>(data + 8),
                    reinterpret_cast<const char*>(data + 16),
                    reinterpret_cast<const char*>(data + 32));
    }
}

} // namespace

int main() {
    OSVERSIONINFOA version;
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    std::printf("platform %lu\n", static_cast<unsigned long>(version.dwPlatformId));

    HMODULE library = LoadLibraryA("wnaspi32.dll");
    if (library == NULL) {
        std::printf("wnaspi32.dll not found\n");
        return 1;
    }
    SupportInfo = Resolve<GetASPI32SupportInfoProc>(library, "GetASPI32SupportInfo");
    SendCommand = Resolve<SendASPI32CommandProc>(library, "SendASPI32Command");
    if (SupportInfo == nullptr || SendCommand == nullptr) {
        std::printf("entry points not found\n");
        return 1;
    }
    const DWORD info = SupportInfo();
    const unsigned status = (info >> 8) & 0xFF;
    const unsigned adapters = info & 0xFF;
    std::printf("support 0x%04lX status 0x%02X adapters %u\n", static_cast<unsigned long>(info),
                status, adapters);
    for (unsigned ha = 0; ha < adapters; ++ha) {
        ProbeAdapter(static_cast<BYTE>(ha));
    }
    std::fflush(stdout);
    FreeLibrary(library);
    return status == SS_COMP ? 0 : 1;
}
