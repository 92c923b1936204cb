// Start-up and release of the SCSI transport, the ASPI library binding and the
// current target.
#include "ScsiTransport.h"

#include "AspiSim.h"
#include "Platform.h"
#include "ScsiCommand.h"
#include "StatusSink.h"

#include <new>
#include <stdlib.h>

GetASPI32SupportInfoProc GetASPI32SupportInfo = NULL;
SendASPI32CommandProc SendASPI32Command = NULL;
int HostAdapterCount = 0;
BYTE CurrentHaId = 0;
BYTE CurrentTargetId = 0;

static HMODULE aspiLibrary = NULL;

void FatalAspiError(const char* text) {
    MessageBeep(0);
    MessageBoxA(NULL, text, "ASPI32 error", MB_SYSTEMMODAL | MB_ICONHAND);
    ExitProcess(0);
}

void LoadAspiLibrary() {
    aspiLibrary = LoadLibraryA("wnaspi32.dll");
    if (aspiLibrary == NULL) {
        FatalAspiError("wnaspi32.dll not found");
        return;
    }
    GetASPI32SupportInfo = reinterpret_cast<GetASPI32SupportInfoProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(aspiLibrary, "GetASPI32SupportInfo")));
    if (GetASPI32SupportInfo == NULL) {
        FatalAspiError("GetASPI32SupportInfo not found");
        return;
    }
    SendASPI32Command = reinterpret_cast<SendASPI32CommandProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(aspiLibrary, "SendASPI32Command")));
    if (SendASPI32Command == NULL) {
        FatalAspiError("SendASPI32Command not found");
    }
}

static int StartAspi() {
    LoadAspiLibrary();
    const DWORD info = GetASPI32SupportInfo();
    HostAdapterCount = static_cast<int>(info & 0xFF);
    switch ((info >> 8) & 0xFF) {
    case SS_COMP:
        ShowStatus("ASPI32 Ready");
        return 1;
    case SS_PENDING:
        ShowStatus("ASPI32 Executing");
        return 0;
    default:
        ShowStatus("ASPI32 ERROR");
        return 0;
    }
}

static int StartSimulator() {
    // The simulator lives until the process ends. It is built in raw memory so
    // that no throwing allocator, and none of its imports, comes into the program.
    void* memory = malloc(sizeof(ASPISim));
    ASPISim* sim = memory != NULL ? new (memory) ASPISim() : NULL;
    if (sim == NULL || sim->deviceCount == 0) {
        ShowStatus("SPTI ERROR");
        HostAdapterCount = 0;
        return 0;
    }
    GetASPI32SupportInfo = SimSupportInfo;
    SendASPI32Command = SimSendCommand;
    HostAdapterCount = static_cast<int>(GetASPI32SupportInfo() & 0xFF);
    ShowStatus("SPTI Ready");
    return 1;
}

int InitScsiTransport() {
    switch (QueryPlatform(0)) {
    case PlatformWin9x:
        return StartAspi();
    case PlatformNT:
        return StartSimulator();
    default:
        // Neither family: nothing is bound, so every command fails without being sent.
        return 1;
    }
}

int ReleaseScsiTransport() {
    // While a timed-out request may still be completed by the library, its code
    // must stay loaded; the process ends soon after the release anyway.
    if (aspiLibrary != NULL && OutstandingRequestCount() == 0) {
        GetASPI32SupportInfo = NULL;
        SendASPI32Command = NULL;
        FreeLibrary(aspiLibrary);
        aspiLibrary = NULL;
    }
    return 1;
}

void SelectTarget(int haId, int targetId) {
    CurrentHaId = static_cast<BYTE>(haId & 0xFF);
    CurrentTargetId = static_cast<BYTE>(targetId & 0xFF);
}
