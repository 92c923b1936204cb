// A flash run: the worker thread that writes the image into the selected drive
// stage by stage and publishes how far it got in FlashStep, and the dialog
// thread's side of it: the 100 ms run tick that turns FlashStep into a status
// text and a progress-bar position, and at the end re-reads the drive's version
// and counts the run. Also StartWorker, which starts both worker threads of the
// tool.
#ifndef ZAL_FLASH_FLASHSEQUENCE_H
#define ZAL_FLASH_FLASHSEQUENCE_H

#include <windows.h>

// 0: the run has started; 1 to 5: that many stages have finished; 6: all six have
// finished, the run succeeded; -1 to -6: that stage failed, the run has ended;
// FlashRefusedTestImage: the run was refused with nothing written (below).
// Written by the flash worker during a run, read once per tick by the dialog.
extern volatile LONG FlashStep;

// A generated test image (FirmwareImage.testImage) is written only into the drive
// emulator: before anything else the run asks the selected drive for its INQUIRY
// data with the vendor-specific bytes, and a drive that does not answer with the
// emulator's signature ends the run here, having received only that INQUIRY. A
// real image sends nothing extra.
enum { FlashRefusedTestImage = -7 };

// Bar positions (of 10000) by FlashStep 0 to 5: the bar creeps up to entry s
// while FlashStep is s, and jumps to entry s - 1 when FlashStep becomes s.
extern const int ProgressMilestones[6];

// Successful runs since the tool started.
extern int CompletedRunCount;

typedef DWORD(WINAPI* WorkerBody)(LPVOID dialog);

// Starts `body` on a new thread at the highest priority, with the dialog window
// as its argument. 1 when the thread runs; its handle and identifier are stored.
int StartWorker(WorkerBody body, HWND dialog, HANDLE* handle, DWORD* identifier);

// Starts a run on the selected drive, once the caller has disabled every control
// that could start another command: resets the progress, arms the run tick, which
// repeats until the run has ended, and starts the flash worker. A worker that
// cannot be started ends the run at stage 1 with nothing sent, so the next tick
// reports it and gives the controls back. 1 when the tick is armed; 0 when it
// cannot be, and the run has ended at stage 1 with nothing sent: the caller then
// calls RunTick itself.
int BeginFlashRun(HWND dialog);

// The thread body of a run: for a test image, the emulator check above; enter
// flash mode and check the drive's revision, download the image, send its
// checksum, the erase pass, the program pass, leave flash mode.
DWORD WINAPI FlashWorker(LPVOID dialog);

// With a nonzero `reset`: the progress starts again (position 0, FlashStep 0) and
// 0 is returned, touching no control. With 0: one tick's update of the status
// box and the progress bar of `dialog` (NULL: the bar of no window); 1 when the
// run has ended (FlashStep 6 or negative), 0 while it lasts.
int ProgressPoll(int reset, HWND dialog);

// The bar position that the last ProgressPoll set.
int ProgressPosition();

// The dialog's handling of the run tick: one ProgressPoll; once the run has ended
// the tick is killed and, after a successful run, the drive's version is read
// again and shown, and the counter raised. 1 when the run has ended (the dialog
// then gives the controls back), else 0.
int RunTick(HWND dialog);

// Reads the selected drive's revision again after a successful run; when the
// drive answers, its row and the current version take the new revision.
void RefreshSelectedDrive();

// Shows the current version in the dialog, or "N/A " for a drive that reports a
// version starting with '0' (its loader).
void ShowCurrentVersion(HWND dialog);

// Shows the completed runs against the drives found, in the counter format.
void ShowRunCounter(HWND dialog);

#endif
