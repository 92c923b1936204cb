// discmode's dialog behaviour tables and their drivers (see DiscmodeTables.h).
#include "DiscmodeTables.h"

#include "CommandText.h"
#include "TimeScale.h"

#include <gtest/gtest.h>

const char* const DiscmodeTitle = "BookType Setting Utility";
const char* const ChangeCompleted = "Change is completed.";

namespace {

const char* const DefaultLimit =
    "Default value setting can't change. Because of the default value setting count was limited.";
const std::vector<int> DefaultRadios = {IDC_DL_DEFAULT_NORMAL, IDC_DL_DEFAULT_COMPAT,
                                        IDC_PLUSR_DEFAULT_NORMAL, IDC_PLUSR_DEFAULT_COMPAT};
const int ValueBoxes[] = {IDC_DL_DEFAULT_VALUE, IDC_DL_TEMPORARY_VALUE, IDC_PLUSR_DEFAULT_VALUE,
                          IDC_PLUSR_TEMPORARY_VALUE};
// The drive's settings read again before a retry decides, for command version 3.
const std::vector<std::string> Reads = {ReadCdb(2, 0), ReadCdb(2, 1), ReadCdb(0, 0), ReadCdb(0, 1)};
// Both defaults to Compatibility, the DVD+R DL temporary setting applied, and the
// DVD+R temporary value to Compatibility; the commands that makes.
const std::vector<int> MixedClicks = {IDC_DL_DEFAULT_COMPAT, IDC_DL_APPLY_TEMPORARY, IDC_TAB,
                                      IDC_PLUSR_DEFAULT_COMPAT, IDC_PLUSR_TEMPORARY_COMPAT};
const std::vector<std::string> MixedCommands = {SetDefaultCdb(2, 0x00), SelectCdb(2, 1),
                                                SetDefaultCdb(0, 0x00), SetTemporaryCdb(0, 0x00)};

// The controls of the DVD+R DL page (0) or the DVD+R page (1): those of the page
// shown are visible, the others' hidden.
void ExpectPageShown(const DialogDriver& dialog, int page) {
    for (int id = IDC_DL_DEFAULT_NORMAL; id <= IDC_PLUSR_TEMPORARY_VALUE; ++id) {
        EXPECT_EQ((id >= IDC_PLUSR_DEFAULT_NORMAL) == (page == 1), dialog.Visible(id))
            << "control " << id << " with page " << page << " shown";
    }
}

} // namespace

// clang-format off
const std::vector<PageRow> PageRows = {
    {"command-version = 1\ndl-default = 00", 1, "1", false, false,
     {IDC_DL_DEFAULT_COMPAT, IDC_DL_APPLY_DEFAULT}, {"DVD-ROM", " -- ", " -- ", " -- "},
     "Possible set count is 50 left.", false},
    // The DVD+R DL temporary setting unreadable: no value, nothing to apply.
    {"command-version = 2\nchanges-left = 7\nfault = C9/02#2 check 5/24/00", 1, "2", true, false,
     {IDC_DL_DEFAULT_NORMAL, IDC_DL_APPLY_DEFAULT}, {"DVD+R DL", " -- ", " -- ", " -- "},
     "Possible set count is 7 left.", false},
    {"command-version = 2\nchanges-left = 7", 1, "2", true, true,
     {IDC_DL_DEFAULT_NORMAL, IDC_DL_TEMPORARY_NORMAL, IDC_DL_APPLY_DEFAULT},
     {"DVD+R DL", "DVD+R DL", " -- ", " -- "}, "Possible set count is 7 left.", false},
    {"changes-left = 7", 2, "3", true, true,
     {IDC_DL_DEFAULT_NORMAL, IDC_DL_TEMPORARY_NORMAL, IDC_DL_APPLY_DEFAULT,
      IDC_PLUSR_DEFAULT_NORMAL, IDC_PLUSR_TEMPORARY_NORMAL, IDC_PLUSR_APPLY_DEFAULT},
     {"DVD+R DL", "DVD+R DL", "DVD+R", "DVD+R"}, "Possible set count is 7 left.", true},
    {"changes-left = 51\ndl-temporary = 00\ndl-applies = temporary\n"
     "r-default = 00\nr-temporary = A0\nr-applies = temporary", 2, "3", true, true,
     {IDC_DL_DEFAULT_NORMAL, IDC_DL_TEMPORARY_COMPAT, IDC_DL_APPLY_TEMPORARY,
      IDC_PLUSR_DEFAULT_COMPAT, IDC_PLUSR_TEMPORARY_NORMAL, IDC_PLUSR_APPLY_TEMPORARY},
     {"DVD+R DL", "DVD-ROM", "DVD-ROM", "DVD+R"}, "Setting possible to change.", false},
};

const std::vector<CountRow> CountRows = {
    {"changes-left = 0\ndl-default = E0\nr-default = 00", DefaultLimit,
     {IDC_DL_DEFAULT_COMPAT, IDC_PLUSR_DEFAULT_NORMAL}, true, true},
    {"changes-left = 0\ndl-default = 00\nr-default = A0", DefaultLimit,
     {IDC_DL_DEFAULT_NORMAL, IDC_PLUSR_DEFAULT_COMPAT}, true, true},
    {"changes-left = 7", "Possible set count is 7 left.", {}, true, true},
    {"command-version = 2\nchanges-left = 7", "Possible set count is 7 left.", {}, true, true},
    {"changes-left = 50", "Possible set count is 50 left.", {}, true, true},
    {"changes-left = 51", "Setting possible to change.", {}, true, true},
    {"changes-left = 256", "Setting possible to change.", {}, true, true},
    // A drive with nothing to change is not polled, and OK is never offered.
    {"changes-left = 0\ncommand-version = 1\ndl-default = 00",
     "No more change is allowed due to the count limit.", {IDC_DL_DEFAULT_NORMAL}, false, false},
};

const std::vector<DiscRow> DiscRows = {
    {"changes-left = 12\nload-time = 300", true},
    {"command-version = 1\nchanges-left = 12\nload-time = 300", false},
};

const std::vector<ChangeRow> ChangeRows = {
    // name, drive, clicks, commands, box, Current Values and status after a failure, retry,
    // the drive's memory afterwards, built program
    {"nothing-changed", "changes-left = 20", {}, {}, ChangeCompleted, {}, nullptr, {},
     {"changes-left = 20"}, false},
    // Every setting of both media: the commands go out in the fixed order.
    {"all-changes", "changes-left = 20",
     {IDC_DL_DEFAULT_COMPAT, IDC_DL_TEMPORARY_COMPAT, IDC_DL_APPLY_TEMPORARY, IDC_TAB,
      IDC_PLUSR_DEFAULT_COMPAT, IDC_PLUSR_TEMPORARY_COMPAT, IDC_PLUSR_APPLY_TEMPORARY},
     {SetDefaultCdb(2, 0x00), SetTemporaryCdb(2, 0x00), SelectCdb(2, 1),
      SetDefaultCdb(0, 0x00), SetTemporaryCdb(0, 0x00), SelectCdb(0, 1)},
     ChangeCompleted, {}, nullptr, {},
     {"changes-left = 18", "dl-default = 00", "dl-temporary = 00", "dl-applies = temporary",
      "r-default = 00", "r-temporary = 00", "r-applies = temporary"}, true},
    // Failures are named by what failed; every differing command is still sent.
    {"failure-1", "changes-left = 20\nfault = C9/01#1 check 5/2C/00", MixedClicks, MixedCommands,
     "Failed to set default value of DVD+R DL.", {}, nullptr, {}, {"changes-left = 19"}, false},
    {"failure-2", "changes-left = 20\nfault = C9/01 check 5/2C/00", MixedClicks, MixedCommands,
     "Failed to set default value of DVD+R & DVD+R DL.", {}, nullptr, {}, {"changes-left = 20"},
     false},
    {"failure-3", "changes-left = 20\nfault = C9/04#1 check 5/24/00", MixedClicks, MixedCommands,
     "Some failure occurred to set .", {}, nullptr, {}, {"changes-left = 18"}, false},
    {"failure-4", "changes-left = 20\nfault = C9/01#1 check 5/2C/00\nfault = C9/03#1 check 5/2C/00",
     MixedClicks, MixedCommands, "Some failure occurred to set .", {}, nullptr, {},
     {"changes-left = 19"}, false},
    // The retry sends again only what did not go through: the select, or the
    // DVD+R DL default (the DVD+R default that went through shows its new value).
    {"retry-select", "changes-left = 5\nfault = C9/04#1 check 5/2C/00",
     {IDC_DL_DEFAULT_COMPAT, IDC_DL_TEMPORARY_NORMAL, IDC_DL_APPLY_TEMPORARY},
     {SetDefaultCdb(2, 0x00), SelectCdb(2, 1)}, "Some failure occurred to set .", {},
     "Possible set count is 4 left.", {SelectCdb(2, 1)}, {"changes-left = 4"}, false},
    {"retry-default", "changes-left = 30\nfault = C9/01#1 check 5/2C/00",
     {IDC_DL_DEFAULT_COMPAT, IDC_TAB, IDC_PLUSR_DEFAULT_COMPAT},
     {SetDefaultCdb(2, 0x00), SetDefaultCdb(0, 0x00)}, "Failed to set default value of DVD+R DL.",
     {{IDC_PLUSR_DEFAULT_VALUE, "DVD-ROM"}, {IDC_DL_DEFAULT_VALUE, "DVD+R DL"}},
     "Possible set count is 29 left.", {SetDefaultCdb(2, 0x00)}, {"changes-left = 28"}, false},
};
// clang-format on

void CancelAndExpectEnd(DiscmodeLevel& level) {
    ASSERT_TRUE(level.Driver().Click(IDCANCEL)) << "Cancel is not available";
    level.ExpectEnd();
}

bool MakeClicks(DialogDriver& dialog, const std::vector<int>& clicks) {
    for (int id : clicks) {
        if (id == IDC_TAB) {
            dialog.NextTab();
        } else if (!dialog.WaitForEnabled(id, true) || !dialog.ClickRadio(id) ||
                   !dialog.Checked(id)) {
            return false;
        }
    }
    return true;
}

bool AwaitPolls(DiscmodeLevel& level, size_t skip, size_t polls, DWORD timeoutMs,
                const std::string& from) {
    return WaitUntil(
        [&] {
            const std::vector<zalemu::CommandRecord> all = level.Commands();
            size_t seen = 0;
            for (size_t i = skip; i < all.size(); ++i) {
                if (all[i].Opcode() == 0x00 &&
                    (seen > 0 || from.empty() || all[i].outcome == from)) {
                    ++seen;
                }
            }
            return seen >= polls;
        },
        timeoutMs);
}

std::vector<std::string> SentAfter(DiscmodeLevel& level, size_t skip) {
    const std::vector<zalemu::CommandRecord> all = level.Commands();
    std::vector<std::string> sent;
    for (size_t i = skip; i < all.size(); ++i) {
        if (all[i].Opcode() != 0x00) {
            sent.push_back(CdbText(all[i]));
        }
    }
    return sent;
}

void ExpectPage(DiscmodeLevel& level, const PageRow& row) {
    SCOPED_TRACE(row.drive);
    ASSERT_TRUE(level.Open("page", std::string("vendor = VENDOR12\nproduct = PRODUCT-NAME-16C\n") +
                                       row.drive))
        << "no dialog";
    DialogDriver& dialog = level.Driver();
    EXPECT_EQ(DiscmodeTitle, WindowText(dialog.Dialog()));
    EXPECT_EQ(std::vector<std::string>{"[HA:0/ID:0]VENDOR12PRODUCT-NAME-16C"},
              dialog.DriveListItems());
    EXPECT_EQ(0, dialog.DriveListSelection());
    ASSERT_EQ(row.tabs, dialog.TabCount());
    EXPECT_EQ(0, dialog.TabSelection());
    EXPECT_EQ(row.version, dialog.Text(IDC_COMMAND_VERSION));
    for (int id : {IDC_TEMPORARY_LABEL, IDC_DL_TEMPORARY_NORMAL, IDC_DL_TEMPORARY_COMPAT,
                   IDC_DL_TEMPORARY_VALUE}) {
        EXPECT_EQ(row.temporaryRow, dialog.Enabled(id)) << "control " << id;
    }
    EXPECT_TRUE(dialog.Enabled(IDC_DL_APPLY_DEFAULT)) << "never disabled";
    // The Select Setting radio of the Temporary row only once a value is chosen.
    EXPECT_EQ(row.dlApplyTemporary, dialog.Enabled(IDC_DL_APPLY_TEMPORARY));
    std::vector<int> radios;
    for (int id = IDC_DL_DEFAULT_NORMAL; id <= IDC_PLUSR_APPLY_TEMPORARY; ++id) {
        if (id < IDC_DL_DEFAULT_VALUE || id > IDC_DL_TEMPORARY_VALUE) {
            radios.push_back(id);
        }
    }
    EXPECT_EQ(row.checked, dialog.CheckedOf(radios));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(row.values[i], dialog.Text(ValueBoxes[i])) << "box " << ValueBoxes[i];
    }
    ExpectPageShown(dialog, 0);
    EXPECT_TRUE(dialog.WaitForText(IDC_STATUS, row.status)) << "shown: " << dialog.Text(IDC_STATUS);
    EXPECT_TRUE(dialog.Enabled(IDC_DRIVE_LIST));
    EXPECT_TRUE(dialog.Enabled(IDCANCEL));
    EXPECT_TRUE(dialog.WaitForEnabled(IDOK, true)) << "no disc: OK after the poll";
    if (row.tabs == 2) {
        dialog.NextTab();
        EXPECT_EQ(1, dialog.TabSelection());
        ExpectPageShown(dialog, 1);
        dialog.PreviousTab();
        EXPECT_EQ(0, dialog.TabSelection());
        ExpectPageShown(dialog, 0);
    }
    if (row.temporaryRow && !row.dlApplyTemporary) {
        // Choosing a temporary value offers to apply it, with the next poll.
        EXPECT_TRUE(dialog.ClickRadio(IDC_DL_TEMPORARY_COMPAT));
        EXPECT_TRUE(dialog.WaitForEnabled(IDC_DL_APPLY_TEMPORARY, true, level.ReactionMs()));
    }
}

void ExpectCount(DiscmodeLevel& level, const CountRow& row) {
    SCOPED_TRACE(row.drive);
    ASSERT_TRUE(level.Open("count", row.drive)) << "no dialog";
    DialogDriver& dialog = level.Driver();
    EXPECT_TRUE(dialog.WaitForText(IDC_STATUS, row.status)) << "shown: " << dialog.Text(IDC_STATUS);
    EXPECT_TRUE(dialog.WaitForEnabled(IDOK, row.ok));
    // Nor does OK come or go with the next polls (over a span where there are none).
    EXPECT_EQ(row.polled, AwaitPolls(level, level.Commands().size(), 2, row.polled ? 5000 : 400));
    EXPECT_EQ(row.ok, dialog.Enabled(IDOK));
    bool polled = false;
    for (const zalemu::CommandRecord& record : level.Commands()) {
        polled = polled || record.Opcode() == 0x00;
    }
    EXPECT_EQ(row.polled, polled) << "a TEST UNIT READY sent";
    std::vector<int> locked;
    for (int id : DefaultRadios) {
        if (!dialog.Enabled(id)) {
            locked.push_back(id);
        }
    }
    EXPECT_EQ(row.lockedDefaults, locked);
    CancelAndExpectEnd(level);
}

void ExpectDiscInsertedAndRemoved(DiscmodeLevel& level, const DiscRow& row) {
    SCOPED_TRACE(row.drive);
    const char* const noDisc = "Possible set count is 12 left.";
    const char* const eject = "Try again after DISC Ejected.";
    ASSERT_TRUE(level.Open("disc", row.drive)) << "no dialog";
    DialogDriver& dialog = level.Driver();
    const DWORD react = level.ReactionMs();
    ASSERT_TRUE(dialog.WaitForEnabled(IDOK, true));
    EXPECT_TRUE(dialog.WaitForText(IDC_STATUS, noDisc));
    const size_t inserted = level.Commands().size();
    ASSERT_TRUE(level.SetDisc(true));
    EXPECT_TRUE(dialog.WaitForEnabled(IDOK, false, react)) << "a disc disables OK";
    EXPECT_TRUE(dialog.WaitForText(IDC_STATUS, eject, react));
    // Once the disc is ready (a poll answered "good") and the next poll: OK stays off.
    EXPECT_TRUE(AwaitPolls(level, inserted, 2, 5000, "good")) << "the disc never became ready";
    EXPECT_FALSE(dialog.Enabled(IDOK));
    EXPECT_EQ(eject, dialog.Text(IDC_STATUS));
    ASSERT_TRUE(level.SetDisc(false));
    EXPECT_TRUE(dialog.WaitForEnabled(IDOK, true, react)) << "removing it gives OK back";
    EXPECT_TRUE(dialog.WaitForText(IDC_STATUS, noDisc, react));
    CancelAndExpectEnd(level);
}

void ExpectChange(DiscmodeLevel& level, const ChangeRow& row) {
    SCOPED_TRACE(row.name);
    ASSERT_TRUE(level.Open(row.name, row.drive)) << "no dialog";
    DialogDriver& dialog = level.Driver();
    ASSERT_TRUE(dialog.WaitForEnabled(IDOK, true));
    ASSERT_TRUE(MakeClicks(dialog, row.clicks)) << "a click could not be made";
    ASSERT_TRUE(dialog.WaitForEnabled(IDOK, true));
    size_t before = level.Commands().size();
    ASSERT_TRUE(dialog.Click(IDOK));
    const BoxSeen box = dialog.WaitForBox();
    ASSERT_NE(nullptr, box.window) << "no result box";
    EXPECT_EQ(DiscmodeTitle, box.caption);
    EXPECT_EQ(row.box, box.text);
    EXPECT_FALSE(box.owned) << "boxes have no owner window";
    EXPECT_TRUE(box.topmost) << "system-modal";
    EXPECT_EQ(row.commands, SentAfter(level, before));
    for (const auto& value : row.shown) {
        EXPECT_EQ(value.second, dialog.Text(value.first)) << "box " << value.first;
    }
    if (row.box == std::string(ChangeCompleted)) {
        EXPECT_FALSE(level.Ended()) << "the dialog ends once the box is closed";
        ASSERT_TRUE(AnswerBox(box));
        level.ExpectEnd();
    } else {
        // While the box is open nothing else can be started or ended.
        for (int id : {IDC_DRIVE_LIST, IDCANCEL, IDOK}) {
            EXPECT_FALSE(dialog.Enabled(id)) << "control " << id << " while the box is open";
        }
        dialog.PostCommand(IDCANCEL);
        EXPECT_TRUE(dialog.Flush()) << "the dialog did not take its messages";
        EXPECT_FALSE(level.Ended()) << "the close box and Escape wait for the result box";
        ASSERT_TRUE(AnswerBox(box));
        // The dialog stays open, and the user can still leave, pick a drive or retry.
        EXPECT_FALSE(level.Ended());
        EXPECT_TRUE(dialog.WaitForEnabled(IDC_DRIVE_LIST, true));
        EXPECT_TRUE(dialog.WaitForEnabled(IDCANCEL, true));
        EXPECT_TRUE(dialog.WaitForEnabled(IDOK, true)) << "the poll gives OK back";
        if (row.count != nullptr) {
            EXPECT_TRUE(dialog.WaitForText(IDC_STATUS, row.count)) << dialog.Text(IDC_STATUS);
        }
        if (row.retry.empty()) {
            CancelAndExpectEnd(level);
        } else {
            before = level.Commands().size();
            ASSERT_TRUE(dialog.Click(IDOK));
            const BoxSeen done = dialog.WaitForBox();
            ASSERT_NE(nullptr, done.window) << "no result box of the retry";
            EXPECT_EQ(ChangeCompleted, done.text);
            std::vector<std::string> retry = Reads;
            retry.insert(retry.end(), row.retry.begin(), row.retry.end());
            EXPECT_EQ(retry, SentAfter(level, before))
                << "the drive's settings read again, then only what still differs";
            ASSERT_TRUE(AnswerBox(done));
            level.ExpectEnd();
        }
    }
    const std::string memory = level.DriveMemory();
    for (const char* line : row.memory) {
        EXPECT_NE(std::string::npos, memory.find(line)) << line << " in\n" << memory;
    }
}
