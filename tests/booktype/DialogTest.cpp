// discmode's dialog procedure, run for real against the drive emulator on the
// Windows 9x path: the dialog behaviour tables of DiscmodeTables.h, every row,
// with what only this process can see (tab captions, what a poll changes), drive
// and tab selection, the ways out, and the start without a drive.
#include "BookTypeTestSupport.h"
#include "DialogHarness.h"
#include "DiscmodeTables.h"
#include "MessageTable.h"
#include "WindowDriver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The controls that the dialog's thread enabled, disabled or gave a text while
// a hook on that thread watched: each change once, by identifier.
LONG changeCount = 0;
int changedIds[64];

LRESULT CALLBACK NoteControlChange(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && (sent->message == WM_ENABLE || sent->message == WM_SETTEXT)) {
        const LONG at = InterlockedIncrement(&changeCount) - 1;
        if (at < 64) {
            changedIds[at] = GetDlgCtrlID(sent->hwnd);
        }
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

// The controls changed while `polls` polls ran, counted from the first poll
// that began after the hook was set until the next poll began.
std::vector<int> ControlsChangedByPolls(const DialogRun& run, size_t polls) {
    changeCount = 0;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, NoteControlChange, NULL,
                                   GetWindowThreadProcessId(run.Dialog(), NULL));
    EXPECT_NE(nullptr, hook) << "no hook on the dialog's thread";
    Emulator().ClearLog();
    EXPECT_TRUE(Emulator().AwaitCommands(polls + 1, Scaled(5000)))
        << "expected " << polls + 1 << " polls, saw " << Commands().size();
    UnhookWindowsHookEx(hook);
    const LONG count = changeCount < 64 ? changeCount : 64;
    return std::vector<int>(changedIds, changedIds + count);
}

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Emulator().Valid()); }
};

TEST_F(DialogTest, ShowsTheDriveByItsCommandVersion) {
    const char* const captions[] = {"DVD+R DL Medium setting", "DVD+R Medium setting"};
    for (const PageRow& row : PageRows) {
        DialogRun run;
        ASSERT_NO_FATAL_FAILURE(ExpectPage(run, row));
        for (int i = 0; i < run.TabCount(); ++i) {
            EXPECT_EQ(captions[i], run.TabCaption(i));
        }
        // A poll that finds nothing new changes no control, not even back and forth.
        EXPECT_EQ(std::vector<int>{}, ControlsChangedByPolls(run, 5));
        CancelAndExpectEnd(run);
    }
}

TEST_F(DialogTest, ChangeCountTextsAndLocks) {
    ExpectRows<DialogRun>(CountRows, ExpectCount);
}

TEST_F(DialogTest, DiscInsertedAndRemovedWhileRunning) {
    ExpectRows<DialogRun>(DiscRows, ExpectDiscInsertedAndRemoved);
}

TEST_F(DialogTest, CommandsBoxAndDriveMemoryOfEachChange) {
    ExpectRows<DialogRun>(ChangeRows, ExpectChange);
}

// Switching drives and tabs: tab 1 exists only for command version 3, a new
// drive brings tab 0 back, a drive with changes left unlocks what a drive
// without changes locked, and a drive with nothing to change takes OK away.
// Another vendor's drive is not listed.
TEST_F(DialogTest, SwitchingDrivesAndTabs) {
    ASSERT_EQ("", Emulator().Load(
                      Device(0, 0, "changes-left = 0\ndl-default = E0\nr-default = 00") +
                      Device(0, 1, "command-version = 1\nchanges-left = 10\ndl-default = 00") +
                      Device(0, 2, "changes-left = 20") + Device(0, 3, "kind = optical") +
                      Device(0, 4, "command-version = 1\nchanges-left = 0")));
    DialogRun run;
    ASSERT_TRUE(run.Start()) << "no dialog";
    ASSERT_EQ(4u, run.DriveListItems().size());
    EXPECT_FALSE(run.Enabled(IDC_DL_DEFAULT_COMPAT));
    EXPECT_FALSE(run.Enabled(IDC_PLUSR_DEFAULT_NORMAL));

    run.SelectTab(1);
    run.SelectDrive(2);
    EXPECT_EQ(2, run.DriveListSelection());
    EXPECT_EQ(2, run.TabCount());
    EXPECT_EQ(0, run.TabSelection()) << "a new drive shows tab 0";
    EXPECT_TRUE(run.Visible(IDC_DL_DEFAULT_NORMAL));
    EXPECT_FALSE(run.Visible(IDC_PLUSR_DEFAULT_NORMAL));
    for (int id : {IDC_DL_DEFAULT_NORMAL, IDC_DL_DEFAULT_COMPAT, IDC_PLUSR_DEFAULT_NORMAL,
                   IDC_PLUSR_DEFAULT_COMPAT}) {
        EXPECT_TRUE(run.Enabled(id)) << "radio " << id << " unlocked for a drive with changes";
    }
    EXPECT_TRUE(run.WaitForText(IDC_STATUS, "Possible set count is 20 left."));
    EXPECT_TRUE(run.WaitForEnabled(IDOK, true));

    // Tab 1 shown, then the version-1 drive: one tab, tab 0 shown, its values.
    run.SelectTab(1);
    run.SelectDrive(1);
    EXPECT_EQ(1, run.TabCount());
    EXPECT_EQ(0, run.TabSelection());
    EXPECT_TRUE(run.Visible(IDC_DL_DEFAULT_NORMAL));
    EXPECT_EQ("1", run.Text(IDC_COMMAND_VERSION));
    EXPECT_FALSE(run.Enabled(IDC_DL_TEMPORARY_NORMAL));
    EXPECT_EQ(
        (std::vector<int>{IDC_DL_DEFAULT_COMPAT, IDC_DL_APPLY_DEFAULT}),
        run.CheckedOf({IDC_DL_DEFAULT_NORMAL, IDC_DL_DEFAULT_COMPAT, IDC_DL_TEMPORARY_NORMAL,
                       IDC_DL_TEMPORARY_COMPAT, IDC_DL_APPLY_DEFAULT, IDC_DL_APPLY_TEMPORARY}));
    EXPECT_TRUE(run.WaitForText(IDC_STATUS, "Possible set count is 10 left."));

    // A version-1 drive with nothing to change is not polled: OK goes off with
    // the drive that had it on.
    run.SelectDrive(3);
    EXPECT_TRUE(run.WaitForText(IDC_STATUS, "No more change is allowed due to the count limit."))
        << run.Text(IDC_STATUS);
    EXPECT_TRUE(run.WaitForEnabled(IDOK, false)) << "OK offered for a drive that cannot change";
    EXPECT_FALSE(run.Enabled(IDC_DL_DEFAULT_COMPAT));

    run.SelectDrive(0);
    EXPECT_EQ(2, run.TabCount());
    EXPECT_EQ("DVD+R Medium setting", run.TabCaption(1));
    EXPECT_FALSE(run.Enabled(IDC_DL_DEFAULT_COMPAT)) << "locked again";
    EXPECT_FALSE(run.Enabled(IDC_PLUSR_DEFAULT_NORMAL)) << "locked again";
    EXPECT_EQ("3", run.Text(IDC_COMMAND_VERSION));
    CancelAndExpectEnd(run);
}

TEST_F(DialogTest, CancelEscapeAndCloseBoxEndTheDialog) {
    const struct Case {
        const char* name;
        void (*act)(DialogRun*);
    } cases[] = {
        {"Cancel", [](DialogRun* run) { run->Click(IDCANCEL); }},
        {"Escape", [](DialogRun* run) { run->PressEscape(); }},
        {"close box", [](DialogRun* run) { run->Close(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DialogRun run;
        ASSERT_TRUE(run.Open(c.name, "")) << "no dialog";
        const size_t before = run.Commands().size();
        c.act(&run);
        run.ExpectEnd();
        EXPECT_EQ(std::vector<std::string>{}, SentAfter(run, before));
    }
}

// No drive of the tool's: the not-found box over the dialog, which still says
// that ASPI is ready, and the end.
TEST_F(DialogTest, NoDriveEndsWithTheNotFoundBox) {
    ASSERT_EQ("", Emulator().Load(Device(0, 0, "kind = optical") + Device(0, 1, "kind = disk")));
    DialogRun run;
    ASSERT_TRUE(run.Start("MAINDIALOGE", false));
    const BoxSeen box = run.WaitForBox();
    EXPECT_EQ("Target dirve is not found correctly.", box.text);
    EXPECT_EQ(DiscmodeTitle, box.caption);
    EXPECT_FALSE(box.owned);
    EXPECT_TRUE(box.topmost);
    HWND dialog = NULL;
    for (HWND window : TopLevelWindows(GetCurrentProcessId())) {
        dialog = GetDlgItem(window, IDC_DRIVE_LIST) != NULL ? window : dialog;
    }
    EXPECT_EQ("ASPI32 Ready", ControlText(dialog, IDC_STATUS));
    ASSERT_TRUE(AnswerBox(box));
    INT_PTR result = 0;
    ASSERT_TRUE(run.WaitForEnd(5000, &result));
    EXPECT_EQ(1, result);
}

// Registered under a Japanese locale only: the Japanese template and texts, with
// the English window title and box captions.
TEST(DialogJapaneseTest, JapaneseTemplateAndTexts) {
    ASSERT_EQ(0x0411, GetSystemDefaultLangID());
    ASSERT_EQ(1, ChooseLanguage());
    ASSERT_EQ("", Emulator().Load(Device(0, 0, "changes-left = 7")));
    DialogRun run;
    ASSERT_TRUE(run.Start("MAINDIALOG"));
    EXPECT_EQ(DiscmodeTitle, WindowText(run.Dialog()));
    EXPECT_EQ(Cp932("実行"), run.Text(IDOK));
    EXPECT_EQ(Cp932("ｷｬﾝｾﾙ"), run.Text(IDCANCEL));
    EXPECT_EQ(Cp932("DVD+R DL メディア設定"), run.TabCaption(0));
    EXPECT_EQ(Cp932("DVD+R メディア設定"), run.TabCaption(1));
    EXPECT_TRUE(run.WaitForText(IDC_STATUS, Cp932("変更可能回数は、あと7回です。")))
        << "shown: " << run.Text(IDC_STATUS);
    ASSERT_TRUE(run.WaitForEnabled(IDOK, true));
    ASSERT_TRUE(run.Click(IDOK));
    const BoxSeen box = run.WaitForBox();
    EXPECT_EQ(Cp932("設定を変更しました。"), box.text);
    EXPECT_EQ(DiscmodeTitle, box.caption);
    ASSERT_TRUE(AnswerBox(box));
    run.ExpectEnd();
}

} // namespace
