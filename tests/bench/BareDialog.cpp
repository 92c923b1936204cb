// The start-up baseline: a bare program that shows a tool's dialog template
// (MAINDIALOGE, taken from the built tool's own file, loaded as data) and does
// nothing else, so that a tool's start-up can be set beside what the system
// itself needs to start a program and show that dialog. The tool's file name is
// compiled in as BARE_TOOL_PROGRAM; it is looked for beside this program.
//
// Built with BARE_TICK too, it also does what the tool's dialog does on its
// 100 ms timer without sending anything: 1 (discmode's poll) re-arms the timer
// and rewrites the status text; 2 (drvflash's run tick) re-arms the timer and
// moves the progress bar on. This is the CPU floor of a dialog that ticks so.
#include <windows.h>

#include <commctrl.h>
#include <string.h>

#ifndef BARE_TICK
#define BARE_TICK 0
#endif

enum { TickTimer = 1, TickMs = 100, StatusBox = 1007, ProgressBar = 1010, BarEnd = 10000 };

static void Tick(HWND dialog) {
    static int position = 0;
    KillTimer(dialog, TickTimer);
    if (BARE_TICK == 1) {
        SetDlgItemTextA(dialog, StatusBox, "Insert a disc");
    } else {
        position = position + 50 > BarEnd ? 0 : position + 50;
        SendDlgItemMessageA(dialog, ProgressBar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    }
    SetTimer(dialog, TickTimer, TickMs, NULL);
}

static INT_PTR CALLBACK BareDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        if (BARE_TICK != 0) {
            SendDlgItemMessageA(dialog, ProgressBar, PBM_SETRANGE, 0, MAKELPARAM(0, BarEnd));
            SetTimer(dialog, TickTimer, TickMs, NULL);
        }
        return TRUE;
    }
    if (message == WM_TIMER && BARE_TICK != 0) {
        Tick(dialog);
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    char* slash = strrchr(path, '\\');
    if (length == 0 || slash == NULL ||
        static_cast<size_t>(slash - path) + sizeof BARE_TOOL_PROGRAM + 1 > sizeof path) {
        return 1;
    }
    strcpy(slash + 1, BARE_TOOL_PROGRAM);
    HMODULE tool = LoadLibraryExA(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (tool == NULL) {
        return 1;
    }
    // The flash dialog holds a progress bar, whose class the common controls register.
    InitCommonControls();
    DialogBoxParamA(tool, "MAINDIALOGE", NULL, BareDialogProc, 0);
    return 0;
}
