// drvflash's dialog procedure, its start-up worker and the host side of the
// transport (status box and drive list).
//
// The dialog's thread owns every change of the dialog's state: enabling and
// showing of controls (UpdateControlStates), the end of the dialog and the run
// tick. The start-up worker writes texts into controls and shows its message
// boxes from its own thread, and hands the rest to the dialog's thread with
// WM_STARTUP_FINISHED. While a run lasts the dialog refuses every way of being
// closed: a drive left in flash mode has no working firmware.
#include "MainDialog.h"

#include "DriveTable.h"
#include "FirmwareImage.h"
#include "FlashProbe.h"
#include "FlashResources.h"
#include "FlashSequence.h"
#include "Identification.h"
#include "MessageTable.h"
#include "Platform.h"
#include "RunTick.h"
#include "ScsiTransport.h"
#include "StatusSink.h"

#include <commctrl.h>

enum {
    ErrorBoxStyle = MB_SYSTEMMODAL | MB_ICONERROR,
    QuestionBoxStyle = MB_SYSTEMMODAL | MB_ICONQUESTION | MB_OKCANCEL
};

// Starting: from the dialog's initialisation until the start-up worker reports;
// Ready: the user may flash, select a drive, power off or leave; Running: a flash
// run lasts.
enum DialogPhase { PhaseStarting, PhaseReady, PhaseRunning };

static HWND mainDialog = NULL;
// 0 until initialisation is over, 1 while the dialog runs, 0 once Cancel ended it.
static int dialogReady = 0;
static DialogPhase phase = PhaseStarting;
// Power Off is offered once a run has ended, failed or not.
static int powerOffOffered = 0;
// A question box of a command is open: further commands wait for its answer.
static int questionOpen = 0;

// ---- Host side of the transport ----

void ShowStatus(const char* text) {
    if (mainDialog != NULL) {
        SetDlgItemTextA(mainDialog, IDC_STATUS, text);
    }
}

void AddDriveListItem(const char* text) {
    SendDlgItemMessageA(mainDialog, IDC_DRIVE_LIST, CB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(text));
}

// ---- Control states ----

static void Enable(int id, bool enable) {
    EnableWindow(GetDlgItem(mainDialog, id), enable ? TRUE : FALSE);
}

static void Show(int id, bool show) {
    ShowWindow(GetDlgItem(mainDialog, id), show ? SW_SHOW : SW_HIDE);
}

// Every enabling and showing of the dialog's controls, from the phase, an open
// question box and whether a run has ended yet:
// - the drive list, Flash and Cancel are usable only when Ready and no question
//   waits for its answer (the box has no owner, so the dialog would take clicks
//   meanwhile: a drive picked while the revert question is open would be flashed
//   on an answer given for another one);
// - Flash is hidden until the start-up has finished, then stays shown;
// - Power Off is hidden until the first run has ended, then usable as Flash is.
static void UpdateControlStates() {
    const bool ready = phase == PhaseReady && !questionOpen;
    Enable(IDC_DRIVE_LIST, ready);
    Enable(IDC_FLASH, ready);
    Enable(IDCANCEL, ready);
    Enable(IDC_POWER_OFF, ready && powerOffOffered != 0);
    Show(IDC_FLASH, phase != PhaseStarting);
    Show(IDC_POWER_OFF, powerOffOffered != 0);
}

// ---- Drives ----

int ActivateDrive(int index) {
    if (index < 0 || index >= DriveCount) {
        return 0;
    }
    SendDlgItemMessageA(mainDialog, IDC_DRIVE_LIST, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SelectDrive(index);
    ShowCurrentVersion(mainDialog);
    return 1;
}

static void OnDriveSelected() {
    const LRESULT index = SendDlgItemMessageA(mainDialog, IDC_DRIVE_LIST, CB_GETCURSEL, 0, 0);
    SelectDrive(static_cast<int>(index));
    ShowCurrentVersion(mainDialog);
}

// ---- Start-up ----

static void ShowErrorBox(const char* text) {
    MessageBoxA(NULL, text, DialogTitle, ErrorBoxStyle);
}

static DWORD FinishStartup(HWND dialog, int ready) {
    PostMessageA(dialog, WM_STARTUP_FINISHED, static_cast<WPARAM>(ready), 0);
    return 0;
}

DWORD WINAPI StartupWorker(LPVOID argument) {
    HWND dialog = static_cast<HWND>(argument);
    if (!LoadFirmwareImage()) {
        return FinishStartup(dialog, 0); // the bad-image box has been shown
    }
    SetDlgItemTextA(dialog, IDC_UPDATE_VERSION, FirmwareImage.updateVersion);
    if (FirmwareImage.testImage) {
        // The caption says so for as long as the tool runs; such an image flashes
        // only the drive emulator (FlashSequence.h).
        SetWindowTextA(dialog, MessageTable->testImageTitle);
    }
    if (!InitScsiTransport() && QueryPlatform(0) == PlatformNT) {
        ShowErrorBox(MessageTable->noRights);
        return FinishStartup(dialog, 0);
    }
    // On Windows 9x a transport that failed to start finds no host adapter, so
    // the drive check below reports it.
    EnumerateDrives(&FlashDriveProbe);
    if (!ActivateDrive(0)) {
        ShowErrorBox(MessageTable->noTarget);
        return FinishStartup(dialog, 0);
    }
    ShowRunCounter(dialog);
    const char* current = CurrentVersion();
    if (CompareVersions(current, FirmwareImage.updateVersion) == 0 &&
        !MatchRevisionPattern(current, NULL)) {
        ShowErrorBox(MessageTable->noTarget);
        return FinishStartup(dialog, 0);
    }
    ShowStatus(MessageTable->readyPrompt);
    return FinishStartup(dialog, 1);
}

static void InitMainDialog(HWND window) {
    mainDialog = window;
    SendDlgItemMessageA(window, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, ProgressEnd));
    SetWindowTextA(window, DialogTitle);
    phase = PhaseStarting;
    UpdateControlStates();
    HANDLE worker = NULL;
    DWORD workerId = 0;
    if (!StartWorker(StartupWorker, window, &worker, &workerId)) {
        // Without its worker the dialog could never become usable.
        EndDialog(window, 1);
        return;
    }
    CloseHandle(worker);
}

static void OnStartupFinished(int ready) {
    if (!ready) {
        EndDialog(mainDialog, 1);
        return;
    }
    phase = PhaseReady;
    UpdateControlStates();
}

// ---- Commands ----

static bool AskQuestion(const char* text) {
    questionOpen = 1;
    UpdateControlStates();
    const int answer = MessageBoxA(NULL, text, DialogTitle, QuestionBoxStyle);
    questionOpen = 0;
    UpdateControlStates();
    return answer == IDOK;
}

static void OnRunTick();

static void FlashCommand() {
    // The run takes the drive on show in the list, however it came there: a
    // drop-down list closed without a choice may show another entry than the
    // last one it reported.
    OnDriveSelected();
    // IsDowngrade asks also where CompareVersions misses an older dotted version.
    if (IsDowngrade(CurrentVersion(), FirmwareImage.updateVersion) &&
        !AskQuestion(MessageTable->revertQuestion)) {
        return;
    }
    phase = PhaseRunning;
    UpdateControlStates();
    if (!BeginFlashRun(mainDialog)) {
        // No tick will come: the run, ended before anything was sent, is
        // reported and the controls are given back at once.
        OnRunTick();
    }
}

static void PowerOffCommand() {
    if (AskQuestion(MessageTable->powerOffQuestion)) {
        QueryPlatform(1);
    }
}

static void CancelCommand() {
    ReleaseScsiTransport();
    EndDialog(mainDialog, 1);
    dialogReady = 0;
}

static void OnRunTick() {
    if (phase != PhaseRunning) {
        return;
    }
    if (RunTick(mainDialog)) {
        phase = PhaseReady;
        powerOffOffered = 1;
        UpdateControlStates();
    }
}

static INT_PTR OnCommand(WPARAM wParam) {
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    // The list reports each change of its entry, and the close of its drop-down,
    // after which the entry on show may be another again.
    const bool listChange =
        code == CBN_SELCHANGE || code == CBN_SELENDCANCEL || code == CBN_CLOSEUP;
    if (listChange && id == IDC_DRIVE_LIST && dialogReady && phase == PhaseReady && !questionOpen) {
        OnDriveSelected();
        return TRUE;
    }
    if (code != BN_CLICKED) {
        return FALSE;
    }
    // The keyboard, the close box and Alt+F4 deliver these commands also while
    // their buttons are disabled: a command is carried out only when Ready, and
    // never while a question box of another command waits for its answer.
    const bool usable = phase == PhaseReady && !questionOpen;
    switch (id) {
    case IDC_POWER_OFF:
        if (usable && powerOffOffered) {
            PowerOffCommand();
        }
        return TRUE;
    case IDCANCEL:
        if (usable) {
            CancelCommand();
        }
        return TRUE;
    case IDC_FLASH:
        if (usable) {
            FlashCommand();
        }
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        InitMainDialog(window);
        dialogReady = 1;
        return TRUE;
    case WM_COMMAND:
        return OnCommand(wParam);
    case WM_TIMER:
    case WM_FLASH_RUN_ENDED:
        // The worker's word that the run has ended is handled as a tick, at once.
        OnRunTick();
        return TRUE;
    case WM_KEYDOWN:
        return wParam == VK_ESCAPE ? TRUE : FALSE;
    case WM_QUERYENDSESSION:
        // The end of the session would leave a drive in flash mode without firmware.
        if (phase == PhaseRunning) {
            SetWindowLongPtrA(window, DWLP_MSGRESULT, FALSE);
            return TRUE;
        }
        return FALSE;
    case WM_STARTUP_FINISHED:
        OnStartupFinished(static_cast<int>(wParam));
        return TRUE;
    default:
        (void)lParam;
        return FALSE;
    }
}
