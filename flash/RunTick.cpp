// The run tick and the dialog's view of a flash run (see RunTick.h).
#include "RunTick.h"

#include "FlashProbe.h"
#include "FlashResources.h"
#include "FlashSequence.h"

#include <commctrl.h>

enum { RunTickMs = 100 };

int BeginFlashRun(HWND dialog) {
    // The tick repeats by itself until the run has ended, so that it is armed
    // once, here, and never again while the worker runs. Without it the dialog
    // would wait for the end of the run for good: the run ends at once, unsent.
    if (SetTimer(dialog, IDT_RUN_TIMER, RunTickMs, NULL) == 0) {
        AbandonFlashRun();
        return 0;
    }
    StartFlashRun(dialog);
    return 1;
}

int RunTick(HWND dialog) {
    const int ended = ProgressPoll(0);
    SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(ProgressPosition()),
                        0);
    if (!ended) {
        return 0;
    }
    KillTimer(dialog, IDT_RUN_TIMER);
    if (EndFlashRun()) {
        ShowCurrentVersion(dialog);
        ShowRunCounter(dialog);
    }
    return 1;
}

void ShowCurrentVersion(HWND dialog) {
    SetDlgItemTextA(dialog, IDC_CURRENT_VERSION, ShownCurrentVersion());
}

void ShowRunCounter(HWND dialog) {
    char text[RunCounterTextSize];
    FormatRunCounter(text);
    SetDlgItemTextA(dialog, IDC_COUNTER, text);
}
