// The dialog's side of a flash run: the 100 ms run tick with its timer, and what
// the run shows in the dialog (status box, progress bar, current version and
// counter). What the run does and decides is the engine's (FlashSequence.h).
#ifndef ZAL_FLASH_RUNTICK_H
#define ZAL_FLASH_RUNTICK_H

#include <windows.h>

// Starts a run on the selected drive, once the caller has disabled every control
// that could start another command: arms the run tick, which repeats until the
// run has ended, and starts the flash worker (StartFlashRun), which posts
// WM_FLASH_RUN_ENDED to `dialog` as soon as the run has ended; the dialog handles
// that message as a tick, so the end shows at once. 1 when the tick is armed; 0
// when it cannot be, and the run has ended at stage 1 with nothing sent: the
// caller then calls RunTick itself.
int BeginFlashRun(HWND dialog);

// The dialog's handling of the run tick (and of WM_FLASH_RUN_ENDED): one ProgressPoll, whose
// position goes to the progress bar of `dialog` (NULL: the bar of no window); once the run has
// ended the tick is killed and, after a successful run, the drive's version is
// read again and shown, and the counter raised. 1 when the run has ended (the
// dialog then gives the controls back), else 0.
int RunTick(HWND dialog);

// Shows the current version in the dialog, or "N/A " for a drive that reports a
// version starting with '0' (its loader).
void ShowCurrentVersion(HWND dialog);

// Shows the completed runs against the drives found, in the counter format.
void ShowRunCounter(HWND dialog);

#endif
