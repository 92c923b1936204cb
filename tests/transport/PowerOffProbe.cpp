// Asks the system to shut down the way the flash tool's Power Off command does,
// with the shipped platform calls, from a program with a window and a message
// loop as the tool has. Run only in a Wine prefix of its own: Wine ends the
// programs of the prefix on a shutdown. If the program is still alive 15 s after
// the request (times the machine's time scale), it writes "survived" into the
// file named by its argument.
#include "Platform.h"
#include "TimeScale.h"

#include <stdio.h>

int main(int argc, char** argv) {
    const char* report = argc > 1 ? argv[1] : "poweroff-report.txt";
    FILE* file = fopen(report, "w");
    if (file != NULL) {
        fprintf(file, "requested platform %lu\n", QueryPlatform(0));
        fclose(file);
    }
    HWND window = CreateWindowA("STATIC", "Power off probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                200, 100, NULL, NULL, GetModuleHandleA(NULL), NULL);
    QueryPlatform(1);
    // Keep serving messages (the end-of-session ones among them) for 15 s.
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < Scaled(15000)) {
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&message);
        }
        Sleep(20);
    }
    DestroyWindow(window);
    file = fopen(report, "a");
    if (file != NULL) {
        fprintf(file, "survived\n");
        fclose(file);
    }
    return 3;
}
