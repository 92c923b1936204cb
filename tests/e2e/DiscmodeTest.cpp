// The built discmode.exe under Wine, driven from outside as a user would, against
// the drive emulator: the rows of the dialog's behaviour tables (DiscmodeTables.h)
// that need the program itself, the drive's memory across runs, the dialog under
// abuse during a change, and the start-up failures of each transport path.
#include "CommandText.h"
#include "DiscmodeTables.h"
#include "TimeScale.h"
#include "ToolSession.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// The built program, a run of its own for each dialog, over the emulator in the
// program's wnaspi32.dll.
class ProgramLevel : public DiscmodeLevel {
public:
    bool Open(const std::string& name, const std::string& settings) override {
        run.reset(new ToolSession("discmode", name));
        run->WriteScenario(Device("0:0", settings));
        return run->Start();
    }
    DialogDriver& Driver() override { return *run; }
    bool SetDisc(bool loaded) override { return run->SetDisc("0:0", loaded); }
    std::vector<zalemu::CommandRecord> Commands() override { return run->Commands(); }
    std::string DriveMemory() override { return run->StateFile(); }
    bool Ended() override { return run->Program().HasExited(); }
    void ExpectEnd() override {
        DWORD exitCode = 99;
        ASSERT_TRUE(run->WaitForExit(10000, &exitCode)) << "the program did not end";
        EXPECT_EQ(0u, exitCode);
    }
    DWORD ReactionMs() const override { return 2000; }

    std::unique_ptr<ToolSession> run;
};

// The program shows its dialog over a drive as it starts.
TEST(DiscmodeDialog, ShowsTheDriveByItsCommandVersion) {
    ExpectRows<ProgramLevel>(BuiltRows(PageRows), [](DiscmodeLevel& level, const PageRow& row) {
        ASSERT_NO_FATAL_FAILURE(ExpectPage(level, row));
        CancelAndExpectEnd(level);
    });
}

// The disc changes in the drive's state file, from outside the program's process.
TEST(DiscmodeDialog, DiscInsertedAndRemovedWhileRunning) {
    ExpectRows<ProgramLevel>(BuiltRows(DiscRows), ExpectDiscInsertedAndRemoved);
}

// A complete change ends the program.
TEST(DiscmodeChange, CommandsBoxAndDriveMemoryOfEachChange) {
    ExpectRows<ProgramLevel>(BuiltRows(ChangeRows), ExpectChange);
}

TEST(DiscmodeChange, SecondRunShowsWhatTheFirstLeft) {
    const ChangeRow first = {"persist",
                             "changes-left = 8",
                             {IDC_DL_DEFAULT_COMPAT},
                             {SetDefaultCdb(2, 0x00)},
                             ChangeCompleted,
                             {},
                             nullptr,
                             {},
                             {"changes-left = 7"},
                             true};
    ProgramLevel level;
    ASSERT_NO_FATAL_FAILURE(ExpectChange(level, first));
    ToolSession second("discmode", "persist-second");
    // The same drive memory: the first run's scenario and state file.
    CopyFileA((level.run->Folder() + "\\drive.state").c_str(),
              (second.Folder() + "\\drive.state").c_str(), FALSE);
    second.WriteScenario(Device("0:0", first.drive));
    ASSERT_TRUE(second.Start());
    EXPECT_TRUE(second.Checked(IDC_DL_DEFAULT_COMPAT));
    EXPECT_EQ("DVD-ROM", second.Text(IDC_DL_DEFAULT_VALUE));
    EXPECT_TRUE(second.WaitForText(IDC_STATUS, "Possible set count is 7 left."));
}

// Everything that reaches the dialog queued behind a busy dialog's thread or
// while a result box is open: OK and Cancel clicked again, the close box,
// Escape, Alt+F4, Enter, the drive list as far as it can be used, and the end of
// the Windows session.
void Abuse(ToolSession& run) {
    for (int id : {IDOK, IDCANCEL, IDOK}) {
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
        {"abuse-success", "fault = C9/01#1 late 3000\n", ChangeCompleted, true,
         "changes-left = 18"},
    };
    // Both defaults to Compatibility: DVD+R DL first, then DVD+R.
    const std::vector<std::string> change = {SetDefaultCdb(2, 0), SetDefaultCdb(0, 0)};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ProgramLevel level;
        ASSERT_TRUE(level.Open(c.name, std::string("changes-left = 20\n") + c.faults));
        ToolSession& run = *level.run;
        ASSERT_TRUE(run.WaitForEnabled(IDOK, true));
        ASSERT_TRUE(MakeClicks(run, {IDC_DL_DEFAULT_COMPAT, IDC_TAB, IDC_PLUSR_DEFAULT_COMPAT}));
        const size_t before = run.Commands().size();
        ASSERT_TRUE(run.Click(IDOK));
        Abuse(run);
        EXPECT_EQ(nullptr, run.WaitForBox(0).window) << "the change was over before the abuse";
        BoxSeen box = run.WaitForBox();
        ASSERT_NE(nullptr, box.window);
        Abuse(run);
        EXPECT_TRUE(run.Flush()) << "the dialog did not take the abuse";
        EXPECT_TRUE(IsWindowVisible(box.window)) << "the result box went unanswered";
        EXPECT_EQ(c.text, box.text);
        EXPECT_EQ(box.window, run.WaitForBox(0).window) << "a second box";
        for (int id : {IDC_DRIVE_LIST, IDCANCEL, IDOK}) {
            EXPECT_FALSE(run.Enabled(id)) << "control " << id << " usable under the result box";
        }
        ASSERT_TRUE(AnswerBox(box));
        if (c.ends) {
            level.ExpectEnd();
        } else {
            EXPECT_TRUE(run.WaitForEnabled(IDCANCEL, true));
            EXPECT_TRUE(run.WaitForEnabled(IDOK, true)) << "the poll gives OK back";
            EXPECT_TRUE(run.Flush());
            EXPECT_TRUE(AwaitPolls(level, run.Commands().size(), 2, 5000)) << "no more polls";
            EXPECT_FALSE(run.Program().HasExited());
            EXPECT_EQ(nullptr, run.WaitForBox(0).window) << "a queued command ran after the result";
        }
        EXPECT_EQ(change, SentAfter(level, before));
        EXPECT_EQ(std::vector<std::string>(), run.OverlapNotes());
        EXPECT_NE(std::string::npos, run.StateFile().find(c.changesLeft)) << run.StateFile();
    }
}

// What the user meets when no drive can be reached, on each transport path but
// the emulator's ASPI, which the dialog's own tests take (DialogTest.cpp).
TEST(DiscmodeStart, NoDriveOnEachPath) {
    const char* const notFound = "Target dirve is not found correctly.";
    const StartFailure cases[] = {
        {"nt", ProgramPath::Nt, "kind = disk", DiscmodeTitle, notFound, IDC_STATUS, "SPTI ERROR",
         false},
        {"wine-aspi", ProgramPath::AspiWine, "kind = disk", DiscmodeTitle, notFound, IDC_STATUS,
         "ASPI32 ERROR", false},
        {"no-aspi", ProgramPath::AspiMissing, "kind = disk", "ASPI32 error",
         "wnaspi32.dll not found", 0, nullptr, false},
    };
    for (const StartFailure& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectStartFailure("discmode", c);
    }
}

// A drive at 1:5 behind empty targets, through an ASPI manager that writes each
// request's status 30 ms before it signals the request's event: each empty
// target's refusal is waited for, so no event is signalled after it was closed
// and the drive's own commands are judged by their own completion.
TEST(DiscmodeStart, FindsADriveWhoseManagerWritesStatusBeforeTheSignal) {
    ProgramLevel level;
    level.run.reset(new ToolSession("discmode", "status-before-signal"));
    level.run->WriteScenario("no-device = later\nearly-status = 30\n" +
                             Device("1:5", "changes-left = 7"));
    ASSERT_TRUE(level.run->Start()) << "the dialog did not become ready";
    EXPECT_EQ(1u, level.run->DriveListItems().size());
    EXPECT_TRUE(AwaitPolls(level, level.Commands().size(), 2, 5000)) << "no polls";
    EXPECT_EQ(nullptr, level.run->WaitForBox(0).window)
        << "a box: " << level.run->WaitForBox(0).text;
    CancelAndExpectEnd(level);
}

// The Japanese system: template MAINDIALOG and the Japanese texts, which reach
// the window functions as code page 932 bytes (this program runs in that code
// page too, so what it reads back is comparable byte for byte).
TEST(DiscmodeJapanese, TemplateAndTextsAreJapanese) {
    ASSERT_EQ(932u, GetACP()) << "run this case under a Japanese locale";
    ProgramLevel level;
    ASSERT_TRUE(level.Open("japanese", "changes-left = 7"));
    ToolSession& run = *level.run;
    EXPECT_EQ(DiscmodeTitle, WindowText(run.Dialog()));
    EXPECT_EQ("\x8E\xC0\x8D\x73", run.Text(IDOK)) << "OK reads \"jikkou\"";
    // "henkou kanou kaisuu wa, ato 7 kai desu."
    EXPECT_TRUE(run.WaitForText(IDC_STATUS, "\x95\xCF\x8D\x58\x89\xC2\x94\x5C\x89\xF1\x90\x94"
                                            "\x82\xCD\x81\x41\x82\xA0\x82\xC6"
                                            "7"
                                            "\x89\xF1\x82\xC5\x82\xB7\x81\x42"))
        << run.Text(IDC_STATUS);
    ASSERT_TRUE(run.WaitForEnabled(IDOK, true));
    ASSERT_TRUE(run.Click(IDOK));
    BoxSeen box = run.WaitForBox();
    ASSERT_NE(nullptr, box.window);
    EXPECT_EQ(DiscmodeTitle, box.caption);
    // "settei wo henkou shimashita."
    EXPECT_EQ("\x90\xDD\x92\xE8\x82\xF0\x95\xCF\x8D\x58\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42",
              box.text);
    ASSERT_TRUE(AnswerBox(box));
    level.ExpectEnd();
}

} // namespace
