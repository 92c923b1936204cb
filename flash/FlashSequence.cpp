// The flash run below the dialog (see FlashSequence.h). The worker and the
// dialog's thread share only FlashStep, an aligned 32-bit value that the worker
// alone writes while a run lasts; the dialog's thread writes it only in the reset
// and when it abandons a run, before any worker of the run exists.
#include "FlashSequence.h"

#include "DriveTable.h"
#include "FirmwareImage.h"
#include "FlashCommands.h"
#include "FlashProbe.h"
#include "Identification.h"
#include "MessageTable.h"
#include "ScsiCommand.h"
#include "StatusSink.h"

volatile LONG FlashStep = 0;
const int ProgressMilestones[6] = {100, 500, 1000, 5000, 9500, 9990};
int CompletedRunCount = 0;

enum {
    CreepPerTick = 50,
    NoStepSeen = -100, // a value FlashStep never takes
    LeaveFlashModePauseMs = 1000,
    ImageDriveAddress = DriveImageBase
};

// The progress state, owned by the dialog's thread.
static int progressPosition = 0;
static int lastStep = NoStepSeen;

// What the worker of the current run sends: set before the worker starts.
static const BYTE* runImage = NULL;
static WORD runChecksum = 0;
static int runTestImage = 0;
static HWND runDialog = NULL;

// The last flash worker; neither waited for nor closed.
static HANDLE flashThread = NULL;
static DWORD flashThreadId = 0;

int StartWorker(WorkerBody body, LPVOID argument, HANDLE* handle, DWORD* identifier) {
    *handle = CreateThread(NULL, 0, body, argument, 0, identifier);
    if (*handle == NULL) {
        return 0;
    }
    SetThreadPriority(*handle, THREAD_PRIORITY_HIGHEST);
    return 1;
}

int StartFlashRun(HWND dialog) {
    ProgressPoll(1);
    runDialog = dialog;
    runImage = FirmwareImage.data;
    runChecksum = static_cast<WORD>(FirmwareImage.checksum[0] << 8 | FirmwareImage.checksum[1]);
    runTestImage = FirmwareImage.testImage;
    if (!StartWorker(FlashWorker, NULL, &flashThread, &flashThreadId)) {
        FlashStep = -1;
        return 0;
    }
    return 1;
}

void AbandonFlashRun() {
    ProgressPoll(1);
    FlashStep = -1;
}

// 1 when the selected drive shows itself as the drive emulator: its INQUIRY
// data carries the emulator's signature in bytes 36-55. A real drive sends no
// such bytes, or others.
static int SelectedDriveIsEmulator() {
    return InquirySignedSelected() &&
           BytesMatchText(FlashSignedIdentification + EmulatorSignatureOffset, EmulatorSignature,
                          EmulatorSignatureLength);
}

// Stage 1: flash mode, and the drive's answer there checked against the
// revision pattern.
static int EnterFlashMode() {
    return SetFlashMode(1) && InquirySelected() &&
           MatchRevisionPattern(reinterpret_cast<const char*>(FlashIdentification) + 32, NULL);
}

// The stages of a run, FlashStep raised as each finishes; the run's last step:
// 6 after success, else the negative step of the stage that failed, or
// FlashRefusedTestImage.
static LONG RunStages() {
    if (!CommandPoolHasRoom()) {
        return FlashRefusedBlocksHeld;
    }
    if (runTestImage && !SelectedDriveIsEmulator()) {
        return FlashRefusedTestImage;
    }
    if (!EnterFlashMode()) {
        SetFlashMode(0);
        return -1;
    }
    FlashStep = 1;
    if (!DownloadImage(ImageDriveAddress, runImage, ImageSize)) {
        SetFlashMode(0);
        return -2;
    }
    FlashStep = 2;
    if (!SendImageChecksum(runChecksum)) {
        SetFlashMode(0);
        return -3;
    }
    FlashStep = 3;
    if (!RunBlockPass(BlockSubCommandErase)) {
        SetFlashMode(0);
        return -4;
    }
    FlashStep = 4;
    // Once programming has begun, leaving flash mode would start half-written
    // firmware: a failure here sends nothing more.
    if (!RunBlockPass(BlockSubCommandProgram)) {
        return -5;
    }
    FlashStep = 5;
    if (!SetFlashMode(0)) {
        return -6;
    }
    // The drive restarts its new firmware.
    Sleep(LeaveFlashModePauseMs);
    return 6;
}

DWORD WINAPI FlashWorker(LPVOID) {
    FlashStep = 0;
    FlashStep = RunStages();
    if (runDialog != NULL) {
        PostMessageA(runDialog, WM_FLASH_RUN_ENDED, 0, 0);
    }
    return 0;
}

int ProgressPoll(int reset) {
    if (reset) {
        lastStep = NoStepSeen;
        progressPosition = 0;
        FlashStep = 0;
        return 0;
    }
    const int step = static_cast<int>(FlashStep);
    const bool changed = step != lastStep;
    int ended = 0;
    if (step == 0) {
        if (changed) {
            ShowStatus(MessageTable->start);
        }
        if (progressPosition < ProgressMilestones[0]) {
            progressPosition += CreepPerTick;
        }
    } else if (step >= 1 && step <= 5) {
        if (changed) {
            ShowStatus(MessageTable->running);
            progressPosition = ProgressMilestones[step - 1];
        } else if (progressPosition < ProgressMilestones[step]) {
            progressPosition += CreepPerTick;
        }
    } else if (step == 6) {
        if (changed) {
            ShowStatus(MessageTable->success);
        }
        progressPosition = ProgressEnd;
        ended = 1;
    } else {
        if (changed) {
            ShowStatus(step == FlashRefusedTestImage    ? MessageTable->testImageRefused
                       : step == FlashRefusedBlocksHeld ? MessageTable->blocksHeld
                                                        : MessageTable->error);
        }
        ended = 1;
    }
    lastStep = step;
    if (progressPosition > ProgressEnd) {
        progressPosition = ProgressEnd;
    }
    return ended;
}

int ProgressPosition() {
    return progressPosition;
}

int EndFlashRun() {
    if (FlashStep <= 0) {
        return 0;
    }
    RefreshSelectedDrive();
    ++CompletedRunCount;
    return 1;
}

void RefreshSelectedDrive() {
    if (!InquirySelected()) {
        return;
    }
    if (SetDriveRevision(SelectedDriveIndex, FlashIdentification + 32)) {
        SelectDrive(SelectedDriveIndex);
    }
}

void FormatRunCounter(char* text) {
    wsprintfA(text, MessageTable->counterFormat, CompletedRunCount, DriveCount);
}
