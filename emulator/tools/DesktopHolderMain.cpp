// deskhold: holds the Wine session's desktop open for as long as the session
// runs. Wine starts its desktop process (explorer.exe /desktop) for the first
// program that needs the desktop window, hands it that program's standard error,
// and ends it only once no program uses the desktop any more. Started by the
// session with its output on /dev/null, this program is that first user, so no
// test program's output pipe is held by the desktop process after the test ends.
// It waits until the session's wineserver ends it.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    GetDesktopWindow();
    for (;;) {
        Sleep(INFINITE);
    }
}
