// discmode's dialog procedure and the host side of the transport (status box and
// drive list). Everything here runs on the dialog's thread; the disc poll is a
// one-shot window timer that each poll re-arms.
#include "MainDialog.h"

#include "BookTypeResources.h"
#include "BookTypeState.h"
#include "ChangeFlow.h"
#include "DriveTable.h"
#include "MessageTable.h"
#include "ScsiTransport.h"
#include "StatusSink.h"

#include <commctrl.h>
#include <string.h>

enum {
    ErrorBoxStyle = MB_SYSTEMMODAL | MB_ICONERROR,
    CompletionBoxStyle = MB_SYSTEMMODAL | MB_ICONINFORMATION
};

static HWND mainDialog = NULL;
// 0 until initialisation is over, 1 while the dialog runs, 0 once it has been ended.
static int dialogReady = 0;
// The drive list and Cancel can be used: not while the dialog starts, nor while a
// change is being made and its result box is open.
static int driveListUsable = 0;
// The last poll found the drive without a disc, so a change may be made.
static int okAllowedByPoll = 0;

static HWND Item(int id);

// ---- Host side of the transport ----

// The status box's text as last set: every text of the box comes through
// ShowStatus, so an unchanged text is told without reading the box back.
static char shownStatus[256];

void ShowStatus(const char* text) {
    if (mainDialog == NULL) {
        return;
    }
    // The poll reports ten times a second; rewriting an unchanged text would only flicker.
    if (strncmp(shownStatus, text, sizeof shownStatus - 1) == 0) {
        return;
    }
    SetWindowTextA(Item(IDC_STATUS), text);
    strncpy(shownStatus, text, sizeof shownStatus - 1);
}

void AddDriveListItem(const char* text) {
    SendMessageA(Item(IDC_DRIVE_LIST), CB_INSERTSTRING, static_cast<WPARAM>(-1),
                 reinterpret_cast<LPARAM>(text));
}

// ---- Control helpers ----

// The dialog's controls by identifier, looked up once as the dialog starts: each
// GetDlgItem is a search through the dialog's children, and the poll touches
// controls ten times a second.
enum { FirstItemId = IDC_TEMPORARY_LABEL, LastItemId = IDC_COMMAND_VERSION };
static HWND itemWindows[LastItemId - FirstItemId + 1];
static HWND okButton = NULL;
static HWND cancelButton = NULL;

static void FindItems() {
    okButton = GetDlgItem(mainDialog, IDOK);
    cancelButton = GetDlgItem(mainDialog, IDCANCEL);
    for (int id = FirstItemId; id <= LastItemId; ++id) {
        itemWindows[id - FirstItemId] = GetDlgItem(mainDialog, id);
    }
}

static HWND Item(int id) {
    if (id == IDOK) {
        return okButton;
    }
    if (id == IDCANCEL) {
        return cancelButton;
    }
    return id >= FirstItemId && id <= LastItemId ? itemWindows[id - FirstItemId] : NULL;
}

static bool IsSelected(int id) {
    return SendMessageA(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

static void Select(int id, bool selected) {
    SendMessageA(Item(id), BM_SETCHECK, selected ? BST_CHECKED : BST_UNCHECKED, 0);
}

// Enables or disables a control only when its state differs: each change is a
// style change and a repaint.
static void Enable(int id, bool enable) {
    HWND item = Item(id);
    if ((IsWindowEnabled(item) != FALSE) != enable) {
        EnableWindow(item, enable ? TRUE : FALSE);
    }
}

static void ShowControls(int first, int last, bool show) {
    for (int id = first; id <= last; ++id) {
        ShowWindow(Item(id), show ? SW_SHOW : SW_HIDE);
    }
}

static LRESULT SendToTab(UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageA(Item(IDC_TAB), message, wParam, lParam);
}

static void InsertTab(int index, const char* caption) {
    TCITEMA item;
    memset(&item, 0, sizeof item);
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>(caption);
    SendToTab(TCM_INSERTITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

// The Select Setting radio of the DVD+R DL Temporary row: with the row, and only
// once a temporary value is chosen.
static void EnableDlApplyTemporary(bool rowEnabled) {
    Enable(IDC_DL_APPLY_TEMPORARY, rowEnabled && (IsSelected(IDC_DL_TEMPORARY_NORMAL) ||
                                                  IsSelected(IDC_DL_TEMPORARY_COMPAT)));
}

void SetDlTemporaryControlsEnabled(bool enable) {
    Enable(IDC_DL_TEMPORARY_NORMAL, enable);
    Enable(IDC_DL_TEMPORARY_COMPAT, enable);
    Enable(IDC_DL_TEMPORARY_VALUE, enable);
    Enable(IDC_TEMPORARY_LABEL, enable);
    EnableDlApplyTemporary(enable);
}

// Which controls UpdateControlStates brings up to date: after a poll only those
// that the poll decides (OK, and the Select Setting radios of the Temporary rows,
// which follow the user's clicks); otherwise every one.
enum ControlScope { PollControls, AllControls };

// Every enabling and disabling of the dialog's controls, from the dialog's phase,
// the last poll and the shown drive's state, each control once:
// - drive list and Cancel while usable; OK besides only after a poll without disc;
// - the DVD+R DL Temporary row from command version 2 on;
// - with no change left, each Default row locked to the drive's current value (on
//   the DVD+R page from command version 3 on); a drive with changes left unlocks them;
// - a Temporary row's Select Setting radio only once a temporary value is chosen.
static void UpdateControlStates(ControlScope scope) {
    const BookTypeState* state = &CurrentState;
    const bool temporaryRow = state->commandVersion >= 2;
    Enable(IDOK, driveListUsable != 0 && okAllowedByPoll != 0);
    Enable(IDC_PLUSR_APPLY_TEMPORARY,
           IsSelected(IDC_PLUSR_TEMPORARY_NORMAL) || IsSelected(IDC_PLUSR_TEMPORARY_COMPAT));
    if (scope == PollControls) {
        EnableDlApplyTemporary(temporaryRow);
        return;
    }
    Enable(IDC_DRIVE_LIST, driveListUsable != 0);
    Enable(IDCANCEL, driveListUsable != 0);
    SetDlTemporaryControlsEnabled(temporaryRow);

    const bool locked = RemainingChangeCount(state) == 0;
    const bool dlNormal = IsNormalBookType(state->defaultValue[DvdPlusRDl]);
    Enable(IDC_DL_DEFAULT_NORMAL, !locked || dlNormal);
    Enable(IDC_DL_DEFAULT_COMPAT, !locked || !dlNormal);
    const bool plusRLocked = locked && state->commandVersion >= 3;
    const bool plusRNormal = IsNormalBookType(state->defaultValue[DvdPlusR]);
    Enable(IDC_PLUSR_DEFAULT_NORMAL, !plusRLocked || plusRNormal);
    Enable(IDC_PLUSR_DEFAULT_COMPAT, !plusRLocked || !plusRNormal);
}

// ---- Setting controls ----

void ClearSettingControls() {
    for (int id = IDC_DL_DEFAULT_NORMAL; id <= IDC_DL_APPLY_TEMPORARY; ++id) {
        Select(id, false);
    }
    for (int id = IDC_PLUSR_DEFAULT_NORMAL; id <= IDC_PLUSR_APPLY_TEMPORARY; ++id) {
        Select(id, false);
    }
    const char* noValue = MediumTextTable[MediumTextNoValue];
    SetWindowTextA(Item(IDC_DL_DEFAULT_VALUE), noValue);
    SetWindowTextA(Item(IDC_DL_TEMPORARY_VALUE), noValue);
    SetWindowTextA(Item(IDC_PLUSR_DEFAULT_VALUE), noValue);
    SetWindowTextA(Item(IDC_PLUSR_TEMPORARY_VALUE), noValue);
}

// The radio buttons and value boxes of one medium's page.
struct PageControls {
    int defaultNormal, defaultCompat, temporaryNormal, temporaryCompat;
    int applyDefault, applyTemporary, defaultValue, temporaryValue;
    int normalText;
};

static const PageControls dlPage = {
    IDC_DL_DEFAULT_NORMAL,   IDC_DL_DEFAULT_COMPAT,  IDC_DL_TEMPORARY_NORMAL,
    IDC_DL_TEMPORARY_COMPAT, IDC_DL_APPLY_DEFAULT,   IDC_DL_APPLY_TEMPORARY,
    IDC_DL_DEFAULT_VALUE,    IDC_DL_TEMPORARY_VALUE, MediumTextDlNormal};

static const PageControls plusRPage = {
    IDC_PLUSR_DEFAULT_NORMAL,   IDC_PLUSR_DEFAULT_COMPAT,  IDC_PLUSR_TEMPORARY_NORMAL,
    IDC_PLUSR_TEMPORARY_COMPAT, IDC_PLUSR_APPLY_DEFAULT,   IDC_PLUSR_APPLY_TEMPORARY,
    IDC_PLUSR_DEFAULT_VALUE,    IDC_PLUSR_TEMPORARY_VALUE, MediumTextPlusRNormal};

static int ValueText(const PageControls* page, BYTE value) {
    return IsNormalBookType(value) ? page->normalText : MediumTextCompatibility;
}

// The Current Value boxes of one page, from the current state: the default, and
// the temporary setting when it is known.
static void ShowCurrentValues(const PageControls* page, MediumKind m) {
    const BookTypeState* state = &CurrentState;
    SetDlgItemTextA(mainDialog, page->defaultValue,
                    MediumTextTable[ValueText(page, state->defaultValue[m])]);
    const int temporary =
        state->temporaryValid[m] ? ValueText(page, state->temporaryValue[m]) : MediumTextNoValue;
    SetWindowTextA(Item(page->temporaryValue), MediumTextTable[temporary]);
}

static void FillDefaultRow(const PageControls* page, BYTE value) {
    const bool normal = IsNormalBookType(value);
    Select(normal ? page->defaultNormal : page->defaultCompat, true);
}

static void FillTemporaryRow(const PageControls* page, MediumKind m) {
    const BookTypeState* state = &CurrentState;
    if (state->temporaryValid[m]) {
        const bool normal = IsNormalBookType(state->temporaryValue[m]);
        Select(normal ? page->temporaryNormal : page->temporaryCompat, true);
        Select(state->temporarySelected[m] ? page->applyTemporary : page->applyDefault, true);
    } else {
        Select(page->temporaryNormal, false);
        Select(page->temporaryCompat, false);
        Select(page->applyDefault, true);
    }
}

void FillSettingControls() {
    const BookTypeState* state = &CurrentState;
    ClearSettingControls();
    FillDefaultRow(&dlPage, state->defaultValue[DvdPlusRDl]);
    if (state->commandVersion < 2) {
        Select(IDC_DL_APPLY_DEFAULT, true);
    } else {
        FillTemporaryRow(&dlPage, DvdPlusRDl);
    }
    // Below version 2 the temporary setting is never read, so it shows no value.
    ShowCurrentValues(&dlPage, DvdPlusRDl);

    SendToTab(TCM_SETCURSEL, 0, 0);
    if (state->commandVersion < 3) {
        SendToTab(TCM_DELETEITEM, 1, 0);
    } else {
        if (SendToTab(TCM_GETITEMCOUNT, 0, 0) == 1) {
            InsertTab(1, MediumTextTable[MediumTextPlusRTab]);
        }
        FillDefaultRow(&plusRPage, state->defaultValue[DvdPlusR]);
        FillTemporaryRow(&plusRPage, DvdPlusR);
        ShowCurrentValues(&plusRPage, DvdPlusR);
    }
    SetDlgItemInt(mainDialog, IDC_COMMAND_VERSION, static_cast<UINT>(state->commandVersion), FALSE);
    UpdateControlStates(AllControls);
}

// ---- Pages, change count and poll ----

void ShowDlPage() {
    ShowControls(IDC_PLUSR_DEFAULT_NORMAL, IDC_PLUSR_TEMPORARY_VALUE, false);
    ShowControls(IDC_DL_DEFAULT_NORMAL, IDC_DL_TEMPORARY_VALUE, true);
    PollDrive();
}

void ShowPlusRPage() {
    ShowControls(IDC_DL_DEFAULT_NORMAL, IDC_DL_TEMPORARY_VALUE, false);
    ShowControls(IDC_PLUSR_DEFAULT_NORMAL, IDC_PLUSR_TEMPORARY_VALUE, true);
    PollDrive();
}

int ShowChangeCount() {
    const int count = RemainingChangeCount(&CurrentState);
    char text[ChangeCountTextSize];
    ShowStatus(ChangeCountText(count, CurrentState.commandVersion, text));
    return count != 0;
}

void PollDrive() {
    // A drive with nothing to change is not polled, and OK is not offered for it
    // (also after a drive that had OK enabled).
    okAllowedByPoll = 0;
    if (DriveOffersChange(&CurrentState)) {
        if (DriveHasNoDisc()) {
            ShowChangeCount();
            okAllowedByPoll = 1;
        } else {
            ShowStatus(MessageTable->ejectRequest);
            okAllowedByPoll = 0;
        }
        SetTimer(mainDialog, PollTimerId, PollPeriodMs, NULL);
    }
    UpdateControlStates(PollControls);
}

// ---- Drive selection ----

int ActivateDrive(int index) {
    if (index < 0 || index >= DriveCount) {
        return 0;
    }
    SendMessageA(Item(IDC_DRIVE_LIST), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SelectDrive(index);
    RestoreDriveState();
    ShowDlPage();
    // With no change left the default rows lock to the drive's values (UpdateControlStates).
    ShowChangeCount();
    UpdateControlStates(AllControls);
    return 1;
}

// ---- OK and Cancel ----

static MediumChoice ReadChoice(const PageControls* page) {
    MediumChoice choice;
    choice.defaultNormal = IsSelected(page->defaultNormal) ? 1 : 0;
    choice.temporaryNormal = IsSelected(page->temporaryNormal) ? 1 : 0;
    choice.temporaryCompatibility = IsSelected(page->temporaryCompat) ? 1 : 0;
    choice.defaultApplied = IsSelected(page->applyDefault) ? 1 : 0;
    return choice;
}

DWORD ApplyChanges() {
    ChangeChoices choices;
    memset(&choices, 0, sizeof choices);
    choices.medium[DvdPlusRDl] = ReadChoice(&dlPage);
    choices.medium[DvdPlusR] = ReadChoice(&plusRPage);
    return SendChangedSettings(&choices);
}

static void EndMainDialog() {
    KillTimer(mainDialog, PollTimerId);
    ReleaseScsiTransport();
    EndDialog(mainDialog, 1);
    dialogReady = 0;
}

static void RunChange() {
    driveListUsable = 0;
    okAllowedByPoll = 0;
    UpdateControlStates(AllControls);
    const DWORD mask = ApplyChanges();
    if (mask == 0) {
        MessageBoxA(NULL, MessageTable->changeCompleted, DialogTitle, CompletionBoxStyle);
        EndMainDialog();
        return;
    }
    // What went through is the drive's value now.
    ShowCurrentValues(&dlPage, DvdPlusRDl);
    if (CurrentState.commandVersion >= 3) {
        ShowCurrentValues(&plusRPage, DvdPlusR);
    }
    MessageBoxA(NULL, ChangeFailureText(mask), DialogTitle, ErrorBoxStyle);
    // The dialog stays open: the user may retry (OK returns with the next poll
    // that finds no disc), pick another drive, or leave.
    driveListUsable = 1;
    UpdateControlStates(AllControls);
}

// ---- Initialisation ----

static int InitMainDialog() {
    InsertTab(0, MediumTextTable[MediumTextDlTab]);
    InsertTab(1, MediumTextTable[MediumTextPlusRTab]);
    SetWindowTextA(mainDialog, DialogTitle);
    driveListUsable = 0;
    okAllowedByPoll = 0;
    UpdateControlStates(AllControls);
    EnumerateDrives(&BookTypeDriveProbe);
    if (!ActivateDrive(0)) {
        MessageBoxA(NULL, MessageTable->noDrive, DialogTitle, ErrorBoxStyle);
        EndDialog(mainDialog, 1);
        return 0;
    }
    driveListUsable = 1;
    UpdateControlStates(AllControls);
    return 1;
}

static INT_PTR OnCommand(WPARAM wParam) {
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    if (code == CBN_SELCHANGE && id == IDC_DRIVE_LIST) {
        if (!dialogReady) {
            return FALSE;
        }
        const LRESULT selection = SendMessageA(Item(IDC_DRIVE_LIST), CB_GETCURSEL, 0, 0);
        ActivateDrive(static_cast<int>(selection));
        FillSettingControls();
        ShowDlPage();
        InvalidateRect(mainDialog, NULL, TRUE);
        return TRUE;
    }
    if (code != BN_CLICKED) {
        return FALSE;
    }
    // The keyboard and the close box reach here even while the button is disabled;
    // a disabled button means the command is not available.
    switch (id) {
    case IDOK:
        if (IsWindowEnabled(Item(IDOK))) {
            RunChange();
        }
        return TRUE;
    case IDCANCEL:
        if (IsWindowEnabled(Item(IDCANCEL))) {
            EndMainDialog();
        }
        return TRUE;
    default:
        return FALSE;
    }
}

static INT_PTR OnNotify(const NMHDR* header) {
    if (header->code != static_cast<UINT>(TCN_SELCHANGE)) {
        return FALSE;
    }
    if (header->idFrom == IDC_TAB) {
        switch (SendToTab(TCM_GETCURSEL, 0, 0)) {
        case 0:
            ShowDlPage();
            break;
        case 1:
            ShowPlusRPage();
            break;
        default:
            break;
        }
    }
    return TRUE;
}

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        mainDialog = window;
        FindItems();
        shownStatus[0] = '\0';
        dialogReady = 0;
        InitScsiTransport();
        InitCommonControls();
        if (!InitMainDialog()) {
            return TRUE;
        }
        FillSettingControls();
        dialogReady = 1;
        return TRUE;
    case WM_NOTIFY:
        return OnNotify(reinterpret_cast<const NMHDR*>(lParam));
    case WM_COMMAND:
        return OnCommand(wParam);
    case WM_TIMER:
        if (wParam != PollTimerId) {
            return FALSE;
        }
        KillTimer(mainDialog, PollTimerId);
        PollDrive();
        return TRUE;
    case WM_KEYDOWN:
        return wParam == VK_ESCAPE ? TRUE : FALSE;
    default:
        return FALSE;
    }
}
