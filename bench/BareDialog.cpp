// The baselines of the tools' benchmarks: a bare program that shows a tool's
// dialog template (MAINDIALOGE, taken from the built tool's own file, loaded as
// data) and, beside it, does the least that the tool's required work takes,
// written from that work alone. One program, run under the name of its role:
// bench_bare_TOOL.exe or bench_tick_TOOL.exe shows the dialog of TOOL.exe, which
// is looked for beside it.
//
// bench_bare_*: the dialog and nothing else, the floor of the tools' start-up.
// bench_tick_*: the floor of the tools' CPU time, under the tool's own manifest
// (a copy beside it), with the ASPI library bound as the tools bind it. Each
// command goes as the issue-and-wait pattern asks: an event created, the request
// sent, waited on, the event closed. Controls are looked up once and touched
// only when what they show changes.
// - discmode, its disc poll: a one-shot 100 ms timer, killed and armed again
//   each poll; a TEST UNIT READY to 0:0; the status text and OK set when the
//   disc's presence changes; the Select Setting radios of the two Temporary rows
//   enabled exactly when a value of their row is selected (four radios read).
// - drvflash, its run: a worker thread sends the commands listed in
//   flash-commands.txt in the working folder (one line each: the run's stage
//   then, the direction n/i/o, the data length and the CDB in hex), the data of
//   data-out commands being the next bytes of flash-image.bin, then pauses as
//   the drive starts its firmware. A one-shot 100 ms timer, killed and armed
//   again each tick, moves the bar: to a stage's milestone when the stage
//   begins, then on by 50 a tick up to the next milestone; the status text
//   when the stage changes.
#include "AspiTypes.h"
#include "BookTypeResources.h"
#include "ExecRequest.h"
#include "FlashResources.h"

#include <windows.h>

#include <commctrl.h>
#include <stdio.h>
#include <string.h>

enum {
    TickTimer = 1,
    TickMs = 100,
    BarEnd = 10000,
    CreepPerTick = 50,
    LeaveFlashModePauseMs = 1000,
    CommandCapacity = 256
};

enum Role { DialogOnly, DiscPoll, FlashRun };

static Role role = DialogOnly;
static SendASPI32CommandProc sendCommand = NULL;

static void SetEnabled(HWND control, bool enable) {
    if ((IsWindowEnabled(control) != FALSE) != enable) {
        EnableWindow(control, enable ? TRUE : FALSE);
    }
}

static bool Checked(HWND radio) {
    return SendMessageA(radio, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// ---- discmode's poll ----

static HWND status, okButton, dlNormal, dlCompat, dlApply, plusRNormal, plusRCompat, plusRApply;

static void PollTick(HWND dialog) {
    static ScsiRequestBlock block;
    static const BYTE testUnitReady[6] = {0, 0, 0, 0, 0, 0};
    static int shownNoDisc = -1;
    KillTimer(dialog, TickTimer);
    SendExecAndWait(sendCommand, &block, SRB_EVENT_NOTIFY, testUnitReady, sizeof testUnitReady,
                    NULL, 0);
    const int noDisc = (block.SenseArea[2] & 0x0F) == 0x02 && block.SenseArea[12] == 0x3A;
    if (noDisc != shownNoDisc) {
        SetWindowTextA(status,
                       noDisc ? "Possible set count is 50 left." : "Try again after DISC Ejected.");
        EnableWindow(okButton, noDisc);
        shownNoDisc = noDisc;
    }
    SetTimer(dialog, TickTimer, TickMs, NULL);
    SetEnabled(dlApply, Checked(dlNormal) || Checked(dlCompat));
    SetEnabled(plusRApply, Checked(plusRNormal) || Checked(plusRCompat));
}

// ---- drvflash's run ----

struct ListedCommand {
    int stage;
    BYTE flags;
    BYTE cdbLength;
    BYTE cdb[16];
    DWORD length;
};

static ListedCommand commands[CommandCapacity];
static int commandCount = 0;
static BYTE* image = NULL;
static DWORD imageLength = 0;
static volatile LONG runStage = 0;
static HWND bar = NULL;

// The run's commands and the image they carry; 0 when either is missing or bad.
static int ReadRunFiles() {
    FILE* list = fopen("flash-commands.txt", "r");
    if (list == NULL) {
        return 0;
    }
    char direction, hex[64];
    unsigned long length;
    int stage;
    while (commandCount < CommandCapacity &&
           fscanf(list, "%d %c %lu %63s", &stage, &direction, &length, hex) == 4) {
        ListedCommand* c = &commands[commandCount++];
        c->stage = stage;
        c->flags = SRB_EVENT_NOTIFY | (direction == 'i' ? SRB_DIR_IN : 0) |
                   (direction == 'o' ? SRB_DIR_OUT : 0);
        c->length = length;
        c->cdbLength = 0;
        unsigned value;
        for (const char* p = hex; c->cdbLength < sizeof c->cdb && sscanf(p, "%2x", &value) == 1;
             p += 2) {
            c->cdb[c->cdbLength++] = static_cast<BYTE>(value);
        }
    }
    fclose(list);
    HANDLE file =
        CreateFileA("flash-image.bin", GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return 0;
    }
    imageLength = GetFileSize(file, NULL);
    image = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, imageLength + 1));
    DWORD got = 0;
    const BOOL imageRead = image != NULL && ReadFile(file, image, imageLength, &got, NULL);
    CloseHandle(file);
    return commandCount > 0 && imageRead && got == imageLength;
}

static DWORD WINAPI RunWorker(LPVOID) {
    static ScsiRequestBlock block;
    static BYTE reply[65536];
    DWORD sent = 0;
    for (int i = 0; i < commandCount; ++i) {
        const ListedCommand* c = &commands[i];
        runStage = c->stage;
        BYTE* data = NULL;
        if ((c->flags & SRB_DIR_OUT) != 0 && sent + c->length <= imageLength) {
            data = image + sent;
            sent += c->length;
        } else if ((c->flags & SRB_DIR_IN) != 0 && c->length <= sizeof reply) {
            data = reply;
        }
        SendExecAndWait(sendCommand, &block, c->flags, c->cdb, c->cdbLength, data,
                        data != NULL ? c->length : 0);
    }
    Sleep(LeaveFlashModePauseMs);
    runStage = 6;
    return 0;
}

static void RunTick(HWND dialog) {
    static const int milestones[6] = {100, 500, 1000, 5000, 9500, 9990};
    static int lastStage = -1;
    static int position = 0;
    KillTimer(dialog, TickTimer);
    const int stage = runStage;
    int next = position;
    if (stage >= 6) {
        next = BarEnd;
    } else if (stage != lastStage && stage >= 1) {
        next = milestones[stage - 1];
    } else if (position < milestones[stage]) {
        next = position + CreepPerTick;
    }
    if (stage != lastStage) {
        SetWindowTextA(status, stage == 0  ? "Start Flashing"
                               : stage < 6 ? "Flashing..."
                                           : "Flashing is Completed. Please turn off your PC.");
        lastStage = stage;
    }
    if (next != position) {
        SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(next), 0);
        position = next;
    }
    if (stage < 6) {
        SetTimer(dialog, TickTimer, TickMs, NULL);
    }
}

// ---- The dialog ----

static INT_PTR CALLBACK BareDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        status = GetDlgItem(dialog, IDC_STATUS);
        if (role == DiscPoll) {
            okButton = GetDlgItem(dialog, IDOK);
            dlNormal = GetDlgItem(dialog, IDC_DL_TEMPORARY_NORMAL);
            dlCompat = GetDlgItem(dialog, IDC_DL_TEMPORARY_COMPAT);
            dlApply = GetDlgItem(dialog, IDC_DL_APPLY_TEMPORARY);
            plusRNormal = GetDlgItem(dialog, IDC_PLUSR_TEMPORARY_NORMAL);
            plusRCompat = GetDlgItem(dialog, IDC_PLUSR_TEMPORARY_COMPAT);
            plusRApply = GetDlgItem(dialog, IDC_PLUSR_APPLY_TEMPORARY);
            // The tool shows the first page of its tabs: the second page's controls are hidden.
            for (int id = IDC_PLUSR_DEFAULT_NORMAL; id <= IDC_PLUSR_TEMPORARY_VALUE; ++id) {
                ShowWindow(GetDlgItem(dialog, id), SW_HIDE);
            }
        }
        if (role == FlashRun) {
            bar = GetDlgItem(dialog, IDC_PROGRESS);
            SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, BarEnd));
            HANDLE worker = CreateThread(NULL, 0, RunWorker, NULL, 0, NULL);
            if (worker == NULL) {
                EndDialog(dialog, 1);
                return TRUE;
            }
            CloseHandle(worker);
        }
        if (role != DialogOnly) {
            SetTimer(dialog, TickTimer, TickMs, NULL);
        }
        return TRUE;
    }
    if (message == WM_TIMER && wParam == TickTimer) {
        if (role == DiscPoll) {
            PollTick(dialog);
        } else if (role == FlashRun) {
            RunTick(dialog);
        }
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

// Binds the library as the tools do, and starts it as they do.
static int BindAspi() {
    HMODULE library = LoadLibraryA("wnaspi32.dll");
    if (library == NULL) {
        return 0;
    }
    GetASPI32SupportInfoProc supportInfo = reinterpret_cast<GetASPI32SupportInfoProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(library, "GetASPI32SupportInfo")));
    sendCommand = reinterpret_cast<SendASPI32CommandProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(library, "SendASPI32Command")));
    return supportInfo != NULL && sendCommand != NULL && ((supportInfo() >> 8) & 0xFF) == SS_COMP;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    char* slash = strrchr(path, '\\');
    const size_t prefix = sizeof "bench_bare_" - 1;
    if (length == 0 || length >= sizeof path || slash == NULL || strlen(slash + 1) <= prefix) {
        return 1;
    }
    // The role from the name: bench_bare_ or bench_tick_, then the tool's file name.
    char* const name = slash + 1;
    if (strncmp(name, "bench_tick_", prefix) == 0) {
        role = strncmp(name + prefix, "discmode", 8) == 0 ? DiscPoll : FlashRun;
        if (!BindAspi() || (role == FlashRun && !ReadRunFiles())) {
            return 1;
        }
    } else if (strncmp(name, "bench_bare_", prefix) != 0) {
        return 1;
    }
    memmove(name, name + prefix, strlen(name + prefix) + 1);
    HMODULE tool = LoadLibraryExA(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (tool == NULL) {
        return 1;
    }
    // The flash dialog holds a progress bar, whose class the common controls register.
    InitCommonControls();
    DialogBoxParamA(tool, "MAINDIALOGE", NULL, BareDialogProc, 0);
    return 0;
}
