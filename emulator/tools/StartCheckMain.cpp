// startcheck: the least program that starts as both tools start on the NT family
// with no drive (a dialog; a worker thread at the highest priority opens the drive
// letters C: to Z:, sets a text of the dialog and shows a message box without
// owner), and none of the tools' code. Under qemu-i386 it shows whether Wine
// itself starts such a program; the README's Linux section tells what it showed.
#include <windows.h>

namespace {

HWND dialog = NULL;
const int IdText = 100;

DWORD WINAPI Worker(LPVOID) {
    char path[] = "\\\\.\\C:";
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        path[4] = letter;
        HANDLE device = CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
        if (device != INVALID_HANDLE_VALUE) {
            CloseHandle(device);
        }
    }
    SetDlgItemTextA(dialog, IdText, "SPTI ERROR");
    MessageBoxA(NULL, "No drive.", "Start Check Utility", MB_SYSTEMMODAL | MB_ICONHAND);
    PostMessageA(dialog, WM_APP, 0, 0);
    return 0;
}

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        dialog = window;
        CreateWindowA("EDIT", "", WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 10, 200, 20, window,
                      reinterpret_cast<HMENU>(static_cast<UINT_PTR>(IdText)), NULL, NULL);
        DWORD id = 0;
        HANDLE thread = CreateThread(NULL, 0, Worker, NULL, 0, &id);
        if (thread != NULL) {
            SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST);
            CloseHandle(thread);
        }
        return TRUE;
    }
    if (message == WM_APP || (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL)) {
        EndDialog(window, 0);
        return TRUE;
    }
    return FALSE;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // An in-memory template: a captioned box with no controls of its own.
    struct {
        DLGTEMPLATE header;
        WORD menu, windowClass, title;
    } dialogTemplate = {{WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_CENTER, 0, 0, 0, 0, 200, 60}, 0, 0, 0};
    return static_cast<int>(
        DialogBoxIndirectParamA(instance, &dialogTemplate.header, NULL, DialogProc, 0));
}
