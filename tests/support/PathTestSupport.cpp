// Helpers of the engine tests on either transport path (see PathTestSupport.h).
#include "PathTestSupport.h"

#include "AspiSim.h"
#include "CommandText.h"
#include "EmulatedDevices.h"
#include "ScsiTransport.h"
#include "TimeScale.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace {

enum { PathUnchosen, PathAspi, PathNt };
int chosenPath = PathUnchosen;

} // namespace

void UsePath(TransportPath path) {
    if (path == TransportPath::Aspi) {
        SeamReportPlatform(VER_PLATFORM_WIN32_WINDOWS);
        SeamWithoutDevices();
        chosenPath = PathAspi;
    } else {
        SeamReportPlatform(VER_PLATFORM_WIN32_NT);
        SeamWithEmulatedDevices();
        chosenPath = PathNt;
    }
}

bool OnAspiPath() {
    if (chosenPath == PathUnchosen) {
        OSVERSIONINFOA version = {};
        version.dwOSVersionInfoSize = sizeof version;
        GetVersionExA(&version);
        UsePath(version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ? TransportPath::Aspi
                                                                   : TransportPath::Nt);
    }
    return chosenPath == PathAspi;
}

const char* PathName(TransportPath path) {
    return path == TransportPath::Aspi ? "aspi" : "nt";
}

bool PathFromName(const std::string& name, TransportPath* path) {
    if (name == "aspi" || name == "nt") {
        *path = name == "aspi" ? TransportPath::Aspi : TransportPath::Nt;
        return true;
    }
    return false;
}

bool TakePathArgument(int* argc, char** argv, TransportPath* path) {
    for (int i = 1; i < *argc; ++i) {
        if (std::string(argv[i]) == "--path") {
            if (i + 1 >= *argc || !PathFromName(argv[i + 1], path)) {
                return false;
            }
            std::copy(argv + i + 2, argv + *argc + 1, argv + i);
            *argc -= 2;
            return true;
        }
    }
    return true;
}

std::string PathParamName(const ::testing::TestParamInfo<TransportPath>& info) {
    return PathName(info.param);
}

EmulatorAccess& Emulator() {
    // Each path has its emulator: the one inside wnaspi32.dll, the one linked in.
    if (OnAspiPath()) {
        static EmulatorAccess inLibrary = EmulatorAccess::InAspiLibrary();
        return inLibrary;
    }
    static EmulatorAccess linked = EmulatorAccess::Linked();
    return linked;
}

std::string Address(int ha, int target) {
    return OnAspiPath() ? std::to_string(ha) + ":" + std::to_string(target)
                        : std::string(1, static_cast<char>('D' + ha)) + ":";
}

std::string Device(int ha, int target, const std::string& settings) {
    return "[device " + Address(ha, target) + "]\n" + settings + "\n";
}

namespace {

// The transport's bound entry point, and the requests seen on their way to it.
SendASPI32CommandProc BoundSend = NULL;
std::vector<SentRequest> Sent;

std::mutex sentLock;

DWORD __cdecl RecordingSend(void* block) {
    const ScsiRequestBlock* srb = static_cast<const ScsiRequestBlock*>(block);
    if (srb->SRB_Cmd == SC_EXEC_SCSI_CMD) {
        const std::string text =
            CdbText(srb->CDBByte,
                    srb->SRB_CDBLen < sizeof srb->CDBByte ? srb->SRB_CDBLen : sizeof srb->CDBByte);
        std::lock_guard<std::mutex> lock(sentLock);
        Sent.push_back({text, srb->SRB_Flags, srb->SRB_SenseLen});
    }
    return BoundSend(block);
}

} // namespace

std::vector<SentRequest> SentRequests() {
    std::lock_guard<std::mutex> lock(sentLock);
    return Sent;
}

std::string StartWith(const std::string& scenario) {
    const std::string error = Emulator().Load(scenario);
    if (!error.empty()) {
        return error;
    }
    // A new simulator drops the requests the old one still holds, under the worker
    // that carries one out: a request completed late (or a hang that the load just
    // ended) finishes first.
    const DWORD start = GetTickCount();
    while (!OnAspiPath() && TheSim != NULL &&
           *static_cast<volatile int*>(&TheSim->queueCount) != 0 &&
           GetTickCount() - start < Scaled(30000)) {
        Sleep(10);
    }
    InitScsiTransport();
    // Every request passes the recorder on its way to the bound entry point.
    if (SendASPI32Command != NULL && SendASPI32Command != RecordingSend) {
        BoundSend = SendASPI32Command;
        SendASPI32Command = RecordingSend;
    }
    {
        std::lock_guard<std::mutex> lock(sentLock);
        Sent.clear();
    }
    Emulator().ClearLog();
    return std::string();
}

std::vector<zalemu::CommandRecord> Commands(const std::string& address, bool withoutPolls) {
    std::vector<zalemu::CommandRecord> selected;
    for (const zalemu::CommandRecord& record : Emulator().Commands()) {
        if ((address.empty() || record.address == address) &&
            !(withoutPolls && record.Opcode() == 0x00)) {
            selected.push_back(record);
        }
    }
    return selected;
}

std::string Cp932(const char* utf8) {
    wchar_t wide[512];
    const int wideLength = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 512);
    char bytes[1024];
    const int length =
        WideCharToMultiByte(932, 0, wide, wideLength, bytes, sizeof bytes, NULL, NULL);
    return length > 0 ? std::string(bytes, static_cast<size_t>(length - 1)) : "<no code page 932>";
}
