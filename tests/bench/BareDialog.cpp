// The start-up baseline: a bare program that shows a tool's dialog template
// (MAINDIALOGE, taken from the built tool's own file, loaded as data) and does
// nothing else, so that a tool's start-up can be set beside what the system
// itself needs to start a program and show that dialog. The tool's file name is
// compiled in as BARE_TOOL_PROGRAM; it is looked for beside this program.
#include <windows.h>

#include <commctrl.h>
#include <string.h>

static INT_PTR CALLBACK BareDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
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
