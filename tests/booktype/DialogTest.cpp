// discmode's dialog procedure, run for real against the drive emulator on the
// Windows 9x path: what the dialog shows for each drive, the disc poll, drive
// and tab selection, and the OK change flow with its boxes, its retry and the
// controls it gives back after a failure.
#include "BookTypeTestSupport.h"
#include "DialogHarness.h"
#include "MessageTable.h"
#include "ScsiTransport.h"
#include "WindowDriver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using zalemu::CommandRecord;

const char* const Title = "BookType Setting Utility";
const std::vector<int> DlRadios = {1015, 1016, 1017, 1018, 1019, 1020};
const std::vector<int> PlusRRadios = {1023, 1024, 1025, 1026, 1027, 1028};
const std::vector<int> DefaultRadios = {1015, 1016, 1023, 1024};

// The 0xC9 commands the drive received, without the poll's TEST UNIT READY.
std::vector<std::string> ChangeCommands() {
    return CdbTexts(Commands(std::string(), true));
}

bool SomePollSent() {
    for (const CommandRecord& record : Commands()) {
        if (record.Opcode() == 0x00) {
            return true;
        }
    }
    return false;
}

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

    // Loads the drives and starts the dialog over them; the log then starts
    // after the start-up's probes.
    void Open(DialogRun* run, const std::string& scenario) {
        ASSERT_EQ("", Emulator().Load(scenario));
        ASSERT_TRUE(run->Start()) << "no dialog";
        Emulator().ClearLog();
    }

    // Ends the dialog with Cancel and checks that it released the transport.
    static void CloseWithCancel(DialogRun* run) {
        ASSERT_TRUE(run->Click(IDCANCEL)) << "Cancel is not available";
        INT_PTR result = 0;
        ASSERT_TRUE(run->WaitForEnd(5000, &result));
        EXPECT_EQ(1, result);
        EXPECT_EQ(nullptr, SendASPI32Command) << "the transport is released";
    }
};

TEST_F(DialogTest, ShowsTheFirstDriveByItsCommandVersion) {
    const struct Case {
        const char* name;
        std::string drive;
        std::vector<std::string> tabs;
        const char* version;
        bool temporaryRow;
        bool dlApplyTemporary;    // 1020 enabled
        std::vector<int> checked; // radio buttons of both pages
        const char* boxes[4];     // 1021, 1022, 1029, 1030
        const char* status;
    } cases[] = {
        {"version 1",
         "command-version = 1\ndl-default = 00",
         {"DVD+R DL Medium setting"},
         "1",
         false,
         false,
         {1016, 1019},
         {"DVD-ROM", " -- ", " -- ", " -- "},
         "Possible set count is 50 left."},
        {"version 2, DL temporary unreadable",
         "command-version = 2\nchanges-left = 7\nfault = C9/02#2 check 5/24/00",
         {"DVD+R DL Medium setting"},
         "2",
         true,
         false,
         {1015, 1019},
         {"DVD+R DL", " -- ", " -- ", " -- "},
         "Possible set count is 7 left."},
        {"version 3",
         "changes-left = 51\ndl-temporary = 00\ndl-applies = temporary\n"
         "r-default = 00\nr-temporary = A0",
         {"DVD+R DL Medium setting", "DVD+R Medium setting"},
         "3",
         true,
         true,
         {1015, 1018, 1020, 1024, 1025, 1027},
         {"DVD+R DL", "DVD-ROM", "DVD-ROM", "DVD+R"},
         "Setting possible to change."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DialogRun run;
        Open(&run, Device(0, 0, "vendor = VENDOR12\nproduct = PRODUCT-NAME-16C\n" + c.drive));
        EXPECT_EQ(Title, WindowText(run.Dialog()));
        EXPECT_EQ(std::vector<std::string>{"[HA:0/ID:0]VENDOR12PRODUCT-NAME-16C"},
                  run.DriveListItems());
        EXPECT_EQ(0, run.DriveListSelection());
        ASSERT_EQ(static_cast<int>(c.tabs.size()), run.TabCount());
        for (size_t i = 0; i < c.tabs.size(); ++i) {
            EXPECT_EQ(c.tabs[i], run.TabCaption(static_cast<int>(i)));
        }
        EXPECT_EQ(0, run.TabSelection());
        EXPECT_EQ(c.version, run.Text(1031));
        for (int id : {1001, 1017, 1018}) {
            EXPECT_EQ(c.temporaryRow, run.Enabled(id)) << "control " << id;
        }
        EXPECT_TRUE(run.Enabled(1019)) << "1019 is never disabled";
        std::vector<int> radios = DlRadios;
        radios.insert(radios.end(), PlusRRadios.begin(), PlusRRadios.end());
        EXPECT_EQ(c.checked, run.CheckedOf(radios));
        const int boxes[] = {1021, 1022, 1029, 1030};
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(c.boxes[i], run.Text(boxes[i])) << "box " << boxes[i];
        }
        // The Select Setting radio of the Temporary row only once a value is chosen.
        EXPECT_EQ(c.dlApplyTemporary, run.Enabled(1020));
        for (int id = 1015; id <= 1022; ++id) {
            EXPECT_TRUE(run.Visible(id)) << "DVD+R DL page control " << id;
        }
        for (int id = 1023; id <= 1030; ++id) {
            EXPECT_FALSE(run.Visible(id)) << "DVD+R page control " << id;
        }
        EXPECT_TRUE(run.WaitForText(1007, c.status));
        EXPECT_TRUE(run.Enabled(1009));
        EXPECT_TRUE(run.Enabled(IDCANCEL));
        EXPECT_TRUE(run.WaitForEnabled(IDOK, true)) << "no disc: OK after the poll";
        // A poll that finds nothing new changes no control, not even back and forth.
        EXPECT_EQ(std::vector<int>{}, ControlsChangedByPolls(run, 5));
        CloseWithCancel(&run);
    }
}

// The status text for the remaining changes, and the default rows locked to the
// drive's values when none is left.
TEST_F(DialogTest, ChangeCountTextsAndLocks) {
    const struct Case {
        const char* drive;
        const char* status;
        std::vector<int> disabledDefaults;
        bool ok;
        bool polled;
    } cases[] = {
        {"changes-left = 0\ndl-default = E0\nr-default = 00",
         "Default value setting can't change. Because of the default value setting count was "
         "limited.",
         {1016, 1023},
         true,
         true},
        {"changes-left = 0\ndl-default = 00\nr-default = A0",
         "Default value setting can't change. Because of the default value setting count was "
         "limited.",
         {1015, 1024},
         true,
         true},
        {"changes-left = 7", "Possible set count is 7 left.", {}, true, true},
        {"changes-left = 50", "Possible set count is 50 left.", {}, true, true},
        {"changes-left = 51", "Setting possible to change.", {}, true, true},
        {"changes-left = 256", "Setting possible to change.", {}, true, true},
        {"changes-left = 0\ncommand-version = 1\ndl-default = 00",
         "No more change is allowed due to the count limit.",
         {1015},
         false,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.drive);
        DialogRun run;
        Open(&run, Device(0, 0, c.drive));
        EXPECT_TRUE(run.WaitForText(1007, c.status)) << "shown: " << run.Text(1007);
        EXPECT_TRUE(run.WaitForEnabled(IDOK, c.ok));
        Sleep(Scaled(400));
        EXPECT_EQ(c.ok, run.Enabled(IDOK));
        EXPECT_EQ(c.polled, SomePollSent());
        std::vector<int> disabled;
        for (int id : DefaultRadios) {
            if (!run.Enabled(id)) {
                disabled.push_back(id);
            }
        }
        EXPECT_EQ(c.disabledDefaults, disabled);
        CloseWithCancel(&run);
    }
}

// A disc inserted while the dialog runs takes OK away and asks for the eject;
// removing it gives OK back with the change-count text, for drives of command
// version 1 with changes left as for version 3.
TEST_F(DialogTest, DiscInsertedAndRemovedWhileRunning) {
    for (const char* drive :
         {"command-version = 3\nchanges-left = 9", "command-version = 1\nchanges-left = 9"}) {
        SCOPED_TRACE(drive);
        DialogRun run;
        Open(&run, Device(0, 0, drive));
        ASSERT_TRUE(run.WaitForEnabled(IDOK, true));
        EXPECT_EQ("Possible set count is 9 left.", run.Text(1007));
        ASSERT_TRUE(Emulator().SetDisc("0:0", true));
        EXPECT_TRUE(run.WaitForEnabled(IDOK, false, 1000));
        EXPECT_TRUE(run.WaitForText(1007, "Try again after DISC Ejected.", 1000));
        ASSERT_TRUE(Emulator().SetDisc("0:0", false));
        EXPECT_TRUE(run.WaitForEnabled(IDOK, true, 1000));
        EXPECT_TRUE(run.WaitForText(1007, "Possible set count is 9 left.", 1000));
        CloseWithCancel(&run);
    }
}

TEST_F(DialogTest, TemporarySelectFollowsTheChosenTemporaryValue) {
    DialogRun run;
    Open(&run, Device(0, 0, "command-version = 2\nfault = C9/02#2 check 5/24/00"));
    EXPECT_EQ(" -- ", run.Text(1022));
    EXPECT_EQ((std::vector<int>{1015, 1019}), run.CheckedOf(DlRadios));
    EXPECT_FALSE(run.Enabled(1020));
    run.ClickRadio(1018);
    EXPECT_TRUE(run.WaitForEnabled(1020, true, 1000)) << "enabled by the next poll";
    CloseWithCancel(&run);
}

// Switching drives and tabs: tab 1 exists only for command version 3, a new
// drive brings tab 0 back, and a drive with changes left unlocks what a drive
// without changes locked.
TEST_F(DialogTest, SwitchingDrivesAndTabs) {
    DialogRun run;
    Open(&run, Device(0, 0, "changes-left = 0\ndl-default = E0\nr-default = 00") +
                   Device(0, 1, "command-version = 1\nchanges-left = 10\ndl-default = 00") +
                   Device(0, 2, "changes-left = 20"));
    ASSERT_EQ(3u, run.DriveListItems().size());
    EXPECT_FALSE(run.Enabled(1016));
    EXPECT_FALSE(run.Enabled(1023));

    run.SelectTab(1);
    for (int id = 1023; id <= 1030; ++id) {
        EXPECT_TRUE(run.Visible(id)) << "DVD+R page control " << id;
    }
    for (int id = 1015; id <= 1022; ++id) {
        EXPECT_FALSE(run.Visible(id)) << "DVD+R DL page control " << id;
    }

    run.SelectDrive(2);
    EXPECT_EQ(2, run.DriveListSelection());
    EXPECT_EQ(2, run.TabCount());
    EXPECT_EQ(0, run.TabSelection()) << "a new drive shows tab 0";
    EXPECT_TRUE(run.Visible(1015));
    EXPECT_FALSE(run.Visible(1023));
    for (int id : DefaultRadios) {
        EXPECT_TRUE(run.Enabled(id)) << "radio " << id << " unlocked for a drive with changes";
    }
    EXPECT_TRUE(run.WaitForText(1007, "Possible set count is 20 left."));

    run.SelectDrive(1);
    EXPECT_EQ(1, run.TabCount());
    EXPECT_EQ("1", run.Text(1031));
    EXPECT_FALSE(run.Enabled(1017));
    EXPECT_EQ((std::vector<int>{1016, 1019}), run.CheckedOf(DlRadios));

    run.SelectDrive(0);
    EXPECT_EQ(2, run.TabCount());
    EXPECT_EQ("DVD+R Medium setting", run.TabCaption(1));
    EXPECT_FALSE(run.Enabled(1016)) << "locked again";
    EXPECT_FALSE(run.Enabled(1023)) << "locked again";
    EXPECT_EQ("3", run.Text(1031));
    CloseWithCancel(&run);
}

TEST_F(DialogTest, OkWithNothingChangedCompletesWithoutCommands) {
    DialogRun run;
    Open(&run, Device(0, 0, ""));
    ASSERT_TRUE(run.WaitForEnabled(IDOK, true));
    ASSERT_TRUE(run.Click(IDOK));
    const BoxSeen box = run.WaitForBox();
    EXPECT_EQ("Change is completed.", box.text);
    EXPECT_EQ(Title, box.caption);
    EXPECT_FALSE(box.owned) << "boxes have no owner window";
    EXPECT_TRUE(box.topmost) << "system-modal";
    EXPECT_FALSE(run.Ended()) << "the dialog ends once the box is closed";
    ASSERT_TRUE(AnswerBox(box));
    INT_PTR result = 0;
    ASSERT_TRUE(run.WaitForEnd(5000, &result));
    EXPECT_EQ(1, result);
    EXPECT_TRUE(ChangeCommands().empty());
    EXPECT_EQ(nullptr, SendASPI32Command);
}

TEST_F(DialogTest, OkSendsTheDifferingCommandsInTheFixedOrder) {
    DialogRun run;
    Open(&run, Device(0, 0, ""));
    for (int id : {1016, 1018}) {
        run.ClickRadio(id);
    }
    ASSERT_TRUE(run.WaitForEnabled(1020, true));
    run.ClickRadio(1020);
    run.SelectTab(1);
    for (int id : {1024, 1026}) {
        run.ClickRadio(id);
    }
    ASSERT_TRUE(run.WaitForEnabled(1028, true));
    run.ClickRadio(1028);
    ASSERT_TRUE(run.WaitForEnabled(IDOK, true));
    ASSERT_TRUE(run.Click(IDOK));
    const BoxSeen box = run.WaitForBox();
    EXPECT_EQ("Change is completed.", box.text);
    ASSERT_TRUE(AnswerBox(box));
    INT_PTR result = 0;
    ASSERT_TRUE(run.WaitForEnd(5000, &result));
    EXPECT_EQ((std::vector<std::string>{SetDefaultCdb(2, 0x00), SetTemporaryCdb(2, 0x00),
                                        SelectCdb(2, 1), SetDefaultCdb(0, 0x00),
                                        SetTemporaryCdb(0, 0x00), SelectCdb(0, 1)}),
              ChangeCommands());
}

// After a failed change the drive list and Cancel come back, the change count
// shown is the drive's, and OK reads the drive again and retries only what did
// not succeed.
TEST_F(DialogTest, FailedChangeGivesControlsBackAndRetriesOnlyTheRest) {
    DialogRun run;
    Open(&run, Device(0, 0, "changes-left = 5\nfault = C9/04#1 check 5/2C/00"));
    run.ClickRadio(1016);
    run.ClickRadio(1017);
    ASSERT_TRUE(run.WaitForEnabled(1020, true));
    run.ClickRadio(1020);
    ASSERT_TRUE(run.WaitForEnabled(IDOK, true));
    ASSERT_TRUE(run.Click(IDOK));

    const BoxSeen box = run.WaitForBox();
    EXPECT_EQ("Some failure occurred to set .", box.text);
    EXPECT_EQ(Title, box.caption);
    EXPECT_FALSE(box.owned);
    EXPECT_EQ((std::vector<std::string>{SetDefaultCdb(2, 0x00), SelectCdb(2, 1)}),
              ChangeCommands());
    // While the box is open nothing else can be started or ended.
    for (int id : {1009, IDCANCEL, IDOK}) {
        EXPECT_FALSE(run.Enabled(id)) << "control " << id << " while the box is open";
    }
    run.PostCommand(IDCANCEL);
    Sleep(Scaled(300));
    EXPECT_FALSE(run.Ended()) << "the close box and Escape wait for the result box";
    ASSERT_TRUE(AnswerBox(box));

    EXPECT_TRUE(run.WaitForEnabled(1009, true));
    EXPECT_TRUE(run.WaitForEnabled(IDCANCEL, true));
    EXPECT_TRUE(run.WaitForEnabled(IDOK, true)) << "OK returns with the poll";
    EXPECT_TRUE(run.WaitForText(1007, "Possible set count is 4 left."));

    Emulator().ClearLog();
    ASSERT_TRUE(run.Click(IDOK));
    const BoxSeen done = run.WaitForBox();
    EXPECT_EQ("Change is completed.", done.text);
    ASSERT_TRUE(AnswerBox(done));
    INT_PTR result = 0;
    ASSERT_TRUE(run.WaitForEnd(5000, &result));
    EXPECT_EQ((std::vector<std::string>{ReadCdb(2, 0), ReadCdb(2, 1), ReadCdb(0, 0), ReadCdb(0, 1),
                                        SelectCdb(2, 1)}),
              ChangeCommands())
        << "the settings read again; the default set that succeeded is not sent again";
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
        Open(&run, Device(0, 0, ""));
        c.act(&run);
        INT_PTR result = 0;
        ASSERT_TRUE(run.WaitForEnd(5000, &result));
        EXPECT_EQ(1, result);
        EXPECT_EQ(nullptr, SendASPI32Command);
        EXPECT_TRUE(ChangeCommands().empty());
    }
}

TEST_F(DialogTest, NoDriveEndsWithTheNotFoundBox) {
    ASSERT_EQ("", Emulator().Load(Device(0, 0, "kind = optical") + Device(0, 1, "kind = disk")));
    DialogRun run;
    ASSERT_TRUE(run.Start("MAINDIALOGE", false));
    const BoxSeen box = run.WaitForBox();
    EXPECT_EQ("Target dirve is not found correctly.", box.text);
    EXPECT_EQ(Title, box.caption);
    EXPECT_FALSE(box.owned);
    EXPECT_TRUE(box.topmost);
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
    EXPECT_EQ(Title, WindowText(run.Dialog()));
    EXPECT_EQ(Cp932("実行"), run.Text(IDOK));
    EXPECT_EQ(Cp932("ｷｬﾝｾﾙ"), run.Text(IDCANCEL));
    EXPECT_EQ(Cp932("DVD+R DL メディア設定"), run.TabCaption(0));
    EXPECT_EQ(Cp932("DVD+R メディア設定"), run.TabCaption(1));
    EXPECT_TRUE(run.WaitForText(1007, Cp932("変更可能回数は、あと7回です。")))
        << "shown: " << run.Text(1007);
    ASSERT_TRUE(run.WaitForEnabled(IDOK, true));
    ASSERT_TRUE(run.Click(IDOK));
    const BoxSeen box = run.WaitForBox();
    EXPECT_EQ(Cp932("設定を変更しました。"), box.text);
    EXPECT_EQ(Title, box.caption);
    ASSERT_TRUE(AnswerBox(box));
    INT_PTR result = 0;
    ASSERT_TRUE(run.WaitForEnd(5000, &result));
}

} // namespace
