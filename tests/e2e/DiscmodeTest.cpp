// The built discmode.exe under Wine, driven from outside as a user would, against
// the drive emulator: what the dialog shows for each kind of drive, the disc poll,
// the change flow with its results, the dialog under abuse during a change, the
// drive's memory across runs, and the start-up failures of each transport path.
#include "DiscmodeSession.h"
#include "TimeScale.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string Signature = "5A-41-4C-42-4B"; // "ZALBK"

// The 0xC9 CDB of a sub-command, as the log writes it.
std::string C9(int sub, int medium, int value, int last) {
    char text[64];
    snprintf(text, sizeof text, "C9-%02X-%02X-%02X-%s-%02X-00-00", sub, medium, value,
             Signature.c_str(), last);
    return text;
}

std::vector<std::string> CdbsOf(const std::vector<zalemu::CommandRecord>& records) {
    std::vector<std::string> cdbs;
    for (const zalemu::CommandRecord& record : records) {
        std::string text;
        for (size_t i = 0; i < record.cdb.size(); ++i) {
            char byte[4];
            snprintf(byte, sizeof byte, i == 0 ? "%02X" : "-%02X", record.cdb[i]);
            text += byte;
        }
        cdbs.push_back(text);
    }
    return cdbs;
}

// A book-type drive of the given command version and change count, no disc.
std::string Drive(const std::string& address, int version, int changes,
                  const std::string& extra = std::string()) {
    return Device(address, "command-version = " + std::to_string(version) +
                               "\nchanges-left = " + std::to_string(changes) + "\n" + extra);
}

struct ShownPage {
    int version;
    int tabs;
    bool temporaryRowEnabled;
    const char* versionText;
};

TEST(DiscmodeDialog, PagesFollowTheCommandVersion) {
    const ShownPage cases[] = {
        {1, 1, false, "1"},
        {2, 1, true, "2"},
        {3, 2, true, "3"},
    };
    for (const ShownPage& c : cases) {
        DiscmodeSession run("pages-v" + std::to_string(c.version));
        run.WriteScenario(Drive("0:0", c.version, 7));
        ASSERT_TRUE(run.Start()) << "version " << c.version;
        EXPECT_EQ("BookType Setting Utility", WindowText(run.Dialog()));
        EXPECT_EQ(c.tabs, run.TabCount()) << "version " << c.version;
        EXPECT_EQ(0, run.TabSelection());
        EXPECT_EQ(c.versionText, run.Text(IdCommandVersion));
        // From version 2 on the drive's temporary value is chosen, so applying the
        // temporary setting (1020) is offered as well.
        for (int id : {IdDlTemporaryNormal, IdDlTemporaryCompat, IdDlSelectTemporary,
                       IdDlTemporaryBox, IdTemporaryLabel}) {
            EXPECT_EQ(c.temporaryRowEnabled, run.Enabled(id))
                << "control " << id << ", version " << c.version;
        }
        EXPECT_TRUE(run.Enabled(IdDlSelectDefault)) << "never disabled";
        EXPECT_TRUE(run.Checked(IdDlSelectDefault));
        EXPECT_TRUE(run.Checked(IdDlDefaultNormal));
        EXPECT_EQ("DVD+R DL", run.Text(IdDlDefaultBox));
        EXPECT_EQ(c.version >= 2 ? "DVD+R DL" : " -- ", run.Text(IdDlTemporaryBox));
        EXPECT_TRUE(run.Visible(IdDlDefaultNormal));
        EXPECT_FALSE(run.Visible(IdRDefaultNormal));
        EXPECT_TRUE(run.WaitForEnabled(IdOk, true)) << "no disc: OK is offered";
        EXPECT_TRUE(run.WaitForText(IdStatus, "Possible set count is 7 left."));
        run.Click(IdCancel);
        DWORD exitCode = 99;
        EXPECT_TRUE(run.WaitForExit(10000, &exitCode));
        EXPECT_EQ(0u, exitCode);
    }
}

TEST(DiscmodeDialog, DvdPlusRPageOfAVersion3Drive) {
    DiscmodeSession run("plusr-page");
    run.WriteScenario(
        Drive("0:0", 3, 51, "r-default = 00\nr-temporary = A0\nr-applies = temporary\n"));
    ASSERT_TRUE(run.Start());
    run.NextTab();
    ASSERT_EQ(1, run.TabSelection());
    for (int id = IdDlDefaultNormal; id <= IdDlTemporaryBox; ++id) {
        EXPECT_FALSE(run.Visible(id)) << "control " << id;
    }
    for (int id = IdRDefaultNormal; id <= IdRTemporaryBox; ++id) {
        EXPECT_TRUE(run.Visible(id)) << "control " << id;
    }
    EXPECT_EQ("DVD-ROM", run.Text(IdRDefaultBox));
    EXPECT_TRUE(run.Checked(IdRDefaultCompat));
    EXPECT_EQ("DVD+R", run.Text(IdRTemporaryBox));
    EXPECT_TRUE(run.Checked(IdRTemporaryNormal));
    EXPECT_TRUE(run.Checked(IdRSelectTemporary));
    EXPECT_TRUE(run.WaitForText(IdStatus, "Setting possible to change."));
    run.PreviousTab();
    EXPECT_EQ(0, run.TabSelection());
    EXPECT_TRUE(run.Visible(IdDlDefaultNormal));
}

TEST(DiscmodeDialog, TwoDrivesAndSwitchingBetweenThem) {
    DiscmodeSession run("two-drives");
    run.WriteScenario(Drive("1:0", 1, 7, "product = TK-4800J OLD") + Drive("0:3", 3, 51) +
                      Device("0:5", "kind = optical"));
    ASSERT_TRUE(run.Start());
    const std::vector<std::string> expected = {
        "[HA:0/ID:3]ZAL     TK-4800J        ",
        "[HA:1/ID:0]ZAL     TK-4800J OLD    ",
    };
    EXPECT_EQ(expected, run.DriveListItems()) << "the other vendor's drive is not listed";
    EXPECT_EQ(0, run.DriveListSelection());
    EXPECT_EQ(2, run.TabCount());

    // Tab 1 shown, then the version-1 drive: one tab, tab 0 shown, its values.
    run.NextTab();
    run.SelectDrive(1);
    ASSERT_EQ(1, run.DriveListSelection());
    EXPECT_TRUE(WaitUntil([&] { return run.TabCount() == 1; }, 3000));
    EXPECT_EQ(0, run.TabSelection());
    EXPECT_EQ("1", run.Text(IdCommandVersion));
    EXPECT_FALSE(run.Enabled(IdDlTemporaryNormal));
    EXPECT_TRUE(run.Visible(IdDlDefaultNormal));
    EXPECT_TRUE(run.WaitForText(IdStatus, "Possible set count is 7 left."));

    // Back to the version-3 drive: tab 1 is there again.
    run.SelectDrive(0);
    EXPECT_TRUE(WaitUntil([&] { return run.TabCount() == 2; }, 3000));
    EXPECT_EQ("3", run.Text(IdCommandVersion));
    EXPECT_TRUE(run.WaitForText(IdStatus, "Setting possible to change."));

    // The optical drive answered INQUIRY and refused the first read: nothing more.
    size_t opticalCommands = 0;
    for (const zalemu::CommandRecord& record : run.Commands()) {
        opticalCommands += record.address == "0:5" ? 1u : 0u;
    }
    EXPECT_EQ(2u, opticalCommands);
}

struct CountCase {
    int version;
    int changes;
    const char* status;
    bool okWithoutDisc;
    bool dlNormalLocked;
    bool dlCompatLocked;
};

TEST(DiscmodeDialog, ChangeCountTextsAndLocks) {
    const CountCase cases[] = {
        {3, 0,
         "Default value setting can't change. Because of the default value setting count "
         "was limited.",
         true, false, true},
        {1, 0, "No more change is allowed due to the count limit.", false, false, true},
        {2, 7, "Possible set count is 7 left.", true, false, false},
        {3, 50, "Possible set count is 50 left.", true, false, false},
        {3, 51, "Setting possible to change.", true, false, false},
        {3, 256, "Setting possible to change.", true, false, false},
    };
    for (const CountCase& c : cases) {
        const std::string name =
            "count-" + std::to_string(c.version) + "-" + std::to_string(c.changes);
        DiscmodeSession run(name);
        run.WriteScenario(Drive("0:0", c.version, c.changes, "r-default = 00\n"));
        ASSERT_TRUE(run.Start()) << name;
        EXPECT_TRUE(run.WaitForText(IdStatus, c.status)) << name << ": " << run.Text(IdStatus);
        if (c.okWithoutDisc) {
            EXPECT_TRUE(run.WaitForEnabled(IdOk, true)) << name;
        } else {
            Sleep(Scaled(500));
            EXPECT_FALSE(run.Enabled(IdOk)) << name;
        }
        EXPECT_EQ(!c.dlNormalLocked, run.Enabled(IdDlDefaultNormal)) << name;
        EXPECT_EQ(!c.dlCompatLocked, run.Enabled(IdDlDefaultCompat)) << name;
        if (c.version >= 3) {
            // DVD+R's default is Compatibility here: with no change left, Normal locks.
            EXPECT_EQ(c.changes != 0, run.Enabled(IdRDefaultNormal)) << name;
            EXPECT_TRUE(run.Enabled(IdRDefaultCompat)) << name;
        }
        if (c.version < 2 && c.changes == 0) {
            for (const zalemu::CommandRecord& record : run.Commands()) {
                EXPECT_NE(0x00, record.Opcode()) << "no poll of a drive with nothing to change";
            }
        }
    }
}

TEST(DiscmodeDialog, LocksFollowTheSelectedDrive) {
    DiscmodeSession run("locks-follow");
    run.WriteScenario(Drive("0:0", 3, 0) + Drive("0:1", 3, 9) + Drive("0:2", 1, 0));
    ASSERT_TRUE(run.Start());
    EXPECT_FALSE(run.Enabled(IdDlDefaultCompat)) << "no change left: the default is locked";
    run.SelectDrive(1);
    EXPECT_TRUE(WaitUntil([&] { return run.Enabled(IdDlDefaultCompat); }, 3000))
        << "a drive with changes left unlocks its default";
    EXPECT_TRUE(run.WaitForText(IdStatus, "Possible set count is 9 left."));
    EXPECT_TRUE(run.WaitForEnabled(IdOk, true));

    // A version-1 drive with nothing to change is not polled: OK goes off with the
    // drive that had it on.
    run.SelectDrive(2);
    EXPECT_TRUE(run.WaitForText(IdStatus, "No more change is allowed due to the count limit."))
        << run.Text(IdStatus);
    EXPECT_TRUE(run.WaitForEnabled(IdOk, false)) << "OK offered for a drive that cannot change";
    EXPECT_FALSE(run.Enabled(IdDlDefaultCompat));

    run.SelectDrive(0);
    EXPECT_TRUE(WaitUntil([&] { return !run.Enabled(IdDlDefaultCompat); }, 3000));
}

TEST(DiscmodeDialog, DiscInsertedAndRemovedWhileRunning) {
    struct Case {
        int version;
        const char* noDiscText;
    } cases[] = {{3, "Possible set count is 12 left."}, {1, "Possible set count is 12 left."}};
    for (const Case& c : cases) {
        const std::string name = "disc-v" + std::to_string(c.version);
        DiscmodeSession run(name);
        run.WriteScenario(Drive("0:0", c.version, 12, "load-time = 300\n"));
        ASSERT_TRUE(run.Start()) << name;
        ASSERT_TRUE(run.WaitForEnabled(IdOk, true)) << name;
        EXPECT_TRUE(run.WaitForText(IdStatus, c.noDiscText)) << name;

        ASSERT_TRUE(run.SetDisc("0:0", true));
        EXPECT_TRUE(run.WaitForEnabled(IdOk, false, 2000)) << name << ": a disc disables OK";
        EXPECT_TRUE(run.WaitForText(IdStatus, "Try again after DISC Ejected.", 2000)) << name;
        // Past the loading time the disc is ready; OK stays off.
        Sleep(Scaled(600));
        EXPECT_FALSE(run.Enabled(IdOk)) << name;
        EXPECT_EQ("Try again after DISC Ejected.", run.Text(IdStatus)) << name;

        ASSERT_TRUE(run.SetDisc("0:0", false));
        EXPECT_TRUE(run.WaitForEnabled(IdOk, true, 2000)) << name << ": removing it gives OK back";
        EXPECT_TRUE(run.WaitForText(IdStatus, c.noDiscText, 2000)) << name;
    }
}

TEST(DiscmodeChange, NothingChangedSendsNothingAndCompletes) {
    DiscmodeSession run("nothing-changed");
    run.WriteScenario(Drive("0:0", 3, 20));
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.WaitForEnabled(IdOk, true));
    const size_t before = run.Commands().size();
    ASSERT_TRUE(run.Click(IdOk));
    HWND box = run.WaitForBox();
    ASSERT_NE(nullptr, box);
    EXPECT_EQ("BookType Setting Utility", WindowText(box));
    EXPECT_EQ("Change is completed.", MessageBoxText(box));
    EXPECT_TRUE(run.CommandsAfter(before).empty());
    ASSERT_TRUE(run.AnswerBox(box));
    DWORD exitCode = 99;
    ASSERT_TRUE(run.WaitForExit(10000, &exitCode));
    EXPECT_EQ(0u, exitCode);
}

TEST(DiscmodeChange, EveryChangeGoesOutInTheFixedOrder) {
    DiscmodeSession run("all-changes");
    run.WriteScenario(Drive("0:0", 3, 20));
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.WaitForEnabled(IdOk, true));
    // DVD+R DL: Compatibility default and temporary, the temporary one applied.
    ASSERT_TRUE(run.Click(IdDlDefaultCompat));
    ASSERT_TRUE(run.Click(IdDlTemporaryCompat));
    ASSERT_TRUE(WaitUntil([&] { return run.Checked(IdDlTemporaryCompat); }, 2000));
    ASSERT_TRUE(run.Click(IdDlSelectTemporary));
    // DVD+R: the same on its page.
    run.NextTab();
    ASSERT_TRUE(run.Click(IdRDefaultCompat));
    ASSERT_TRUE(run.Click(IdRTemporaryCompat));
    ASSERT_TRUE(WaitUntil([&] { return run.Checked(IdRTemporaryCompat); }, 2000));
    ASSERT_TRUE(run.Click(IdRSelectTemporary));
    ASSERT_TRUE(WaitUntil([&] { return run.Checked(IdRSelectTemporary); }, 2000));
    ASSERT_TRUE(run.WaitForEnabled(IdOk, true));

    const size_t before = run.Commands().size();
    ASSERT_TRUE(run.Click(IdOk));
    HWND box = run.WaitForBox();
    ASSERT_NE(nullptr, box);
    EXPECT_EQ("Change is completed.", MessageBoxText(box));
    const std::vector<std::string> expected = {
        C9(1, 2, 0x00, 0), C9(3, 2, 0x00, 0), C9(4, 2, 0x00, 1),
        C9(1, 0, 0x00, 0), C9(3, 0, 0x00, 0), C9(4, 0, 0x00, 1),
    };
    EXPECT_EQ(expected, CdbsOf(run.CommandsAfter(before)));
    ASSERT_TRUE(run.AnswerBox(box));
    DWORD exitCode = 99;
    ASSERT_TRUE(run.WaitForExit(10000, &exitCode));
    EXPECT_EQ(0u, exitCode);

    // The drive keeps the settings, and two changes were used up.
    const std::string state = run.StateFile();
    for (const char* line :
         {"changes-left = 18", "dl-default = 00", "dl-temporary = 00", "dl-applies = temporary",
          "r-default = 00", "r-temporary = 00", "r-applies = temporary"}) {
        EXPECT_NE(std::string::npos, state.find(line)) << line << " in\n" << state;
    }
}

struct FailureCase {
    const char* faults;
    const char* text;
};

TEST(DiscmodeChange, FailuresAreNamedAndTheDialogStaysUsable) {
    const FailureCase cases[] = {
        {"fault = C9/01#1 check 5/2C/00\n", "Failed to set default value of DVD+R DL."},
        {"fault = C9/01 check 5/2C/00\n", "Failed to set default value of DVD+R & DVD+R DL."},
        {"fault = C9/04#1 check 5/24/00\n", "Some failure occurred to set ."},
        {"fault = C9/01#1 check 5/2C/00\nfault = C9/03#1 check 5/2C/00\n",
         "Some failure occurred to set ."},
    };
    int index = 0;
    for (const FailureCase& c : cases) {
        const std::string name = "failure-" + std::to_string(++index);
        DiscmodeSession run(name);
        run.WriteScenario(Drive("0:0", 3, 20, c.faults));
        ASSERT_TRUE(run.Start()) << name;
        ASSERT_TRUE(run.WaitForEnabled(IdOk, true)) << name;
        ASSERT_TRUE(run.Click(IdDlDefaultCompat));
        ASSERT_TRUE(run.Click(IdDlSelectTemporary));
        run.NextTab();
        ASSERT_TRUE(run.Click(IdRDefaultCompat));
        ASSERT_TRUE(run.Click(IdRTemporaryCompat));
        ASSERT_TRUE(WaitUntil([&] { return run.Checked(IdRTemporaryCompat); }, 2000));
        ASSERT_TRUE(run.Click(IdOk)) << name;
        HWND box = run.WaitForBox();
        ASSERT_NE(nullptr, box) << name;
        EXPECT_EQ("BookType Setting Utility", WindowText(box));
        EXPECT_EQ(c.text, MessageBoxText(box)) << name;
        ASSERT_TRUE(run.AnswerBox(box));
        // The dialog stays open, and the user can still leave or pick a drive.
        EXPECT_FALSE(run.Program().HasExited()) << name;
        EXPECT_TRUE(run.WaitForEnabled(IdDriveList, true)) << name;
        EXPECT_TRUE(run.WaitForEnabled(IdCancel, true)) << name;
        EXPECT_TRUE(run.WaitForEnabled(IdOk, true)) << name << ": the poll gives OK back";
        run.Click(IdCancel);
        DWORD exitCode = 99;
        EXPECT_TRUE(run.WaitForExit(10000, &exitCode)) << name;
    }
}

TEST(DiscmodeChange, RetryAfterAFailureSendsOnlyWhatStillDiffers) {
    DiscmodeSession run("retry");
    run.WriteScenario(Drive("0:0", 3, 30, "fault = C9/01#1 check 5/2C/00\n"));
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.WaitForEnabled(IdOk, true));
    ASSERT_TRUE(run.Click(IdDlDefaultCompat));
    run.NextTab();
    ASSERT_TRUE(run.Click(IdRDefaultCompat));
    ASSERT_TRUE(WaitUntil([&] { return run.Checked(IdRDefaultCompat); }, 2000));
    size_t before = run.Commands().size();
    ASSERT_TRUE(run.Click(IdOk));
    HWND box = run.WaitForBox();
    ASSERT_NE(nullptr, box);
    EXPECT_EQ("Failed to set default value of DVD+R DL.", MessageBoxText(box));
    EXPECT_EQ((std::vector<std::string>{C9(1, 2, 0, 0), C9(1, 0, 0, 0)}),
              CdbsOf(run.CommandsAfter(before)));
    // The DVD+R default went through: its Current Value is the new one; the DVD+R DL
    // default that failed still shows the drive's.
    EXPECT_EQ("DVD-ROM", run.Text(IdRDefaultBox));
    EXPECT_EQ("DVD+R DL", run.Text(IdDlDefaultBox));
    ASSERT_TRUE(run.AnswerBox(box));
    // One default change went through: the shown count says so.
    EXPECT_TRUE(run.WaitForText(IdStatus, "Possible set count is 29 left.")) << run.Text(IdStatus);

    ASSERT_TRUE(run.WaitForEnabled(IdOk, true));
    before = run.Commands().size();
    ASSERT_TRUE(run.Click(IdOk));
    box = run.WaitForBox();
    ASSERT_NE(nullptr, box);
    EXPECT_EQ("Change is completed.", MessageBoxText(box));
    const std::vector<std::string> retry = {C9(2, 2, 1, 0), C9(2, 2, 1, 1), C9(2, 0, 1, 0),
                                            C9(2, 0, 1, 1), C9(1, 2, 0, 0)};
    EXPECT_EQ(retry, CdbsOf(run.CommandsAfter(before)))
        << "the drive's settings read again, then only what still differs: the DVD+R default "
           "that succeeded is not sent again";
    ASSERT_TRUE(run.AnswerBox(box));
    DWORD exitCode = 99;
    ASSERT_TRUE(run.WaitForExit(10000, &exitCode));
    EXPECT_NE(std::string::npos, run.StateFile().find("changes-left = 28"));
}

TEST(DiscmodeChange, SecondRunShowsWhatTheFirstLeft) {
    DiscmodeSession run("persist");
    run.WriteScenario(Drive("0:0", 3, 8));
    {
        ASSERT_TRUE(run.Start());
        ASSERT_TRUE(run.WaitForEnabled(IdOk, true));
        ASSERT_TRUE(run.Click(IdDlDefaultCompat));
        ASSERT_TRUE(WaitUntil([&] { return run.Checked(IdDlDefaultCompat); }, 2000));
        ASSERT_TRUE(run.Click(IdOk));
        HWND box = run.WaitForBox();
        ASSERT_NE(nullptr, box);
        ASSERT_TRUE(run.AnswerBox(box));
        ASSERT_TRUE(run.WaitForExit(10000, nullptr));
    }
    DiscmodeSession second("persist-second");
    // The same drive memory: the first run's scenario and state file.
    CopyFileA((run.Folder() + "\\drive.state").c_str(), (second.Folder() + "\\drive.state").c_str(),
              FALSE);
    second.WriteScenario(Drive("0:0", 3, 8));
    ASSERT_TRUE(second.Start());
    EXPECT_TRUE(second.Checked(IdDlDefaultCompat));
    EXPECT_EQ("DVD-ROM", second.Text(IdDlDefaultBox));
    EXPECT_TRUE(second.WaitForText(IdStatus, "Possible set count is 7 left."));
}

TEST(DiscmodeChange, EscapeAndTheCloseBoxLeave) {
    for (int way = 0; way < 2; ++way) {
        DiscmodeSession run(way == 0 ? "escape" : "close-box");
        run.WriteScenario(Drive("0:0", 2, 5));
        ASSERT_TRUE(run.Start());
        ASSERT_TRUE(run.WaitForEnabled(IdOk, true));
        if (way == 0) {
            run.PressEscape();
        } else {
            run.Close();
        }
        DWORD exitCode = 99;
        EXPECT_TRUE(run.WaitForExit(10000, &exitCode)) << (way == 0 ? "Escape" : "close box");
        EXPECT_EQ(0u, exitCode);
    }
}

// Everything that reaches the dialog queued behind a busy dialog's thread or
// while a result box is open: OK and Cancel clicked again, the close box,
// Escape, Alt+F4, Enter, the drive list as far as it can be used, and the end of
// the Windows session.
void Abuse(DiscmodeSession& run) {
    const int clicks[] = {IdOk, IdCancel, IdOk};
    for (int id : clicks) {
        run.QueueClick(id);
    }
    run.Close();
    run.PressEscape();
    run.PressAltF4();
    run.PressEnter();
    run.TryNextDrive();
    run.PostSessionMessage(WM_QUERYENDSESSION, 0);
    run.PostSessionMessage(WM_ENDSESSION, TRUE);
}

// The abuse queued during a change (its first command slowed) and again while
// its result box is open: the change's commands go out once, one at a time; the
// box stays until answered; then a failed change leaves the dialog open and
// usable without sending anything more, a successful one ends it.
TEST(DiscmodeChange, AbuseNeitherRepeatsNorHidesAChange) {
    const struct {
        const char* name;
        const char* faults;
        const char* text;
        bool ends;
        const char* changesLeft;
    } cases[] = {
        {"abuse-failure", "fault = C9/01#1 late 3000\nfault = C9/01#2 check 5/2C/00\n",
         "Failed to set default value of DVD+R.", false, "changes-left = 19"},
        {"abuse-success", "fault = C9/01#1 late 3000\n", "Change is completed.", true,
         "changes-left = 18"},
    };
    // Both defaults to Compatibility: DVD+R DL first, then DVD+R.
    const std::vector<std::string> change = {C9(1, 2, 0, 0), C9(1, 0, 0, 0)};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DiscmodeSession run(c.name);
        run.WriteScenario(Drive("0:0", 3, 20, c.faults));
        ASSERT_TRUE(run.Start());
        ASSERT_TRUE(run.WaitForEnabled(IdOk, true));
        ASSERT_TRUE(run.Click(IdDlDefaultCompat));
        run.NextTab();
        ASSERT_TRUE(run.Click(IdRDefaultCompat));
        ASSERT_TRUE(WaitUntil([&] { return run.Checked(IdRDefaultCompat); }, 2000));
        const size_t before = run.Commands().size();
        ASSERT_TRUE(run.Click(IdOk));
        Abuse(run);
        EXPECT_EQ(nullptr, run.WaitForBox(0)) << "the change was over before the abuse";
        HWND box = run.WaitForBox();
        ASSERT_NE(nullptr, box);
        Abuse(run);
        Sleep(Scaled(300));
        EXPECT_TRUE(IsWindowVisible(box)) << "the result box went unanswered";
        EXPECT_EQ(c.text, MessageBoxText(box));
        EXPECT_EQ(box, run.WaitForBox(0)) << "a second box";
        const int controls[] = {IdDriveList, IdCancel, IdOk};
        for (int id : controls) {
            EXPECT_FALSE(run.Enabled(id)) << "control " << id << " usable under the result box";
        }
        ASSERT_TRUE(run.AnswerBox(box));
        if (c.ends) {
            DWORD exitCode = 99;
            EXPECT_TRUE(run.WaitForExit(10000, &exitCode));
            EXPECT_EQ(0u, exitCode);
        } else {
            EXPECT_TRUE(run.WaitForEnabled(IdCancel, true));
            EXPECT_TRUE(run.WaitForEnabled(IdOk, true)) << "the poll gives OK back";
            Sleep(Scaled(300));
            EXPECT_FALSE(run.Program().HasExited());
            EXPECT_EQ(nullptr, run.WaitForBox(0)) << "a queued command ran after the result";
        }
        EXPECT_EQ(change, CdbsOf(run.CommandsAfter(before)));
        EXPECT_EQ(std::vector<std::string>(), run.OverlapNotes());
        EXPECT_NE(std::string::npos, run.StateFile().find(c.changesLeft)) << run.StateFile();
    }
}

// What the user meets when no drive can be reached, on each transport path.
struct StartFailure {
    DiscmodePath path;
    const char* name;
    const char* status;
    const char* caption;
    const char* text;
};

TEST(DiscmodeStart, NoDriveOnEachPath) {
    const StartFailure cases[] = {
        {DiscmodePath::Nt, "nt", "SPTI ERROR", "BookType Setting Utility",
         "Target dirve is not found correctly."},
        {DiscmodePath::AspiWine, "wine-aspi", "ASPI32 ERROR", "BookType Setting Utility",
         "Target dirve is not found correctly."},
        {DiscmodePath::AspiEmulator, "no-target", "ASPI32 Ready", "BookType Setting Utility",
         "Target dirve is not found correctly."},
        {DiscmodePath::AspiMissing, "no-aspi", nullptr, "ASPI32 error", "wnaspi32.dll not found"},
    };
    for (const StartFailure& c : cases) {
        DiscmodeSession run(std::string("start-") + c.name);
        run.WriteScenario(Device("0:0", "kind = disk"));
        ASSERT_TRUE(run.Start(c.path, false)) << c.name << ": no message box";
        HWND box = run.WaitForBox();
        ASSERT_NE(nullptr, box);
        EXPECT_EQ(c.caption, WindowText(box)) << c.name;
        EXPECT_EQ(c.text, MessageBoxText(box)) << c.name;
        if (c.status != nullptr) {
            HWND dialog = NULL;
            for (HWND window : TopLevelWindows(run.Program().ProcessId())) {
                if (GetDlgItem(window, IdDriveList) != NULL) {
                    dialog = window;
                }
            }
            ASSERT_NE(nullptr, dialog) << c.name;
            EXPECT_EQ(c.status, ControlText(dialog, IdStatus)) << c.name;
        }
        ASSERT_TRUE(run.AnswerBox(box));
        DWORD exitCode = 99;
        ASSERT_TRUE(run.WaitForExit(10000, &exitCode)) << c.name;
        EXPECT_EQ(0u, exitCode) << c.name;
    }
}

// The Japanese system: template MAINDIALOG and the Japanese texts, which reach
// the window functions as code page 932 bytes (this program runs in that code
// page too, so what it reads back is comparable byte for byte).
TEST(DiscmodeJapanese, TemplateAndTextsAreJapanese) {
    ASSERT_EQ(932u, GetACP()) << "run this case under a Japanese locale";
    DiscmodeSession run("japanese");
    run.WriteScenario(Drive("0:0", 3, 7));
    ASSERT_TRUE(run.Start());
    EXPECT_EQ("BookType Setting Utility", WindowText(run.Dialog()));
    EXPECT_EQ("\x8E\xC0\x8D\x73", run.Text(IdOk)) << "OK reads \"jikkou\"";
    // "henkou kanou kaisuu wa, ato 7 kai desu."
    EXPECT_TRUE(run.WaitForText(IdStatus, "\x95\xCF\x8D\x58\x89\xC2\x94\x5C\x89\xF1\x90\x94"
                                          "\x82\xCD\x81\x41\x82\xA0\x82\xC6"
                                          "7"
                                          "\x89\xF1\x82\xC5\x82\xB7\x81\x42"))
        << run.Text(IdStatus);
    ASSERT_TRUE(run.WaitForEnabled(IdOk, true));
    ASSERT_TRUE(run.Click(IdOk));
    HWND box = run.WaitForBox();
    ASSERT_NE(nullptr, box);
    EXPECT_EQ("BookType Setting Utility", WindowText(box));
    // "settei wo henkou shimashita."
    EXPECT_EQ("\x90\xDD\x92\xE8\x82\xF0\x95\xCF\x8D\x58\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42",
              MessageBoxText(box));
    ASSERT_TRUE(run.AnswerBox(box));
    EXPECT_TRUE(run.WaitForExit(10000, nullptr));
}

} // namespace
