// The start-up baseline: a bare program that shows a tool's dialog template
// (MAINDIALOGE, taken from the built tool's own file, loaded as data) and does
// nothing else, so that a tool's start-up can be set beside what the system
// itself needs to start a program and show that dialog. One program, run under
// the name of its role: bench_bare_TOOL.exe or bench_tick_TOOL.exe shows the
// dialog of TOOL.exe, which is looked for beside it.
//
// As bench_tick_*, it also does what the tool's dialog does on its 100 ms timer
// without sending anything: for discmode (the poll) it re-arms the timer and
// rewrites the status text; for drvflash (the run tick) it re-arms the timer and
// moves the progress bar on. This is the CPU floor of a dialog that ticks so.
#include <windows.h>

#include <commctrl.h>
#include <string.h>

enum { TickTimer = 1, TickMs = 100, StatusBox = 1007, ProgressBar = 1010, BarEnd = 10000 };

// 0: no tick; 1: discmode's poll; 2: drvflash's run tick.
static int tickKind = 0;

static void Tick(HWND dialog) {
    static int position = 0;
    KillTimer(dialog, TickTimer);
    if (tickKind == 1) {
        SetDlgItemTextA(dialog, StatusBox, "Insert a disc");
    } else {
        position = position + 50 > BarEnd ? 0 : position + 50;
        SendDlgItemMessageA(dialog, ProgressBar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    }
    SetTimer(dialog, TickTimer, TickMs, NULL);
}

static INT_PTR CALLBACK BareDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        if (tickKind != 0) {
            SendDlgItemMessageA(dialog, ProgressBar, PBM_SETRANGE, 0, MAKELPARAM(0, BarEnd));
            SetTimer(dialog, TickTimer, TickMs, NULL);
        }
        return TRUE;
    }
    if (message == WM_TIMER && tickKind != 0) {
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
    const size_t prefix = sizeof "bench_bare_" - 1;
    if (length == 0 || length >= sizeof path || slash == NULL || strlen(slash + 1) <= prefix) {
        return 1;
    }
    // The role from the name: bench_bare_ or bench_tick_, then the tool's file name.
    char* const name = slash + 1;
    if (strncmp(name, "bench_tick_", prefix) == 0) {
        tickKind = strncmp(name + prefix, "discmode", 8) == 0 ? 1 : 2;
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
