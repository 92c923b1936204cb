// discmode, the book-type setting tool: program entry. Picks the language and
// runs the one modal dialog.
#include "MainDialog.h"
#include "MessageTable.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    const char* templateName = ChooseLanguage() ? "MAINDIALOG" : "MAINDIALOGE";
    DialogBoxParamA(instance, templateName, NULL, MainDialogProc, 0);
    return 0;
}
