// Seeded fault campaign of the flash run: each run loads one emulated drive,
// finds it, and flashes it with one fault injected at a random command of the
// run (a check condition, a completion late by less than the command's time
// limit, or one late by more, which the tool sees as a time-out). After each run:
// FlashStep names the stage of the failing command; the drive received exactly
// the run's commands up to the failing one and the follow-up the run owes (one
// leave of flash mode after a failure in stages 1 to 4), and nothing after the
// end; the run tick reported the end with the right status text; the counter and
// the current version changed only on success; and a fresh enumeration finds the
// drive again, as its loader when the run left it half-flashed, in which case a
// second run flashes it whole. Runs in-process on the path its argument names
// (TimingModes.h). With --timing one command, or in one run of four every command, of up to eight
// runs completes under a random timing (TimingModes.h), the user pressing Flash
// again after each failure. Judged from the drive: each run tick reports the end
// (the dialog gives its controls back); a successful run left the file's image
// in the drive, and with one command timed a run succeeds unless a hung command
// holds up the NT simulator; once the late completions have come, a drive whose
// last run failed in stages 1 to 4 is out of flash mode, unless its leave hung.
#include "Campaign.h"

#include "CommandText.h"
#include "DriveTable.h"
#include "FirmwareImage.h"
#include "FlashProbe.h"
#include "FlashSequence.h"
#include "Identification.h"
#include "MessageTable.h"
#include "PathTestSupport.h"
#include "RecordingHost.h"
#include "RunTick.h"
#include "ScsiCommand.h"
#include "TestImage.h"
#include "TimeScale.h"
#include "TimingModes.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

enum {
    RunCommands = 70, // enter, INQUIRY, 32 downloads, checksum, 17 erase, 17 program, leave
    ChecksumIndex = 34,
    FirstEraseIndex = 35,
    FirstProgramIndex = 52,
    LeaveIndex = 69,
    BlockLimitMs = 1200000,
    MaxTimedRuns = 8
};

// The stage (1-6) that command `index` of a whole run belongs to.
LONG StageOf(int index) {
    return index <= 1                  ? 1
           : index < ChecksumIndex     ? 2
           : index == ChecksumIndex    ? 3
           : index < FirstProgramIndex ? 4
           : index < LeaveIndex        ? 5
                                       : 6;
}

enum class Action { Check, LateInTime, TimeOut };

struct Fault {
    int index;
    Action action;
    std::string text; // the fault line's action
    DWORD lateMs;
};

Fault ChooseFault(CaseRandom& random) {
    static const char* const senses[] = {"5/24/00", "3/0C/00", "4/44/00",
                                         "5/2C/00", "2/04/01", "6/29/00"};
    Fault fault;
    fault.index = static_cast<int>(random.Below(RunCommands));
    const uint32_t roll = random.Below(100);
    fault.action = roll < 60 ? Action::Check : roll < 88 ? Action::LateInTime : Action::TimeOut;
    // A block command may take 20 minutes: no time-out is tried there.
    if (fault.action == Action::TimeOut && fault.index >= FirstEraseIndex &&
        fault.index < LeaveIndex) {
        fault.action = Action::LateInTime;
    }
    fault.lateMs = 0;
    if (fault.action == Action::Check) {
        fault.text = std::string("check ") + senses[random.Below(6)];
    } else {
        fault.lateMs = fault.action == Action::TimeOut ? random.Between(ShortLimitMs + 300, 5800)
                                                       : random.Between(20, 1500);
        fault.text = "late " + std::to_string(fault.lateMs);
    }
    return fault;
}

// The program file whose image the runs flash; one per process, as several
// shares of the campaign run at once.
std::string ProgramFile() {
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    return std::string(folder) + "flash-sequence-campaign-" +
           std::to_string(GetCurrentProcessId()) + ".exe";
}

void LoadImage() {
    const std::string path = ProgramFile();
    // Without the test mark, as a real image: the runs send exactly its commands.
    zalfw::TestImageOptions options;
    options.testMark = false;
    zalfw::WriteTestProgram(path, options);
    InitRevisionPattern();
    if (ReadImageFile(path.c_str()) != 1) {
        std::printf("the campaign's image %s does not load\n", path.c_str());
        ExitProcess(2);
    }
}

// A run as the dialog drives it: BeginFlashRun, then the run tick every 100 ms
// until it reports the end. False, reported, when it never does.
bool RunAsTheDialogDoes(Campaign& campaign, HWND window, const std::string& label) {
    ClearRecordedHost();
    BeginFlashRun(window);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < Scaled(60000)) {
        Sleep(100);
        if (RunTick(window)) {
            return true;
        }
    }
    campaign.Broken(label + ": the run tick never saw the end");
    return false;
}

// Checks what a run left: step, commands, last status, counter and version.
// `label` names the run in a report.
void CheckRunEnd(Campaign& campaign, long step, const std::vector<std::string>& commands,
                 const char* status, int count, const std::string& version,
                 const std::string& label) {
    campaign.Expect(step, FlashStep, label + ": FlashStep");
    campaign.Expect(commands, CdbTexts(Commands()), label + ": commands sent");
    const std::vector<std::string> texts = StatusTexts();
    campaign.Expect(status, texts.empty() ? "" : texts.back(), label + ": last status");
    campaign.Expect(count, CompletedRunCount, label + ": counter");
    campaign.Expect(version, CurrentVersion(), label + ": current version");
}

// Checks what a run that should succeed left, the bar and the drive's firmware too.
void CheckSuccess(Campaign& campaign, int countBefore, const std::string& label) {
    // The run, then the run tick's INQUIRY that reads the new version.
    std::vector<std::string> expected =
        WholeFlashRun(FirmwareImage.checksum[0], FirmwareImage.checksum[1]);
    expected.push_back(InquiryCdb);
    CheckRunEnd(campaign, 6, expected, MessageTable->success, countBefore + 1, "2.17", label);
    campaign.Expect(10000L, ProgressPosition(), label + ": bar");
    campaign.Expect("", FirmwareMismatch(Emulator().Firmware(Address(0, 0)), ProgramFile()),
                    label + ": the drive's firmware against the program file's image");
}

void OneRun(Campaign& campaign, HWND window) {
    CaseRandom& random = campaign.Random();
    const Fault fault = ChooseFault(random);
    const bool startsHalfFlashed = random.Chance(10);
    const std::string revision = "2.1" + std::to_string(random.Below(10));
    // The enumeration's INQUIRY is the device's first command.
    const unsigned faultCommand = 1 + static_cast<unsigned>(fault.index) + 1;
    std::string settings = "kind = tk4800j\nrevision = " + revision + "\n";
    if (startsHalfFlashed) {
        settings += "firmware = incomplete\n";
    }
    settings += "fault = @" + std::to_string(faultCommand) + " " + fault.text + "\n";
    if (!campaign.Expect("", StartWith("[emulator]\n" + Device(0, 0, settings)),
                         "scenario refused")) {
        return;
    }
    campaign.Count(fault.action == Action::Check        ? "check"
                   : fault.action == Action::LateInTime ? "late"
                                                        : "timeout");
    EnumerateDrives(&FlashDriveProbe);
    if (!campaign.Expect(1L, DriveCount, "drives found") ||
        !campaign.Expect(1L, Commands().size(), "enumeration commands")) {
        return;
    }
    SelectDrive(0);
    const std::string versionBefore = CurrentVersion();
    const int countBefore = CompletedRunCount;
    Emulator().ClearLog();

    const std::string label =
        "fault at command " + std::to_string(fault.index) + " (" + fault.text + ")";
    if (!RunAsTheDialogDoes(campaign, window, label)) {
        return;
    }
    if (fault.action == Action::TimeOut) {
        // Let the late completion arrive: nothing may follow it.
        AwaitLateCompletions(0, 0, Scaled(fault.lateMs));
        campaign.Expect(0L, OutstandingRequestCount(), label + ": the late completion arrives");
    }
    if (fault.action == Action::LateInTime) {
        CheckSuccess(campaign, countBefore, label);
        return;
    }
    const LONG stage = StageOf(fault.index);
    const std::vector<std::string> whole =
        WholeFlashRun(FirmwareImage.checksum[0], FirmwareImage.checksum[1]);
    std::vector<std::string> expected(whole.begin(), whole.begin() + fault.index + 1);
    if (stage <= 4) {
        expected.push_back(FlashLeaveCdb);
    }
    CheckRunEnd(campaign, -stage, expected, MessageTable->error, countBefore, versionBefore, label);

    // The next start: a fresh enumeration. The drive runs its loader when the run
    // left it in flash mode (a failure in stage 5 or 6 sends no leave) or once an
    // erase was carried out (a late erase is carried out; a refused one is not).
    const bool erased = fault.index > FirstEraseIndex ||
                        (fault.index == FirstEraseIndex && fault.action != Action::Check);
    const bool loader = startsHalfFlashed || erased || stage >= 5;
    // A leave carried out late installs the new firmware all the same.
    const bool installed = fault.index == LeaveIndex && fault.action == Action::TimeOut;
    ClearRecordedHost();
    EnumerateDrives(&FlashDriveProbe);
    if (!campaign.Expect(1L, DriveCount, label + ": drives found afterwards")) {
        return;
    }
    const std::string expectedRevision = installed ? "2.17" : loader ? "0.01" : revision;
    campaign.Expect(expectedRevision, DriveTable[0].revision,
                    label + ": revision found afterwards");
    if (!loader || installed) {
        return;
    }
    campaign.Count("recovered");
    SelectDrive(0);
    Emulator().ClearLog();
    const int countBeforeRecovery = CompletedRunCount;
    if (RunAsTheDialogDoes(campaign, window, label + ", second run")) {
        CheckSuccess(campaign, countBeforeRecovery, label + ", second run");
    }
}

void TimingRun(Campaign& campaign, HWND window) {
    static const TimedKind kinds[] = {
        {"CC/01", 1, 2, ShortLimitMs},  {"12", 2, 1, ShortLimitMs},
        {"CB/01", 1, 32, ShortLimitMs}, {"CC/04", 1, 1, ShortLimitMs},
        {"CB/04", 1, 17, BlockLimitMs}, {"CB/02", 1, 17, BlockLimitMs}};
    CaseRandom& random = campaign.Random();
    const bool every = random.Chance(25);
    // With every command timed, a drive that nearly always answers in time, or hardly ever.
    const uint32_t failing = !every ? 40 : random.Chance(50) ? 3 : 90;
    const std::string faults =
        TimedFaults(random, kinds, 6, every ? MaxTimedRuns : 1, every, failing);
    const std::string section = TimingEmulatorSection(campaign);
    const std::string label = !every         ? "one command timed"
                              : failing > 50 ? "every command timed, hardly answered"
                                             : "every command timed";
    const std::string address = Address(0, 0);
    campaign.Count(every ? "every" : "one");
    if (!campaign.Expect(
            "", StartWith("[emulator]\n" + section + Device(0, 0, "kind = tk4800j\n" + faults)),
            "scenario refused")) {
        return;
    }
    EnumerateDrives(&FlashDriveProbe);
    if (!campaign.Expect(1L, DriveCount, "drives found")) {
        return;
    }
    SelectDrive(0);
    LONG last = 0; // FlashStep of the last run that started
    for (int run = 1; run <= MaxTimedRuns && last != 6; ++run) {
        // The user presses Flash again at once, or up to a second after a failure.
        Sleep(run == 1 ? 0 : random.Below(1000));
        if (!RunAsTheDialogDoes(campaign, window, label + ", run " + std::to_string(run))) {
            return;
        }
        last = FlashStep >= -6 ? FlashStep : last;
    }
    const bool heldUp = LogHasHang() && !OnAspiPath();
    std::vector<zalemu::CommandRecord> logged;
    if (last == 6) {
        campaign.Expect("", FirmwareMismatch(Emulator().Firmware(address), ProgramFile()),
                        label + ": the drive's firmware against the program file's image");
    } else if (!every && !heldUp) {
        campaign.Broken(label + ": no run succeeded; the last failed in stage " +
                        std::to_string(-last));
    }
    if (last < 0 && last >= -4) {
        // On the NT path what a hung command held up is carried out once the drive is
        // switched off and on.
        if (heldUp) {
            ResetDrive(campaign, section, 0, 0, "kind = tk4800j\n", &logged);
        } else if (!LogHasHang()) {
            AwaitLateAnswers(0, 0);
        }
        TakeLog(&logged);
        std::string leave;
        for (const zalemu::CommandRecord& record : logged) {
            leave = CdbText(record) == FlashEnterCdb && EndedGood(record)
                        ? "no leave after its entry"
                    : CdbText(record) == FlashLeaveCdb ? "its leave " + record.outcome
                                                       : leave;
        }
        if (Emulator().FlashMode(address) != 0 && leave != "its leave hang") {
            campaign.Broken(label + ": the last run failed in stage " + std::to_string(-last) +
                            ", and once the late completions have come the drive is in flash "
                            "mode (" +
                            leave + ")");
        }
    }
    TakeLog(&logged);
    CountTimings(campaign, logged);
}

} // namespace

int main(int argc, char** argv) {
    bool timing = false;
    // The full campaign's 2,000 runs: the first 1,334 over ASPI, the rest over the
    // NT path; with --timing 120 runs, the first 80 over ASPI.
    Campaign campaign =
        PathCampaign(argc, argv, "flash_sequence_campaign", {"flash-sequence", 1334, 666},
                     {"flash-timing", 80, 40}, &timing);
    MessageTable = MessageTableFor(0);
    LoadImage();
    // The run tick's timer and the dialog's controls need a window; this one has
    // no controls, so the texts go to the recorded status box alone.
    HWND window = CreateWindowA("STATIC", "flash-sequence", 0, 0, 0, 10, 10, NULL, NULL,
                                GetModuleHandleA(NULL), NULL);
    const int result =
        campaign.RunAll([&](Campaign& c) { timing ? TimingRun(c, window) : OneRun(c, window); });
    DeleteFileA(ProgramFile().c_str());
    return result;
}
