// The built discmode.exe under Wine, driven from outside as a user would, against
// the drive emulator: what the dialog shows for each kind of drive, the disc poll,
// the change flow with its results, the dialog under abuse during a change, the
// drive's memory across runs, and the start-up failures of each transport path.
#include "CommandText.h"
#include "DiscmodeSession.h"
#include "TimeScale.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The end of a run: the program ends by itself with exit code 0.
void ExpectExit(DiscmodeSession& run) {
    DWORD exitCode = 99;
    ASSERT_TRUE(run.WaitForExit(10000, &exitCode)) << "the program did not end";
    EXPECT_EQ(0u, exitCode);
}

// The box on show answered with OK, then the end of the program.
void AnswerAndExpectExit(DiscmodeSession& run, const BoxSeen& box) {
    ASSERT_TRUE(AnswerBox(box)) << "the box could not be answered";
    ExpectExit(run);
}

// Cancel pressed, then the end of the program.
void CancelAndExpectExit(DiscmodeSession& run) {
    ASSERT_TRUE(run.Click(IdCancel)) << "Cancel is not available";
    ExpectExit(run);
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
        CancelAndExpectExit(run);
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

// One change made with OK on a version-3 drive with 20 changes left: the radio
// buttons clicked in order (IdTabs: the next tab), the drive's faults, the
// commands OK sends, the result box, and the lines the drive's state file holds
// afterwards. A complete success ends the program; after a failure the dialog
// stays open and usable.
struct ChangeCase {
    const char* name;
    std::vector<int> clicks;
    const char* faults;
    std::vector<std::string> commands;
    const char* box;
    std::vector<const char*> state;
};

// Both defaults to Compatibility, the DVD+R DL temporary setting applied, and the
// DVD+R temporary value to Compatibility.
const std::vector<int> MixedClicks = {IdDlDefaultCompat, IdDlSelectTemporary, IdTabs,
                                      IdRDefaultCompat, IdRTemporaryCompat};
const std::vector<std::string> MixedCommands = {SetDefaultCdb(2, 0x00), SelectCdb(2, 1),
                                                SetDefaultCdb(0, 0x00), SetTemporaryCdb(0, 0x00)};

// clang-format off
const ChangeCase ChangeCases[] = {
    {"nothing-changed", {}, "", {}, "Change is completed.", {}},
    // Every setting of both media: the commands go out in the fixed order.
    {"all-changes", {IdDlDefaultCompat, IdDlTemporaryCompat, IdDlSelectTemporary, IdTabs,
                     IdRDefaultCompat, IdRTemporaryCompat, IdRSelectTemporary}, "",
     {SetDefaultCdb(2, 0x00), SetTemporaryCdb(2, 0x00), SelectCdb(2, 1),
      SetDefaultCdb(0, 0x00), SetTemporaryCdb(0, 0x00), SelectCdb(0, 1)},
     "Change is completed.",
     {"changes-left = 18", "dl-default = 00", "dl-temporary = 00", "dl-applies = temporary",
      "r-default = 00", "r-temporary = 00", "r-applies = temporary"}},
    // Failures are named by what failed; every differing command is still sent.
    {"failure-1", MixedClicks, "fault = C9/01#1 check 5/2C/00\n", MixedCommands,
     "Failed to set default value of DVD+R DL.", {"changes-left = 19"}},
    {"failure-2", MixedClicks, "fault = C9/01 check 5/2C/00\n", MixedCommands,
     "Failed to set default value of DVD+R & DVD+R DL.", {"changes-left = 20"}},
    {"failure-3", MixedClicks, "fault = C9/04#1 check 5/24/00\n", MixedCommands,
     "Some failure occurred to set .", {"changes-left = 18"}},
    {"failure-4", MixedClicks, "fault = C9/01#1 check 5/2C/00\nfault = C9/03#1 check 5/2C/00\n",
     MixedCommands, "Some failure occurred to set .", {"changes-left = 19"}},
};
// clang-format on

// Makes the clicks of a change; false when one could not be made.
bool MakeClicks(DiscmodeSession& run, const std::vector<int>& clicks) {
    for (int id : clicks) {
        if (id == IdTabs) {
            run.NextTab();
        } else if (!run.ClickRadio(id) || !run.Checked(id)) {
            return false;
        }
    }
    return true;
}

TEST(DiscmodeChange, CommandsBoxAndDriveMemoryOfEachChange) {
    for (const ChangeCase& c : ChangeCases) {
        SCOPED_TRACE(c.name);
        DiscmodeSession run(c.name);
        run.WriteScenario(Drive("0:0", 3, 20, c.faults));
        ASSERT_TRUE(run.Start());
        ASSERT_TRUE(run.WaitForEnabled(IdOk, true));
        ASSERT_TRUE(MakeClicks(run, c.clicks)) << "a click could not be made";
        ASSERT_TRUE(run.WaitForEnabled(IdOk, true));
        const size_t before = run.Commands().size();
        ASSERT_TRUE(run.Click(IdOk));
        const BoxSeen box = run.WaitForBox();
        ASSERT_NE(nullptr, box.window) << "no result box";
        EXPECT_EQ("BookType Setting Utility", box.caption);
        EXPECT_EQ(c.box, box.text);
        EXPECT_EQ(c.commands, CdbTexts(run.CommandsAfter(before)));
        if (std::string(c.box) == "Change is completed.") {
            AnswerAndExpectExit(run, box);
        } else {
            ASSERT_TRUE(AnswerBox(box));
            // The dialog stays open, and the user can still leave or pick a drive.
            EXPECT_FALSE(run.Program().HasExited());
            EXPECT_TRUE(run.WaitForEnabled(IdDriveList, true));
            EXPECT_TRUE(run.WaitForEnabled(IdCancel, true));
            EXPECT_TRUE(run.WaitForEnabled(IdOk, true)) << "the poll gives OK back";
            CancelAndExpectExit(run);
        }
        const std::string state = run.StateFile();
        for (const char* line : c.state) {
            EXPECT_NE(std::string::npos, state.find(line)) << line << " in\n" << state;
        }
    }
}

TEST(DiscmodeChange, RetryAfterAFailureSendsOnlyWhatStillDiffers) {
    DiscmodeSession run("retry");
    run.WriteScenario(Drive("0:0", 3, 30, "fault = C9/01#1 check 5/2C/00\n"));
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.WaitForEnabled(IdOk, true));
    ASSERT_TRUE(MakeClicks(run, {IdDlDefaultCompat, IdTabs, IdRDefaultCompat}));
    size_t before = run.Commands().size();
    ASSERT_TRUE(run.Click(IdOk));
    BoxSeen box = run.WaitForBox();
    ASSERT_NE(nullptr, box.window);
    EXPECT_EQ("Failed to set default value of DVD+R DL.", box.text);
    EXPECT_EQ((std::vector<std::string>{SetDefaultCdb(2, 0), SetDefaultCdb(0, 0)}),
              CdbTexts(run.CommandsAfter(before)));
    // The DVD+R default went through: its Current Value is the new one; the DVD+R DL
    // default that failed still shows the drive's.
    EXPECT_EQ("DVD-ROM", run.Text(IdRDefaultBox));
    EXPECT_EQ("DVD+R DL", run.Text(IdDlDefaultBox));
    ASSERT_TRUE(AnswerBox(box));
    // One default change went through: the shown count says so.
    EXPECT_TRUE(run.WaitForText(IdStatus, "Possible set count is 29 left.")) << run.Text(IdStatus);

    ASSERT_TRUE(run.WaitForEnabled(IdOk, true));
    before = run.Commands().size();
    ASSERT_TRUE(run.Click(IdOk));
    box = run.WaitForBox();
    ASSERT_NE(nullptr, box.window);
    EXPECT_EQ("Change is completed.", box.text);
    const std::vector<std::string> retry = {ReadCdb(2, 0), ReadCdb(2, 1), ReadCdb(0, 0),
                                            ReadCdb(0, 1), SetDefaultCdb(2, 0)};
    EXPECT_EQ(retry, CdbTexts(run.CommandsAfter(before)))
        << "the drive's settings read again, then only what still differs: the DVD+R default "
           "that succeeded is not sent again";
    AnswerAndExpectExit(run, box);
    EXPECT_NE(std::string::npos, run.StateFile().find("changes-left = 28"));
}

TEST(DiscmodeChange, SecondRunShowsWhatTheFirstLeft) {
    DiscmodeSession run("persist");
    run.WriteScenario(Drive("0:0", 3, 8));
    {
        ASSERT_TRUE(run.Start());
        ASSERT_TRUE(run.WaitForEnabled(IdOk, true));
        ASSERT_TRUE(MakeClicks(run, {IdDlDefaultCompat}));
        ASSERT_TRUE(run.Click(IdOk));
        BoxSeen box = run.WaitForBox();
        ASSERT_NE(nullptr, box.window);
        ASSERT_NO_FATAL_FAILURE(AnswerAndExpectExit(run, box));
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
        ExpectExit(run);
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
    const std::vector<std::string> change = {SetDefaultCdb(2, 0), SetDefaultCdb(0, 0)};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DiscmodeSession run(c.name);
        run.WriteScenario(Drive("0:0", 3, 20, c.faults));
        ASSERT_TRUE(run.Start());
        ASSERT_TRUE(run.WaitForEnabled(IdOk, true));
        ASSERT_TRUE(MakeClicks(run, {IdDlDefaultCompat, IdTabs, IdRDefaultCompat}));
        const size_t before = run.Commands().size();
        ASSERT_TRUE(run.Click(IdOk));
        Abuse(run);
        EXPECT_EQ(nullptr, run.WaitForBox(0).window) << "the change was over before the abuse";
        BoxSeen box = run.WaitForBox();
        ASSERT_NE(nullptr, box.window);
        Abuse(run);
        Sleep(Scaled(300));
        EXPECT_TRUE(IsWindowVisible(box.window)) << "the result box went unanswered";
        EXPECT_EQ(c.text, box.text);
        EXPECT_EQ(box.window, run.WaitForBox(0).window) << "a second box";
        const int controls[] = {IdDriveList, IdCancel, IdOk};
        for (int id : controls) {
            EXPECT_FALSE(run.Enabled(id)) << "control " << id << " usable under the result box";
        }
        if (c.ends) {
            AnswerAndExpectExit(run, box);
        } else {
            ASSERT_TRUE(AnswerBox(box));
            EXPECT_TRUE(run.WaitForEnabled(IdCancel, true));
            EXPECT_TRUE(run.WaitForEnabled(IdOk, true)) << "the poll gives OK back";
            Sleep(Scaled(300));
            EXPECT_FALSE(run.Program().HasExited());
            EXPECT_EQ(nullptr, run.WaitForBox(0).window) << "a queued command ran after the result";
        }
        EXPECT_EQ(change, CdbTexts(run.CommandsAfter(before)));
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
        BoxSeen box = run.WaitForBox();
        ASSERT_NE(nullptr, box.window);
        EXPECT_EQ(c.caption, box.caption) << c.name;
        EXPECT_EQ(c.text, box.text) << c.name;
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
        AnswerAndExpectExit(run, box);
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
    BoxSeen box = run.WaitForBox();
    ASSERT_NE(nullptr, box.window);
    EXPECT_EQ("BookType Setting Utility", box.caption);
    // "settei wo henkou shimashita."
    EXPECT_EQ("\x90\xDD\x92\xE8\x82\xF0\x95\xCF\x8D\x58\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42",
              box.text);
    AnswerAndExpectExit(run, box);
}

} // namespace
