// The change flow's decisions against the drive emulator: which commands go out
// for the user's choices, in which order, the failure mask they give and its
// text, and what a retry after a failure sends.
#include "BookTypeState.h"
#include "BookTypeTestSupport.h"
#include "ChangeFlow.h"
#include "DriveTable.h"
#include "MessageTable.h"
#include "RecordingHost.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Six letters, as the radio buttons of both pages stand: DVD+R DL default (N
// Normal, C Compatibility), DL temporary (N, C, or - for neither), DL Select
// Setting (D the Default row, T the Temporary row), then the same for DVD+R.
ChangeChoices Choices(const char* text) {
    ChangeChoices choices = {};
    const MediumKind media[] = {DvdPlusRDl, DvdPlusR};
    for (int page = 0; page < 2; ++page) {
        const char* p = text + 3 * page;
        MediumChoice& choice = choices.medium[media[page]];
        choice.defaultNormal = p[0] == 'N';
        choice.temporaryNormal = p[1] == 'N';
        choice.temporaryCompatibility = p[1] == 'C';
        choice.defaultApplied = p[2] == 'D';
    }
    return choices;
}

struct Outcome {
    DWORD mask;
    std::vector<std::string> cdbs;
};

// Makes row `row` the shown drive and runs the change flow for `choice`.
Outcome Apply(int row, const char* choice) {
    SelectDrive(row);
    RestoreDriveState();
    Emulator().ClearLog();
    const ChangeChoices choices = Choices(choice);
    Outcome outcome;
    outcome.mask = SendChangedSettings(&choices);
    outcome.cdbs = CdbTexts(Commands(std::string(), true));
    return outcome;
}

const auto& SD = SetDefaultCdb;
const auto& ST = SetTemporaryCdb;
const auto& SEL = SelectCdb;

class ChangeFlowTest : public PathTest {
protected:
    void SetUp() override {
        PathTest::SetUp();
        ClearRecordedHost();
        ASSERT_TRUE(Emulator().Valid());
        MessageTable = MessageTableFor(0);
    }
};

TEST_P(ChangeFlowTest, SendsOnlyWhatDiffersInTheFixedOrder) {
    const char* const failDefaults = "fault = C9/01 check 5/2C/00\n";
    const char* const unreadDlTemporary = "fault = C9/02#2 check 5/24/00\n";
    const struct Case {
        const char* name;
        std::string drive; // scenario settings of the drive
        const char* choice;
        DWORD mask;
        std::vector<std::string> sent;
        const char* text; // error box text, "" for none
    } cases[] = {
        // clang-format off
        {"nothing differs", "", "NNDNND", 0, {}, ""},
        {"all six differ", "", "CCTCCT", 0,
         {SD(2, 0x00), ST(2, 0x00), SEL(2, 1), SD(0, 0x00), ST(0, 0x00), SEL(0, 1)}, ""},
        {"version 1: only the DL default", "command-version = 1", "CCTCCT", 0, {SD(2, 0x00)}, ""},
        {"version 2: no DVD+R page", "command-version = 2", "NCTCCT", 0,
         {ST(2, 0x00), SEL(2, 1)}, ""},
        {"version 2, DL temporary unread, Compatibility chosen",
         std::string("command-version = 2\ndl-temporary = 00\n") + unreadDlTemporary, "NCDNND", 0,
         {ST(2, 0x00)}, ""},
        {"version 2, DL temporary unread, nothing chosen",
         std::string("command-version = 2\n") + unreadDlTemporary, "N-DNND", 0, {}, ""},
        {"version 2, temporary applied but unreadable: the select is sent back",
         std::string("command-version = 2\ndl-applies = temporary\n") + unreadDlTemporary, "N-DNND",
         0, {SEL(2, 0)}, ""},
        {"version 0, Compatibility default read as 00", "command-version = 0\ndl-default = 00",
         "CNDNND", 0, {SD(2, 0x01)}, ""},
        {"version 0, Compatibility default read as 01", "command-version = 0\ndl-default = 01",
         "CNDNND", 0, {}, ""},
        {"Normal default read as E1 is rewritten", "dl-default = E1", "NNDNND", 0,
         {SD(2, 0xE0)}, ""},
        {"both defaults fail", failDefaults, "CNDCND", 0x101, {SD(2, 0x00), SD(0, 0x00)},
         "Failed to set default value of DVD+R & DVD+R DL."},
        {"only the DL default fails", failDefaults, "CNDNND", 0x100, {SD(2, 0x00)},
         "Failed to set default value of DVD+R DL."},
        {"only the DL select fails", "fault = C9/04 check 5/2C/00", "NNTNND", 0x400, {SEL(2, 1)},
         "Some failure occurred to set ."},
        {"DL default and DVD+R temporary fail",
         std::string(failDefaults) + "fault = C9/03 check 5/2C/00", "CNDNCD", 0x102,
         {SD(2, 0x00), ST(0, 0x00)}, "Some failure occurred to set ."},
        // The probe's DVD+R default read failed: the dialog shows Compatibility,
        // but that is no value of the drive's. The change reads the drive first.
        {"DVD+R default unread by the probe: read again before deciding",
         "fault = C9/02#3 check 5/24/00", "NNDCND", 0,
         {ReadCdb(2, 0), ReadCdb(2, 1), ReadCdb(0, 0), ReadCdb(0, 1), SD(0, 0x00)}, ""},
        {"DVD+R default unread by the probe and again: nothing is claimed",
         "fault = C9/02#3 check 5/24/00\nfault = C9/02#7 check 5/24/00", "NNDCND", 0x001,
         {ReadCdb(2, 0), ReadCdb(2, 1), ReadCdb(0, 0), ReadCdb(0, 1), SEL(0, 0)},
         "Failed to set default value of DVD+R."},
        // clang-format on
    };
    const int count = sizeof cases / sizeof cases[0];
    std::string scenario;
    for (int i = 0; i < count; ++i) {
        scenario += Device(i, 0, cases[i].drive);
    }
    ASSERT_EQ("", StartWith(scenario));
    EnumerateDrives(&BookTypeDriveProbe);
    ASSERT_EQ(count, DriveCount);
    for (int i = 0; i < count; ++i) {
        const Case& c = cases[i];
        const Outcome outcome = Apply(i, c.choice);
        EXPECT_EQ(c.mask, outcome.mask) << c.name;
        EXPECT_EQ(c.sent, outcome.cdbs) << c.name;
        if (c.mask != 0) {
            EXPECT_EQ(std::string(c.text), ChangeFailureText(outcome.mask)) << c.name;
        }
    }
}

// What succeeded is recorded: a retry reads the drive's settings again, sends
// only what still differs, and the change count follows the drive's (one change
// per default set), also when a set that ran out of time was carried out late.
TEST_P(ChangeFlowTest, RetryAfterAFailureSendsOnlyWhatStillDiffers) {
    const struct Case {
        const char* name;
        const char* fault;
        const char* choice;
        DWORD firstMask;
        std::vector<std::string> first;
        DWORD retryMask;
        std::vector<std::string> retry; // after the reads of the drive's settings
        int countAfter;                 // remaining changes after the retry, from 5
    } cases[] = {
        // clang-format off
        {"default succeeds, select fails", "C9/04#1 check 5/2C/00", "CNTNND", 0x400,
         {SD(2, 0x00), SEL(2, 1)}, 0, {SEL(2, 1)}, 4},
        {"default fails, temporary and select succeed", "C9/01#1 check 5/2C/00", "CCTNND", 0x100,
         {SD(2, 0x00), ST(2, 0x00), SEL(2, 1)}, 0, {SD(2, 0x00)}, 4},
        {"DVD+R default and temporary fail once",
         "C9/01#2 check 5/2C/00\nfault = C9/03#2 check 5/2C/00", "CCTCCD", 0x003,
         {SD(2, 0x00), ST(2, 0x00), SEL(2, 1), SD(0, 0x00), ST(0, 0x00)}, 0,
         {SD(0, 0x00), ST(0, 0x00)}, 3},
        {"default carried out after its time-out, select goes out once it completed",
         "C9/01#1 late 5600", "CNTNND", 0x100, {SD(2, 0x00), SEL(2, 1)}, 0, {}, 4},
        // The retry's read of the DVD+R default fails: its cleared reply is no
        // value, so the default is not taken as set; the select, which costs
        // nothing, goes out whatever the drive held.
        {"DVD+R default fails, then its read fails: the failure stands",
         "C9/01#1 check 5/2C/00\nfault = C9/02#7 check 5/24/00", "NNDCND", 0x001, {SD(0, 0x00)},
         0x001, {SEL(0, 0)}, 5},
        // clang-format on
    };
    // The retry's reads of the drive's settings, for command version 3.
    const std::vector<std::string> reads = {ReadCdb(2, 0), ReadCdb(2, 1), ReadCdb(0, 0),
                                            ReadCdb(0, 1)};
    const int count = sizeof cases / sizeof cases[0];
    std::string scenario;
    for (int i = 0; i < count; ++i) {
        scenario += Device(i, 0, std::string("changes-left = 5\nfault = ") + cases[i].fault);
    }
    ASSERT_EQ("", StartWith(scenario));
    EnumerateDrives(&BookTypeDriveProbe);
    ASSERT_EQ(count, DriveCount);
    for (int i = 0; i < count; ++i) {
        const Case& c = cases[i];
        const Outcome first = Apply(i, c.choice);
        EXPECT_EQ(c.firstMask, first.mask) << c.name;
        EXPECT_EQ(c.first, first.cdbs) << c.name;

        // Another drive shown in between: the row keeps what was recorded.
        SelectDrive((i + 1) % count);
        RestoreDriveState();
        const Outcome retry = Apply(i, c.choice);
        EXPECT_EQ(c.retryMask, retry.mask) << c.name;
        std::vector<std::string> retryCdbs = reads;
        retryCdbs.insert(retryCdbs.end(), c.retry.begin(), c.retry.end());
        EXPECT_EQ(retryCdbs, retry.cdbs) << c.name << ": retry";
        if (c.retryMask == 0) {
            EXPECT_TRUE(Apply(i, c.choice).cdbs.empty()) << c.name << ": nothing left to send";
        }

        BYTE reply[BookTypeReplyLength];
        ASSERT_EQ(1, ReadBookTypeSetting(DvdPlusRDl, 0x01, 0, reply));
        const int drivesCount = (reply[2] & 0x7F) * 256 + reply[3];
        EXPECT_EQ(c.countAfter, drivesCount) << c.name << ": the drive's count";
        EXPECT_EQ(drivesCount, RemainingChangeCount(&CurrentState)) << c.name << ": shown count";
        EXPECT_EQ(Describe(CurrentState), Describe(DriveStates[i])) << c.name << ": row copy";
    }
}

ZAL_ON_BOTH_PATHS(ChangeFlowTest);

} // namespace
