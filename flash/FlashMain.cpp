// drvflash, the firmware flash tool: program entry. Sets up the revision pattern,
// picks the language and runs the one modal dialog.
#include "Identification.h"
#include "MainDialog.h"
#include "MessageTable.h"

#include <windows.h>

#include <commctrl.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    InitRevisionPattern();
    // The template's progress bar needs its window class registered.
    InitCommonControls();
    const char* templateName = ChooseLanguage() ? "MAINDIALOG" : "MAINDIALOGE";
    DialogBoxParamA(instance, templateName, NULL, MainDialogProc, 0);
    return 0;
}
