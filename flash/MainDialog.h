// drvflash's dialog: the dialog procedure, the start-up worker that loads the
// image and finds the drives, drive selection, and the Flash, Power Off and Cancel
// commands. Also the tool's host of the transport (ShowStatus, AddDriveListItem).
#ifndef ZAL_FLASH_MAINDIALOG_H
#define ZAL_FLASH_MAINDIALOG_H

#include <windows.h>

// Posted by the start-up worker to the dialog's thread when it has finished:
// wParam 1 when the dialog is ready for the user, 0 when the start-up gave up
// (its message box has been answered) and the dialog is to end with result 1.
enum { WM_STARTUP_FINISHED = WM_APP + 1 };

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Selects entry `index` of the drive list and makes its drive current; 0 when
// there is no such drive.
int ActivateDrive(int index);

// The start-up worker's thread body; its argument is the dialog window.
DWORD WINAPI StartupWorker(LPVOID dialog);

#endif
