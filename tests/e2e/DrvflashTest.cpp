// The built, packed drvflash.exe under Wine, driven from outside as a user would, against the drive
// emulator: the start-up, whole runs, the revert question, failed runs and the way back for a
// half-flashed drive, the dialog under abuse while a run is asked for and lasts, start-up failures,
// and the Japanese dialog. The packed test image has update version 2.17 and the test mark: the
// caption says so, and the program flashes only drives that show the emulator's signature.
#include "CommandText.h"
#include "DialogTemplate.h"
#include "DrvflashSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

const char* const Title = "ZAL Drive Firmware Flash Utility";
const char* const TestImageTitle = "TEST IMAGE - ZAL Drive Firmware Flash Utility";
const char* const ReadyPrompt = "Do you want to change the firmware?";
const char* const SuccessText = "Flashing is Completed. Please turn off your PC.";
const char* const ErrorText = "Flashing Error";
const char* const NoTarget = "Target ZAL TK-4800J is not found correctly.";
const char* const RevertQuestion =
    "This drive's firmware will revert to previous version. Do you want to GO?";
const std::string DriveText = "[HA:0/ID:0]ZAL     TK-4800J        ";

std::string Drive(const std::string& address, const std::string& revision,
                  const std::string& extra = std::string()) {
    return Device(address, "kind = tk4800j\nrevision = " + revision + "\n" + extra);
}

// The controls of a dialog that is Ready: after a run Power Off is offered.
void ExpectReady(DrvflashSession& run, bool afterRun) {
    EXPECT_TRUE(run.Enabled(IDC_DRIVE_LIST));
    EXPECT_TRUE(run.Visible(IDC_FLASH));
    EXPECT_TRUE(run.Enabled(IDC_FLASH));
    EXPECT_TRUE(run.Enabled(IDCANCEL));
    EXPECT_EQ(afterRun, run.Visible(IDC_POWER_OFF));
    EXPECT_EQ(afterRun, run.Enabled(IDC_POWER_OFF));
}

void FlashAndWait(DrvflashSession& run, RunSeen* seen) {
    ASSERT_TRUE(run.Click(IDC_FLASH));
    ASSERT_TRUE(run.WaitForRunEnd(seen)) << "the run did not end";
}

// The dialog after a run whose bar went through the positions `bar`: the result, the bar risen to
// the end or stopped where it stood, the new version or the old, the counter, and the controls back
// with Power Off. After a success the drive at `address` holds the program's image byte for byte.
void ExpectRunEnd(DrvflashSession& run, const std::vector<int>& bar, bool success,
                  const std::string& counter, const std::string& address = "0:0") {
    EXPECT_EQ(success ? SuccessText : ErrorText, run.Text(IDC_STATUS));
    for (size_t i = 1; i < bar.size(); ++i) {
        EXPECT_LT(bar[i - 1], bar[i]) << "the bar went back at sample " << i;
    }
    if (success) {
        EXPECT_EQ(10000, run.Progress());
        EXPECT_EQ("", run.FirmwareMismatch(address)) << "the firmware of " << address;
    } else {
        EXPECT_LT(run.Progress(), 10000);
    }
    EXPECT_EQ(success ? "2.17" : "2.16", run.Text(IDC_CURRENT_VERSION));
    EXPECT_EQ(counter, run.Text(IDC_COUNTER));
    ExpectReady(run, true);
}

void Leave(DrvflashSession& run) {
    ASSERT_TRUE(run.Click(IDCANCEL));
    DWORD exitCode = 99;
    EXPECT_TRUE(run.WaitForExit(20000, &exitCode));
    EXPECT_EQ(0u, exitCode);
}

TEST(DrvflashTemplates, BothTemplatesHoldTheThirteenControls) {
    const DWORD tab = WS_TABSTOP, visible = WS_VISIBLE;
    const DWORD buttonMask = 0x0F | tab | visible, labelMask = SS_TYPEMASK | tab | visible;
    const Styled list = {CBS_DROPDOWNLIST | WS_VSCROLL | tab | visible,
                         0x03 | CBS_SORT | WS_VSCROLL | tab | visible};
    const Styled button = {BS_PUSHBUTTON | tab | visible, buttonMask};
    const Styled hiddenButton = {BS_PUSHBUTTON | tab, buttonMask};
    const Styled label = {SS_LEFT | visible, labelMask};
    const Styled centredLabel = {SS_CENTER | visible, labelMask};
    const Styled status = {ES_MULTILINE | ES_READONLY | WS_BORDER | visible,
                           ES_MULTILINE | ES_READONLY | WS_BORDER | tab | visible};
    const Styled bar = {WS_BORDER | visible, WS_BORDER | tab | visible};
    // clang-format off
    const std::vector<ControlRow> controls = {
        // id, class, style, English and Japanese caption, English and Japanese x, y, cx, cy
        {IDC_DRIVE_LIST, "COMBOBOX", list, "", "", {56, 12, 179, 36}, {72, 12, 160, 36}},
        {IDC_FLASH, "BUTTON", hiddenButton, "Flash", "実行", {135, 96, 37, 19}, {145, 106, 37, 19}},
        {IDC_DRIVE_SELECT_LABEL, "STATIC", label, "Drive Select:", "ドライブ選択:", {11, 13, 38, 8}, {11, 13, 38, 8}},
        {IDC_CURRENT_VERSION_LABEL, "STATIC", label, "Current Version:", "現在のバージョン:", {11, 31, 62, 8}, {11, 31, 53, 8}},
        {IDC_STATUS, "EDIT", status, "", "", {6, 80, 109, 40}, {6, 86, 109, 40}},
        {IDC_STATUS_LABEL, "STATIC", label, "Status:", "ステータス:", {6, 64, 41, 11}, {6, 70, 38, 11}},
        {IDC_CURRENT_VERSION, "STATIC", label, "N/A", "N/A", {77, 31, 35, 12}, {74, 31, 30, 12}},
        {IDC_UPDATE_VERSION_LABEL, "STATIC", label, "Update Version:", "更新後バージョン:", {11, 47, 62, 8}, {11, 47, 53, 8}},
        {IDC_UPDATE_VERSION, "STATIC", label, "N/A", "N/A", {77, 47, 35, 12}, {74, 47, 30, 12}},
        {IDCANCEL, "BUTTON", button, "Cancel", "ｷｬﾝｾﾙ", {191, 96, 37, 19}, {197, 105, 37, 19}},
        {IDC_PROGRESS, "MSCTLS_PROGRESS32", bar, "", "", {4, 128, 231, 14}, {7, 139, 228, 15}},
        {IDC_COUNTER, "STATIC", centredLabel, "0 of 0", "0 / 0", {62, 65, 44, 8}, {64, 69, 30, 12}},
        {IDC_POWER_OFF, "BUTTON", hiddenButton, "Power Off", "電源オフ", {191, 68, 37, 19}, {197, 65, 37, 19}},
    };
    const TemplateCase templates[] = {
        {"MAINDIALOGE", false, 243, 152, "Firmware Utility", nullptr},
        {"MAINDIALOG", true, 243, 163, "Firmware Utility", "ＭＳ Ｐゴシック"},
    };
    // clang-format on
    HMODULE program = LoadLibraryExA("drvflash.exe", NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, program) << "drvflash.exe beside the test";
    for (const TemplateCase& c : templates) {
        ExpectTemplate(program, c, controls, 0);
    }
    FreeLibrary(program);
}

// Two drives and another vendor's: only the two are listed, in enumeration order; selecting the
// second changes the current version and nothing else.
TEST(DrvflashDialog, StartUpShowsVersionsCounterAndDrives) {
    DrvflashSession run("startup");
    run.WriteScenario(Drive("0:0", "2.16") + Device("0:2", "kind = optical") +
                      Drive("0:5", "2.05"));
    ASSERT_TRUE(run.Start());
    EXPECT_EQ(TestImageTitle, WindowText(run.Dialog()));
    EXPECT_EQ("2.17", run.Text(IDC_UPDATE_VERSION));
    EXPECT_EQ("2.16", run.Text(IDC_CURRENT_VERSION));
    EXPECT_EQ("0 of 2", run.Text(IDC_COUNTER));
    EXPECT_EQ(ReadyPrompt, run.Text(IDC_STATUS));
    ExpectReady(run, false);
    const std::vector<std::string> listed = {DriveText, "[HA:0/ID:5]ZAL     TK-4800J        "};
    EXPECT_EQ(listed, run.DriveListItems());
    EXPECT_EQ(0, run.DriveListSelection());
    const size_t sent = run.Commands().size();
    run.SelectDrive(1);
    EXPECT_TRUE(run.WaitForText(IDC_CURRENT_VERSION, "2.05")) << run.Text(IDC_CURRENT_VERSION);
    EXPECT_EQ("2.17", run.Text(IDC_UPDATE_VERSION));
    EXPECT_EQ("0 of 2", run.Text(IDC_COUNTER));
    EXPECT_EQ(ReadyPrompt, run.Text(IDC_STATUS));
    EXPECT_EQ(sent, run.Commands().size()) << "selecting a drive sends nothing";
    Leave(run);
}

std::string Section(const std::string& state, const std::string& address) {
    const size_t start = state.find("[device " + address + "]");
    return start == std::string::npos ? "" : state.substr(start, state.find("\n[", start) - start);
}

// Chooses a row of the drive list as a user can: the keyboard on the closed list, a click in the
// opened one, or the opened list left by Escape after the mouse passed over the other entry (the
// entry then on show is the list's own business: Windows goes back to the first, Wine keeps the
// last).
enum class Choice { Keyboard, Mouse, DropDownCancelled };

void ChooseDrive(DrvflashSession& run, Choice how, int row) {
    HWND list = GetDlgItem(run.Dialog(), IDC_DRIVE_LIST);
    if (how == Choice::Keyboard) {
        run.SelectDrive(row);
        return;
    }
    SendMessageA(list, CB_SHOWDROPDOWN, TRUE, 0);
    HWND popup = NULL;
    for (HWND window : TopLevelWindows(run.Program().ProcessId())) {
        popup = WindowClass(window) == "ComboLBox" ? window : popup;
    }
    ASSERT_NE(nullptr, popup) << "the drop-down list did not open";
    const int over = how == Choice::Mouse ? row : 1 - row;
    const LPARAM at = MAKELPARAM(4, SendMessageA(popup, LB_GETITEMHEIGHT, 0, 0) * over + 2);
    PostMessageA(popup, WM_MOUSEMOVE, 0, at);
    if (how == Choice::Mouse) {
        PostMessageA(popup, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageA(popup, WM_LBUTTONUP, 0, at);
    } else {
        PostMessageA(list, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageA(list, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0000000u));
    }
    EXPECT_TRUE(WaitUntil([&] { return SendMessageA(list, CB_GETDROPPEDSTATE, 0, 0) == 0; }, 5000));
}

// Runs on two drives and another vendor's device, on different host adapters and targets: the
// second drive, then the first, each chosen another way, and once more after the drop-down was
// closed without a choice. Each run goes to the drive on show; the other devices receive no flash
// command and keep their firmware and state.
TEST(DrvflashDialog, SuccessfulRunsOnTheChosenDrive) {
    DrvflashSession run("chosen-drive");
    // Entering flash mode is slowed so that the start text stays long enough to be seen.
    const std::string slowEntry = "fault = CC/01#1 late 1500\n";
    run.WriteScenario(Drive("0:3", "2.05", slowEntry) + Device("1:0", "kind = optical") +
                      Drive("2:5", "2.16", slowEntry));
    ASSERT_TRUE(run.StartReady());
    const char* const addresses[] = {"0:3", "2:5"}; // by row
    // How the drive is chosen, and its row (-1: either).
    const std::pair<Choice, int> runs[] = {
        {Choice::Keyboard, 1}, {Choice::Mouse, 0}, {Choice::DropDownCancelled, -1}};
    int pass = 0;
    for (const auto& [how, row] : runs) {
        SCOPED_TRACE("run " + std::to_string(++pass));
        ChooseDrive(run, how, row < 0 ? 0 : row);
        const int shown = run.DriveListSelection();
        ASSERT_TRUE(shown == row || (row < 0 && shown >= 0)) << "row on show " << shown;
        const std::string address = addresses[shown];
        const size_t before = run.Commands().size();
        const std::string stateBefore = run.StateFile();
        RunSeen seen;
        FlashAndWait(run, &seen);
        for (const zalemu::CommandRecord& record : run.CommandsAfter(before)) {
            EXPECT_EQ(address, record.address) << CdbText(record, 2);
        }
        for (const char* other : {"0:3", "1:0", "2:5"}) {
            if (other != address) {
                EXPECT_EQ(Section(stateBefore, other), Section(run.StateFile(), other)) << other;
            }
        }
        if (pass == 1) {
            // The ready prompt may be gone before the run is first seen.
            if (!seen.texts.empty() && seen.texts.front() == ReadyPrompt) {
                seen.texts.erase(seen.texts.begin());
            }
            const std::vector<std::string> expected = {"Start Flashing", "Flashing...",
                                                       SuccessText};
            EXPECT_EQ(expected, seen.texts);
        }
        ExpectRunEnd(run, seen.bar, true, std::to_string(pass) + " of 2", address);
    }
    EXPECT_NE(std::string::npos, Section(run.StateFile(), "0:3").find("revision = 2.17"));
    EXPECT_NE(std::string::npos, Section(run.StateFile(), "2:5").find("revision = 2.17"));
    // Power Off answered Cancel changes nothing.
    ASSERT_TRUE(run.Click(IDC_POWER_OFF));
    BoxSeen box = run.WaitForBox();
    ASSERT_NE(nullptr, box.window);
    EXPECT_EQ("PC will have powerdown. Are you sure?", box.text);
    ASSERT_TRUE(AnswerBox(box, IDCANCEL));
    // The controls come back once the answer has reached the dialog.
    EXPECT_TRUE(run.WaitForEnabled(IDC_POWER_OFF, true));
    ExpectReady(run, true);
    EXPECT_EQ(SuccessText, run.Text(IDC_STATUS));
    Leave(run);
}

// The revert question comes for every image older than the drive's firmware: Cancel sends nothing
// and leaves the dialog as it was, OK runs.
TEST(DrvflashDialog, RevertQuestionForEachOlderImage) {
    const std::pair<const char*, bool> cases[] = {{"2.18", true}, {"2.20", true}, {"2.05", false}};
    for (const auto& [current, asked] : cases) {
        SCOPED_TRACE(current);
        DrvflashSession run(std::string("revert-") + current);
        run.WriteScenario(Drive("0:0", current));
        ASSERT_TRUE(run.StartReady());
        const size_t sent = run.Commands().size();
        if (asked) {
            ASSERT_TRUE(run.Click(IDC_FLASH));
            BoxSeen box = run.WaitForBox();
            ASSERT_NE(nullptr, box.window) << "no revert question";
            EXPECT_EQ(Title, box.caption);
            EXPECT_EQ(RevertQuestion, box.text);
            ASSERT_TRUE(AnswerBox(box, IDCANCEL));
            EXPECT_TRUE(run.WaitForEnabled(IDCANCEL, true));
            Sleep(1000);
            EXPECT_EQ(sent, run.Commands().size()) << "Cancel sent something";
            EXPECT_EQ(ReadyPrompt, run.Text(IDC_STATUS));
            EXPECT_EQ(0, run.Progress());
            ExpectReady(run, false);
        }
        ASSERT_TRUE(run.Click(IDC_FLASH));
        if (asked) {
            BoxSeen box = run.WaitForBox();
            ASSERT_NE(nullptr, box.window);
            ASSERT_TRUE(AnswerBox(box));
        } else {
            // The run goes ahead: flash mode is entered with no box on show.
            EXPECT_TRUE(WaitUntil(
                [&] {
                    const auto log = run.CommandsAfter(sent);
                    return std::any_of(log.begin(), log.end(),
                                       [](const auto& r) { return r.Opcode() == 0xCC; });
                },
                10000));
            EXPECT_EQ(nullptr, run.WaitForBox(0).window) << "asked for a newer image";
        }
        RunSeen seen;
        ASSERT_TRUE(run.WaitForRunEnd(&seen));
        ExpectRunEnd(run, seen.bar, true, "1 of 1");
        Leave(run);
    }
}

// Failed runs: the error text, the bar where it stood, the controls back with Power Off, the
// counter and the version as they were, and exactly the commands that follow the failing one. A
// drive broken off while programming is then on its loader: listed so, shown as "N/A ", flashed
// back.
TEST(DrvflashDialog, FailedRunsAndTheWayBack) {
    // Name, settings, the failing command's first CDB bytes, whether flash mode is left.
    const std::tuple<const char*, const char*, std::string, bool> cases[] = {
        {"stage1-refused", "fault = CC/01#1 check 5/24/00\n", "CC-01-01", true},
        {"stage1-loader", "loader-revision = 0-01\n", "12-00-00", true},
        {"stage2", "fault = CB/01#3 check 3/0C/00\n", "CB-01", true},
        {"stage5", "fault = CB/02#1 check 3/0C/00\n", "CB-02", false},
    };
    for (const auto& [name, settings, failing, leavesFlashMode] : cases) {
        SCOPED_TRACE(name);
        DrvflashSession run(name);
        run.WriteScenario(Drive("0:0", "2.16", settings));
        ASSERT_TRUE(run.StartReady());
        RunSeen seen;
        FlashAndWait(run, &seen);
        ExpectRunEnd(run, seen.bar, false, "0 of 1");
        const std::vector<zalemu::CommandRecord> log = run.Commands();
        ASSERT_GE(log.size(), 2u);
        const zalemu::CommandRecord& last = log[log.size() - (leavesFlashMode ? 2 : 1)];
        EXPECT_EQ(failing, CdbText(last, failing.size() / 3 + 1));
        if (leavesFlashMode) {
            EXPECT_EQ("CC-01-00", CdbText(log.back(), 3)) << "flash mode is left after the failure";
        }
        Leave(run);
        if (std::string(name) != "stage5") {
            continue;
        }
        DrvflashSession again("stage5-again");
        again.WriteScenario(Drive("0:0", "2.16"));
        // The drive's memory (firmware incomplete) carries over into the new run.
        CopyFileA((run.Folder() + "\\drive.state").c_str(),
                  (again.Folder() + "\\drive.state").c_str(), FALSE);
        ASSERT_TRUE(again.Start());
        EXPECT_EQ(std::vector<std::string>{"[HA:0/ID:0]ZAL     TK-4800J LOADER "},
                  again.DriveListItems());
        EXPECT_EQ("N/A ", again.Text(IDC_CURRENT_VERSION));
        RunSeen back;
        FlashAndWait(again, &back);
        ExpectRunEnd(again, back.bar, true, "1 of 1");
        Leave(again);
    }
}

// Everything that reaches the dialog whatever its controls show: the close box, Escape, Alt+F4,
// Enter (the command of Power Off's identifier), each button's command twice (as queued clicks and
// the keyboard deliver them), the drive list as far as it can be used, the Windows session's end.
void Abuse(DrvflashSession& run) {
    run.Close();
    run.PressEscape();
    run.PressAltF4();
    run.PressEnter();
    for (int id : {IDC_FLASH, IDC_POWER_OFF, IDCANCEL, IDC_FLASH, IDC_POWER_OFF, IDCANCEL}) {
        run.PostCommand(id);
    }
    run.TryNextDrive();
    run.PostSessionMessage(WM_ENDSESSION, TRUE);
}

// The same abuse at each moment of one run, asked for with the revert question: nothing ends the
// dialog or the run, nothing else is asked, the drive asked about is the one flashed, exactly once,
// one command at a time, and the run ends with its own result on show.
TEST(DrvflashDialog, AbuseNeverEndsNorDoublesARun) {
    DrvflashSession run("abuse");
    // The first stage and the block passes are slowed so that each moment lasts.
    run.WriteScenario(Drive("0:0", "2.18", "fault = CC/01#1 late 3000\nblock-delay = 400\n") +
                      Drive("0:1", "2.16"));
    ASSERT_TRUE(run.StartReady());
    const size_t before = run.Commands().size();
    ASSERT_TRUE(run.Click(IDC_FLASH));
    BoxSeen question = run.WaitForBox();
    ASSERT_NE(nullptr, question.window);
    // The moment, and the status shown while it lasts (none: the revert question is open).
    const std::pair<const char*, const char*> moments[] = {
        {"revert question open", nullptr},
        {"entering flash mode", "Start Flashing"},
        {"block passes", "Flashing..."},
    };
    for (const auto& [moment, status] : moments) {
        SCOPED_TRACE(moment);
        if (status != nullptr) {
            ASSERT_TRUE(run.WaitForText(IDC_STATUS, status, 20000)) << run.Text(IDC_STATUS);
        }
        for (int id : {IDC_DRIVE_LIST, IDC_FLASH, IDCANCEL, IDC_POWER_OFF}) {
            EXPECT_FALSE(run.Enabled(id)) << "control " << id << " usable";
        }
        Abuse(run);
        if (status != nullptr) {
            EXPECT_FALSE(run.QueryEndSession()) << "agreed to end the session during a run";
        }
        EXPECT_TRUE(run.Flush()) << "the dialog did not take the abuse";
        EXPECT_FALSE(run.Program().HasExited()) << "the program ended";
        EXPECT_EQ(0, run.DriveListSelection());
        EXPECT_EQ(status == nullptr ? question.window : nullptr, run.WaitForBox(0).window)
            << "another box than the revert question";
        if (status == nullptr) {
            ASSERT_TRUE(AnswerBox(question));
        }
    }
    RunSeen seen;
    ASSERT_TRUE(run.WaitForRunEnd(&seen));
    ExpectRunEnd(run, seen.bar, true, "1 of 2");
    EXPECT_EQ(0, run.DriveListSelection());
    EXPECT_TRUE(run.Flush());
    EXPECT_EQ(nullptr, run.WaitForBox(0).window)
        << "a command queued during the run asked afterwards";

    // One run's commands, all to the drive asked about: the INQUIRY that finds the emulator's
    // signature (the image is a test image), flash mode, its INQUIRY, the download, the checksum,
    // 17 erase and 17 program blocks, flash mode left, the new version's INQUIRY; runs counted.
    std::vector<std::string> kinds;
    std::vector<size_t> counts;
    for (const zalemu::CommandRecord& record : run.CommandsAfter(before)) {
        EXPECT_EQ("0:0", record.address) << CdbText(record, 2);
        // Flash mode's CDB with its mode byte, every other with its sub-command.
        const bool mode = record.Opcode() == 0xCC && record.cdb.size() > 1 && record.cdb[1] == 1;
        const std::string kind = CdbText(record, mode ? 3 : 2);
        if (kinds.empty() || kinds.back() != kind) {
            kinds.push_back(kind);
            counts.push_back(0);
        }
        ++counts.back();
    }
    const std::vector<std::string> sequence = {"12-00", "CC-01-01", "12-00",    "CB-01", "CC-04",
                                               "CB-04", "CB-02",    "CC-01-00", "12-00"};
    EXPECT_EQ(sequence, kinds);
    if (kinds == sequence) {
        EXPECT_EQ(17u, counts[5]);
        EXPECT_EQ(17u, counts[6]);
    }
    EXPECT_EQ(std::vector<std::string>(), run.OverlapNotes());
    Leave(run);
}

// Start-up failures: a box, then the end of the program; what was sent.
TEST(DrvflashDialog, StartUpFailures) {
    const StartFailure cases[] = {
        // The NT family with no drive behind any letter of the Wine prefix.
        {"no-drive-nt", ProgramPath::Nt, "kind = optical", nullptr,
         "administrative privileges are needed", IDC_STATUS, "SPTI ERROR", false},
        {"no-target", ProgramPath::AspiEmulator, "kind = optical", nullptr, NoTarget,
         IDC_UPDATE_VERSION, "2.17", false},
        {"no-image", ProgramPath::WithoutImage, "kind = tk4800j\nrevision = 2.16", nullptr,
         "Incorrect file", IDC_STATUS, "", true},
    };
    for (const StartFailure& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectStartFailure("drvflash", c);
    }
}

// The Japanese system: the Japanese template and texts, as code page 932 bytes.
TEST(DrvflashJapanese, TemplateAndTextsAreJapanese) {
    ASSERT_EQ(932u, GetACP()) << "run this case under a Japanese locale";
    DrvflashSession run("japanese");
    run.WriteScenario(Drive("0:0", "2.16"));
    ASSERT_TRUE(run.Start());
    EXPECT_EQ("\x83\x65\x83\x58\x83\x67\x97\x70\x83\x43\x83\x81\x81\x5B\x83\x57 - " +
                  std::string(Title),
              WindowText(run.Dialog()))
        << "the caption begins \"tesutoyou imeeji\"";
    EXPECT_EQ("\x8E\xC0\x8D\x73", run.Text(IDC_FLASH)) << "Flash reads \"jikkou\"";
    EXPECT_EQ("0 / 1", run.Text(IDC_COUNTER));
    EXPECT_EQ("\x83\x6F\x81\x5B\x83\x57\x83\x87\x83\x93\x82\xF0\x8A\x6D\x94\x46\x82\xB5\x82\xC4"
              "\x89\xBA\x82\xB3\x82\xA2\x81\x42",
              run.Text(IDC_STATUS).substr(0, 28))
        << "the ready prompt begins \"baajon wo kakunin shite kudasai.\"";
    Leave(run);
}

} // namespace
