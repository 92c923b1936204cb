// discmode's dialog: the drive list, the two tab pages of settings, the disc poll
// and the OK and Cancel commands.
#ifndef ZAL_BOOKTYPE_MAINDIALOG_H
#define ZAL_BOOKTYPE_MAINDIALOG_H

#include <windows.h>

enum { PollTimerId = 1011, PollPeriodMs = 100 };

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The dialog's operations; all of them run on the dialog's thread.
int ActivateDrive(int index);
void FillSettingControls();
void ClearSettingControls();
void SetDlTemporaryControlsEnabled(bool enable);
void ShowDlPage();
void ShowPlusRPage();
int ShowChangeCount();
void PollDrive();
DWORD ApplyChanges();

#endif
