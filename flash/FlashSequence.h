// A flash run, below the dialog: the worker thread that writes the image into the
// selected drive stage by stage and publishes how far it got in FlashStep; the
// progress that each run tick takes from FlashStep (status text and bar
// position); and the end of a run, which re-reads the drive's version and counts
// the run. Also StartWorker, which starts both worker threads of the tool. The
// run tick itself, its timer and the controls it writes belong to the dialog
// (RunTick.h); nothing here touches a window, except that the worker posts
// WM_FLASH_RUN_ENDED to the dialog once its run has ended.
#ifndef ZAL_FLASH_FLASHSEQUENCE_H
#define ZAL_FLASH_FLASHSEQUENCE_H

#include <windows.h>

// 0: the run has started; 1 to 5: that many stages have finished; 6: all six have
// finished, the run succeeded; -1 to -6: that stage failed, the run has ended;
// FlashRefusedTestImage, FlashRefusedBlocksHeld: the run was refused with
// nothing sent or written (below).
// Written by the flash worker during a run, read once per tick by the dialog.
extern volatile LONG FlashStep;

// A generated test image (FirmwareImage.testImage) is written only into the drive
// emulator: before anything else the run asks the selected drive for its INQUIRY
// data with the vendor-specific bytes, and a drive that does not answer with the
// emulator's signature ends the run here, having received only that INQUIRY. A
// real image sends nothing extra.
enum { FlashRefusedTestImage = -7 };

// A run must be able to leave flash mode again whatever happens on the way: it
// starts only while the transport's pool has a free block for its commands and
// one more that it keeps for the leave. Requests that ran out of time hold their
// blocks until they complete; while too many are held the run is refused before
// anything is sent, and the status box says why.
enum { FlashRefusedBlocksHeld = -8 };

// Bar positions (of 10000) by FlashStep 0 to 5: the bar creeps up to entry s
// while FlashStep is s, and jumps to entry s - 1 when FlashStep becomes s.
extern const int ProgressMilestones[6];

// The bar's range: 0 to ProgressEnd.
enum { ProgressEnd = 10000 };

// Successful runs since the tool started.
extern int CompletedRunCount;

// Posted by the flash worker to the window given to StartFlashRun right after it
// has written the run's last FlashStep (6 or negative), so that the dialog shows
// the end at once instead of at its next run tick, up to 100 ms later; the
// dialog handles it as a run tick.
enum { WM_FLASH_RUN_ENDED = WM_APP + 2 };

typedef DWORD(WINAPI* WorkerBody)(LPVOID argument);

// Starts `body` on a new thread at the highest priority, with `argument` (the
// dialog window) as its argument. 1 when the thread runs; its handle and
// identifier are stored.
int StartWorker(WorkerBody body, LPVOID argument, HANDLE* handle, DWORD* identifier);

// Starts a run on the selected drive, once the caller has disabled every control
// that could start another command and armed its run tick: resets the progress
// and starts the flash worker with the loaded image; the worker tells `dialog`
// (NULL: no window) of the run's end with WM_FLASH_RUN_ENDED. A worker that
// cannot be started ends the run at stage 1 with nothing sent, so that the next
// tick reports it; 0 then, else 1.
int StartFlashRun(HWND dialog);

// A run that cannot be followed (its tick cannot be armed) is not started: the
// progress is reset and the run ends at stage 1 with nothing sent.
void AbandonFlashRun();

// The thread body of a run: the check for free request blocks above; for a test
// image, the emulator check above; enter
// flash mode and check the drive's revision, download the image, send its
// checksum, the erase pass, the program pass, leave flash mode; then the end
// posted to the dialog.
DWORD WINAPI FlashWorker(LPVOID argument);

// With a nonzero `reset`: the progress starts again (position 0, FlashStep 0) and
// 0 is returned, showing nothing. With 0: one tick's update of the bar position
// (ProgressPosition), with the status text shown through ShowStatus when
// FlashStep has changed since the last tick; 1 when the run has ended (FlashStep
// 6 or negative), 0 while it lasts.
int ProgressPoll(int reset);

// The bar position that the last ProgressPoll set, 0 to ProgressEnd.
int ProgressPosition();

// The end of a run, once ProgressPoll has reported it: after a successful run the
// selected drive's version is read again (RefreshSelectedDrive) and the run is
// counted. 1 after a successful run, 0 after a failed one, which changes nothing.
int EndFlashRun();

// Reads the selected drive's revision again after a successful run; when the
// drive answers, its row and the current version take the new revision.
void RefreshSelectedDrive();

// Writes the counter format, filled with the completed runs and the drives found,
// into `text` of RunCounterTextSize characters.
enum { RunCounterTextSize = 64 };
void FormatRunCounter(char* text);

#endif
