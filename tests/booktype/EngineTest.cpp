// The book-type engine against the drive emulator, on each transport path (the path is the
// parameter of the cases): the drive table's enumeration and list texts, the probe and its decoding
// by command version, the six commands byte for byte with their results and what the drive got.
#include "BookTypeCommands.h"
#include "BookTypeState.h"
#include "BookTypeTestSupport.h"
#include "ControlledEvents.h"
#include "DriveTable.h"
#include "RecordingHost.h"
#include "ScsiCommand.h"
#include "ScsiTransport.h"
#include "TimeScale.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using zalemu::CommandRecord;

std::vector<int> BytesOf(const BYTE* bytes, int count) {
    return std::vector<int>(bytes, bytes + count);
}

DWORD TestUnitReadyOnly() {
    BYTE sense[SenseLength];
    return DWORD(TestUnitReady(sense));
}

DWORD ReadSetting(MediumKind medium, BYTE which) {
    BYTE reply[BookTypeReplyLength];
    return DWORD(ReadBookTypeSetting(medium, 0x01, which, reply));
}

std::string Row(int row) {
    char text[96];
    const DriveEntry& e = DriveTable[row];
    std::snprintf(text, sizeof text, "%d %d:%d [%s][%s][%s]", e.index, e.haId, e.targetId, e.vendor,
                  e.product, e.revision);
    return text;
}

class BookTypeEngineTest : public PathTest {
protected:
    void SetUp() override {
        PathTest::SetUp();
        ClearRecordedHost();
        ASSERT_TRUE(Emulator().Valid()) << "the emulator is not reachable";
    }

    // Loads one device at 0:0 with `settings` and makes it the current target.
    std::string StartOne(const std::string& settings) {
        const std::string error = StartWith(Device(0, 0, settings));
        SelectTarget(0, 0);
        return error;
    }
};

TEST(DriveDisplayText, TagCharactersAndTemplate) {
    const std::pair<BYTE, char> characters[] = {{0, '0'},  {9, '9'},  {10, 'A'},
                                                {11, 'B'}, {16, 'G'}, {35, 'Z'}};
    for (const auto& [value, expected] : characters) {
        EXPECT_EQ(expected, DriveTagCharacter(value)) << "value " << int(value);
    }

    BYTE identification[IdentificationLength];
    memcpy(identification, "\x05\x80\x00\x32\x1F\x00\x00\x00VENDOR12PRODUCT-NAME-16CR9X1", 36);
    const std::tuple<BYTE, BYTE, const char*> texts[] = {
        // host adapter, target, text
        {0, 0, "[HA:0/ID:0]VENDOR12PRODUCT-NAME-16C"},
        {11, 3, "[HA:B/ID:3]VENDOR12PRODUCT-NAME-16C"},
        {16, 7, "[HA:G/ID:7]VENDOR12PRODUCT-NAME-16C"},
    };
    for (const auto& [ha, target, expected] : texts) {
        char display[DisplayBufferSize];
        memset(display, 'x', sizeof display);
        ComposeDriveDisplayText(display, ha, target, identification);
        EXPECT_EQ(std::string(expected), std::string(display))
            << "ha " << int(ha) << ", target " << int(target);
    }
}

// Drives are listed host adapter by host adapter, targets in order within each; the list text has
// the full identification and no revision; other devices are left out. On the NT path every host
// adapter is a drive letter with target 0 only.
TEST_P(BookTypeEngineTest, EnumerationOrderRowsAndListTexts) {
    const std::string id = "vendor = VENDOR12\nrevision = R9X1\n";
    std::string scenario = "[emulator]\n";
    scenario += Device(0, OnAspiPath() ? 3 : 0, id + "product = PRODUCT-NAME-16A");
    scenario += Device(1, 0, id + "product = PRODUCT-NAME-16B");
    if (OnAspiPath()) {
        scenario += Device(1, 6, id + "product = PRODUCT-NAME-16C");
    }
    // The disk just before drive D answers after twice the time-out: D is still found.
    for (int ha = 2; ha <= 9; ++ha) {
        scenario += Device(ha, 0, ha == 9 ? "kind = disk\nfault = 12#1 late 10000" : "kind = disk");
    }
    scenario += Device(10, OnAspiPath() ? 5 : 0, id + "product = PRODUCT-NAME-16D");
    scenario += Device(11, 0, "kind = optical");
    ASSERT_EQ("", StartWith(scenario));
    ASSERT_EQ(12, HostAdapterCount);

    EnumerateDrives(&BookTypeDriveProbe);

    // Each row and its list text: on the ASPI path the drives' own targets; host adapter 10 is
    // shown as A.
    std::vector<std::pair<std::string, std::string>> expected = {
        {"0 0:3 [VENDOR12][PRODUCT-NAME-16A][R9X1]", "[HA:0/ID:3]VENDOR12PRODUCT-NAME-16A"},
        {"1 1:0 [VENDOR12][PRODUCT-NAME-16B][R9X1]", "[HA:1/ID:0]VENDOR12PRODUCT-NAME-16B"},
        {"2 1:6 [VENDOR12][PRODUCT-NAME-16C][R9X1]", "[HA:1/ID:6]VENDOR12PRODUCT-NAME-16C"},
        {"3 10:5 [VENDOR12][PRODUCT-NAME-16D][R9X1]", "[HA:A/ID:5]VENDOR12PRODUCT-NAME-16D"}};
    if (!OnAspiPath()) {
        expected = {
            {"0 0:0 [VENDOR12][PRODUCT-NAME-16A][R9X1]", "[HA:0/ID:0]VENDOR12PRODUCT-NAME-16A"},
            {"1 1:0 [VENDOR12][PRODUCT-NAME-16B][R9X1]", "[HA:1/ID:0]VENDOR12PRODUCT-NAME-16B"},
            {"2 10:0 [VENDOR12][PRODUCT-NAME-16D][R9X1]", "[HA:A/ID:0]VENDOR12PRODUCT-NAME-16D"}};
    }
    ASSERT_EQ(static_cast<int>(expected.size()), DriveCount);
    const std::vector<std::string> items = DriveListItems();
    ASSERT_EQ(expected.size(), items.size()) << "one list text per row";
    std::vector<std::pair<std::string, std::string>> seen;
    for (int row = 0; row < DriveCount; ++row) {
        seen.emplace_back(Row(row), items[static_cast<size_t>(row)]);
    }
    EXPECT_EQ(expected, seen) << "list position equals row";
}

TEST_P(BookTypeEngineTest, NoHostAdapterMeansNoProbe) {
    // ASPI reporting no adapter; on the NT path no drive letter answers at all.
    ASSERT_EQ("", StartWith(OnAspiPath() ? "[emulator]\nhost-adapters = 0\n" + Device(0, 0, "")
                                         : std::string("[emulator]\n")));
    ASSERT_EQ(0, HostAdapterCount);
    EnumerateDrives(&BookTypeDriveProbe);
    EXPECT_EQ(0, DriveCount);
    EXPECT_TRUE(DriveListItems().empty());
    EXPECT_TRUE(Commands().empty()) << Emulator().LogText();
}

// A device that answers INQUIRY but rejects the first 0xC9 read is left out, and nothing more is
// sent to it; the enumeration goes on behind it.
TEST_P(BookTypeEngineTest, OtherDevicesAreLeftOutAfterTheirFirstRead) {
    for (const char* kind : {"optical", "disk"}) {
        ClearRecordedHost();
        ASSERT_EQ("", StartWith(Device(0, 0, std::string("kind = ") + kind) +
                                Device(1, 0, "command-version = 1")));
        EnumerateDrives(&BookTypeDriveProbe);
        ASSERT_EQ(1, DriveCount) << kind;
        EXPECT_EQ(1, DriveTable[0].haId) << kind;
        const std::vector<CommandRecord> sent = Commands(Address(0, 0));
        ASSERT_EQ(2u, sent.size()) << kind << "\n" << Emulator().LogText();
        EXPECT_EQ(InquiryCdb, CdbText(sent[0])) << kind;
        EXPECT_EQ("good", sent[0].outcome) << kind;
        EXPECT_EQ(ReadCdb(2, 0), CdbText(sent[1])) << kind;
        EXPECT_EQ("check-5/20/00", sent[1].outcome) << kind;
        EXPECT_EQ(1u, DriveListItems().size()) << kind;
    }
}

// The command version read first decides the further reads; only elements 0 and 2 are ever filled.
// The version-3 drive answers 0x85 0x02 0x00 0x03 in reply bytes 2 to 5 (temporary applied, 0x0502
// changes left, version 3). Reads whose outcome decides nothing: a failed temporary read leaves its
// medium invalid, a failed DVD+R default read reads as Compatibility with the default applied; a
// failed INQUIRY or first read leaves the drive out.
TEST_P(BookTypeEngineTest, CommandVersionAndFailedReadsDecideTheReadsAndTheDecode) {
    const auto version = [](int v, const std::string& settings) {
        return "command-version = " + std::to_string(v) + "\n" + settings +
               "\nr-default = A0\nr-temporary = 00\nr-applies = temporary\n";
    };
    const auto failing = [](const std::string& fault) {
        return "dl-default = E0\ndl-temporary = 00\ndl-applies = temporary\nr-default = A0\n"
               "r-temporary = A0\nr-applies = temporary\nchanges-left = 9\nfault = " +
               fault;
    };
    // Settings, the 0xC9 reads after the INQUIRY, the state read (none: left out).
    const std::tuple<std::string, int, const char*> cases[] = {
        {version(0, "dl-default = 01\ndl-temporary = E0\ndl-applies = temporary\nchanges-left = 3"),
         1, "default=00/00/01 temporary=00/00/00 valid=0/0/0 selected=0/0/1 count=3 version=0"},
        {version(1, "dl-default = E0\ndl-temporary = 00\nchanges-left = 0"), 1,
         "default=00/00/E0 temporary=00/00/00 valid=0/0/0 selected=0/0/0 count=0 version=1"},
        {version(2, "dl-default = 00\ndl-temporary = E0\nchanges-left = 300"), 2,
         "default=00/00/00 temporary=00/00/E0 valid=0/0/1 selected=0/0/0 count=300 version=2"},
        {version(3,
                 "dl-default = E0\ndl-temporary = 00\ndl-applies = temporary\nchanges-left = 1282"),
         4, "default=A0/00/E0 temporary=00/00/00 valid=1/0/1 selected=1/0/1 count=1282 version=3"},
        {version(0x0100, "dl-default = E1\ndl-temporary = E0\nchanges-left = 32767"), 4,
         "default=A0/00/E1 temporary=00/00/E0 valid=1/0/1 selected=1/0/0 count=32767 version=256"},
        {failing("C9/02#4 check 5/24/00"), 4,
         "default=A0/00/E0 temporary=00/00/00 valid=0/0/1 selected=1/0/1 count=9 version=3"},
        {failing("C9/02#3 check 5/24/00"), 4,
         "default=00/00/E0 temporary=A0/00/00 valid=1/0/1 selected=0/0/1 count=9 version=3"},
        {failing("C9/02#2 check 5/24/00"), 4,
         "default=A0/00/E0 temporary=A0/00/00 valid=1/0/0 selected=1/0/1 count=9 version=3"},
        {failing("C9/02#1 check 5/24/00"), 1, nullptr},
        {failing("12 check 4/44/00"), 0, nullptr},
    };
    std::string scenario;
    int ha = 0;
    for (const auto& c : cases) {
        scenario += Device(ha++, 0, std::get<0>(c));
    }
    ASSERT_EQ("", StartWith(scenario));
    EnumerateDrives(&BookTypeDriveProbe);
    ASSERT_EQ(8, DriveCount);
    const std::vector<std::string> allReads = {ReadCdb(2, 0), ReadCdb(2, 1), ReadCdb(0, 0),
                                               ReadCdb(0, 1)};
    int row = 0;
    ha = 0;
    for (const auto& [settings, reads, state] : cases) {
        SCOPED_TRACE(settings);
        std::vector<std::string> expected = {InquiryCdb};
        expected.insert(expected.end(), allReads.begin(), allReads.begin() + reads);
        EXPECT_EQ(expected, CdbTexts(Commands(Address(ha, 0))));
        if (state != nullptr) {
            EXPECT_EQ(ha, DriveTable[row].haId);
            EXPECT_EQ(state, Describe(DriveStates[row++]));
        }
        ++ha;
    }
}

// The 24-row table: on the ASPI path 29 drives answer (five on host adapter 0, eight on each of 1
// to 3) and the enumeration stops at the 24th, host adapter 3 target 2, sending nothing to the
// targets behind it; on the NT path all 24 letters C: to Z: hold drives and fill the table exactly.
TEST_P(BookTypeEngineTest, TableHoldsTwentyFourDrives) {
    std::string scenario;
    if (OnAspiPath()) {
        for (int ha = 0; ha < 4; ++ha) {
            for (int target = 0; target < (ha == 0 ? 5 : 8); ++target) {
                scenario += Device(ha, target, "command-version = 1");
            }
        }
    } else {
        for (char letter = 'C'; letter <= 'Z'; ++letter) {
            scenario += std::string("[device ") + letter + ":]\ncommand-version = 1\n";
        }
    }
    ASSERT_EQ("", StartWith(scenario));
    EnumerateDrives(&BookTypeDriveProbe);
    ASSERT_EQ(24, DriveCount);
    EXPECT_EQ(24u, DriveListItems().size());
    EXPECT_EQ(OnAspiPath() ? 3 : 23, DriveTable[23].haId);
    EXPECT_EQ(OnAspiPath() ? 2 : 0, DriveTable[23].targetId);
    EXPECT_EQ(23, DriveTable[23].index);
    if (OnAspiPath()) {
        EXPECT_EQ(2u, Commands("3:2").size()) << "the 24th drive is probed";
        for (int target = 3; target < 8; ++target) {
            EXPECT_TRUE(Commands("3:" + std::to_string(target)).empty())
                << "host adapter 3, target " << target << " must not be probed";
        }
    }
}

TEST_P(BookTypeEngineTest, SelectingARowMakesItTheCurrentTargetAndState) {
    ASSERT_EQ("", StartWith(Device(0, 0, "command-version = 1\nchanges-left = 1") +
                            Device(1, 0, "command-version = 2\nchanges-left = 2") +
                            Device(2, 0, "command-version = 3\nchanges-left = 3")));
    EnumerateDrives(&BookTypeDriveProbe);
    ASSERT_EQ(3, DriveCount);
    for (int row : {2, 0, 1}) {
        SelectDrive(row);
        RestoreDriveState();
        EXPECT_EQ(row, SelectedDriveIndex);
        EXPECT_EQ(DriveTable[row].haId, CurrentHaId) << "row " << row;
        EXPECT_EQ(DriveTable[row].targetId, CurrentTargetId) << "row " << row;
        EXPECT_EQ(row + 1, CurrentState.commandVersion) << "row " << row;
        EXPECT_EQ(row + 1, RemainingChangeCount(&CurrentState)) << "row " << row;
        Emulator().ClearLog();
        ASSERT_EQ(1, InquiryCurrent());
        const std::vector<CommandRecord> sent = Commands();
        ASSERT_EQ(1u, sent.size());
        EXPECT_EQ(Address(row, 0), sent[0].address) << "row " << row;
    }
    // An index not below DriveCount changes nothing.
    for (int index : {3, 24, -1}) {
        SelectDrive(index);
        EXPECT_EQ(1, SelectedDriveIndex) << "index " << index;
        EXPECT_EQ(DriveTable[1].haId, CurrentHaId) << "index " << index;
    }
}

// Each command of the tool, for each medium: its name and call, what the drive receives (CDB,
// direction and data length), and what the call returns when the command fails.
const std::tuple<const char*, DWORD (*)(), const char*, zalemu::Direction, unsigned, DWORD>
    CommandCases[] = {
        {"InquiryCurrent", [] { return DWORD(InquiryCurrent()); }, "12-00-00-00-24-00",
         zalemu::Direction::In, 36, 0},
        {"TestUnitReady", TestUnitReadyOnly, "00-00-00-00-00-00", zalemu::Direction::None, 0, 0},
        {"SetDefaultBookType(DL, E0)", [] { return SetDefaultBookType(DvdPlusRDl, 0xE0); },
         "C9-01-02-E0-5A-41-4C-42-4B-00-00-00", zalemu::Direction::In, 0, 0x100},
        {"SetDefaultBookType(R, 00)", [] { return SetDefaultBookType(DvdPlusR, 0x00); },
         "C9-01-00-00-5A-41-4C-42-4B-00-00-00", zalemu::Direction::In, 0, 0x001},
        {"ReadBookTypeSetting(DL, 1, 0)", [] { return ReadSetting(DvdPlusRDl, 0); },
         "C9-02-02-01-5A-41-4C-42-4B-00-00-00", zalemu::Direction::In, 6, 0},
        {"ReadBookTypeSetting(R, 1, 1)", [] { return ReadSetting(DvdPlusR, 1); },
         "C9-02-00-01-5A-41-4C-42-4B-01-00-00", zalemu::Direction::In, 6, 0},
        {"SetTemporaryBookType(DL, 00)", [] { return SetTemporaryBookType(DvdPlusRDl, 0x00); },
         "C9-03-02-00-5A-41-4C-42-4B-00-00-00", zalemu::Direction::In, 0, 0x200},
        {"SetTemporaryBookType(R, A0)", [] { return SetTemporaryBookType(DvdPlusR, 0xA0); },
         "C9-03-00-A0-5A-41-4C-42-4B-00-00-00", zalemu::Direction::In, 0, 0x002},
        {"SelectBookTypeSetting(DL, 1)", [] { return SelectBookTypeSetting(DvdPlusRDl, 1); },
         "C9-04-02-00-5A-41-4C-42-4B-01-00-00", zalemu::Direction::In, 0, 0x400},
        {"SelectBookTypeSetting(R, 0)", [] { return SelectBookTypeSetting(DvdPlusR, 0); },
         "C9-04-00-00-5A-41-4C-42-4B-00-00-00", zalemu::Direction::In, 0, 0x004},
};

// Then, when its event cannot be created, the status box says so, the command reports its failure
// value and nothing reaches the drive; the next call goes out.
TEST_P(BookTypeEngineTest, EveryCommandByteForByteAndWithoutItsEvent) {
    ASSERT_EQ("", StartOne(""));
    for (const auto& [name, send, cdb, direction, length, failure] : CommandCases) {
        SCOPED_TRACE(name);
        Emulator().ClearLog();
        send();
        const std::vector<CommandRecord> sent = Commands();
        ASSERT_EQ(1u, sent.size());
        EXPECT_EQ(cdb, CdbText(sent[0]));
        EXPECT_EQ(direction, sent[0].direction);
        EXPECT_EQ(length, sent[0].length);
        EXPECT_EQ(Address(0, 0), sent[0].address);
        if (!OnAspiPath()) {
            EXPECT_EQ(direction == zalemu::Direction::In ? 1u : 0u, sent[0].ptDataIn);
        }
        ClearRecordedHost();
        Emulator().ClearLog();
        FailNextEventCreations(1);
        EXPECT_EQ(failure, send());
        EXPECT_EQ(std::vector<std::string>{"Create Event Fail"}, StatusTexts());
        EXPECT_TRUE(Commands().empty()) << Emulator().LogText();
        send();
        EXPECT_EQ(1u, Commands().size());
    }
}

// The set commands return 0 or their own failure bit; a drive with a disc loaded refuses every
// change. What succeeded is read back from the drive.
TEST_P(BookTypeEngineTest, SetCommandsReturnTheirFailureBits) {
    ASSERT_EQ("", StartOne("changes-left = 20"));
    // The command, its failure bit, the medium and setting read back, the byte of the reply that
    // shows the change and its value after a success.
    const std::tuple<const char*, DWORD (*)(), DWORD, MediumKind, BYTE, int, BYTE> cases[] = {
        {"SetDefaultBookType(DL, 00)", [] { return SetDefaultBookType(DvdPlusRDl, 0x00); }, 0x100,
         DvdPlusRDl, 0, 1, 0x00},
        {"SetDefaultBookType(R, 00)", [] { return SetDefaultBookType(DvdPlusR, 0x00); }, 0x001,
         DvdPlusR, 0, 1, 0x00},
        {"SetTemporaryBookType(DL, 00)", [] { return SetTemporaryBookType(DvdPlusRDl, 0x00); },
         0x200, DvdPlusRDl, 1, 1, 0x00},
        {"SetTemporaryBookType(R, 00)", [] { return SetTemporaryBookType(DvdPlusR, 0x00); }, 0x002,
         DvdPlusR, 1, 1, 0x00},
        {"SelectBookTypeSetting(DL, 1)", [] { return SelectBookTypeSetting(DvdPlusRDl, 1); }, 0x400,
         DvdPlusRDl, 0, 2, 0x80},
        {"SelectBookTypeSetting(R, 1)", [] { return SelectBookTypeSetting(DvdPlusR, 1); }, 0x004,
         DvdPlusR, 0, 2, 0x80},
    };
    for (const auto& [name, send, failure, medium, which, replyByte, replyValue] : cases) {
        ASSERT_TRUE(Emulator().SetDisc(Address(0, 0), true));
        EXPECT_EQ(failure, send()) << name << " with a disc loaded";
        ASSERT_TRUE(Emulator().SetDisc(Address(0, 0), false));
        EXPECT_EQ(0u, send()) << name << " without a disc";
        BYTE reply[BookTypeReplyLength];
        ASSERT_EQ(1, ReadBookTypeSetting(medium, 0x01, which, reply)) << name;
        EXPECT_EQ(replyValue, reply[replyByte] & (replyByte == 2 ? 0x80 : 0xFF)) << name;
    }
    BYTE reply[BookTypeReplyLength];
    ASSERT_EQ(1, ReadBookTypeSetting(DvdPlusRDl, 0x01, 0, reply));
    EXPECT_EQ(18, (reply[2] & 0x7F) * 256 + reply[3]) << "two default sets used two changes";
}

// TEST UNIT READY hands over the sense bytes whatever the outcome; a command that was never sent
// hands over no earlier answer.
TEST_P(BookTypeEngineTest, TestUnitReadyCopiesTheSenseBytes) {
    ASSERT_EQ("", StartOne("disc = no"));
    BYTE sense[SenseLength];
    memset(sense, 0xFF, sizeof sense);
    EXPECT_EQ(0, TestUnitReady(sense)) << "no disc: check condition";
    EXPECT_EQ(0x70, sense[0]);
    EXPECT_EQ(0x02, sense[2] & 0x0F) << "sense key not ready";
    EXPECT_EQ(0x3A, sense[12]) << "medium not present";

    ASSERT_TRUE(Emulator().SetDisc(Address(0, 0), true));
    memset(sense, 0xFF, sizeof sense);
    EXPECT_EQ(1, TestUnitReady(sense)) << "disc loaded: good";
    EXPECT_EQ(std::vector<int>(SenseLength, 0), BytesOf(sense, SenseLength)) << "good completion";

    ASSERT_TRUE(Emulator().SetDisc(Address(0, 0), false));
    ASSERT_EQ(0, TestUnitReady(sense));
    ASSERT_EQ(0x3A, sense[12]);
    FailNextEventCreations(1);
    memset(sense, 0xFF, sizeof sense);
    EXPECT_EQ(0, TestUnitReady(sense));
    EXPECT_EQ(std::vector<int>(SenseLength, 0), BytesOf(sense, SenseLength)) << "not sent";
}

TEST_P(BookTypeEngineTest, ReadClearsTheReplyBeforeSending) {
    // A version-1 drive rejects reads of DVD+R.
    ASSERT_EQ("", StartOne("command-version = 1"));
    BYTE reply[BookTypeReplyLength];
    memset(reply, 0xAA, sizeof reply);
    EXPECT_EQ(0, ReadBookTypeSetting(DvdPlusR, 0x01, 0, reply));
    EXPECT_EQ(std::vector<int>(BookTypeReplyLength, 0), BytesOf(reply, BookTypeReplyLength));
    ASSERT_EQ(1u, Commands().size());
    EXPECT_EQ("check-5/24/00", Commands()[0].outcome);
}

// One fixed wait per command kind: a command the drive never completes fails after its time-out.
TEST_P(BookTypeEngineTest, CommandsGiveUpAfterTheirTimeOut) {
    ASSERT_EQ("", StartOne("fault = 12#2 hang\nfault = C9/02#1 hang\nfault = C9/01#1 hang\n"
                           "fault = C9/03#1 hang\nfault = C9/04#1 hang"));
    ASSERT_EQ(1, InquiryCurrent());
    const DWORD timeoutMs = 5000; // the same for every kind
    const std::pair<const char*, bool (*)()> cases[] = {
        {"InquiryCurrent", [] { return InquiryCurrent() != 0; }},
        {"ReadBookTypeSetting", [] { return ReadSetting(DvdPlusRDl, 0) != 0; }},
        // The set commands report success as 0 and failure as their bit.
        {"SetDefaultBookType", [] { return SetDefaultBookType(DvdPlusRDl, 0x00) == 0; }},
        {"SetTemporaryBookType", [] { return SetTemporaryBookType(DvdPlusRDl, 0x00) == 0; }},
        {"SelectBookTypeSetting", [] { return SelectBookTypeSetting(DvdPlusRDl, 1) == 0; }},
    };
    for (const auto& [name, succeeds] : cases) {
        const DWORD start = GetTickCount();
        EXPECT_FALSE(succeeds()) << name;
        const DWORD elapsed = GetTickCount() - start;
        EXPECT_GE(elapsed, timeoutMs - 100) << name;
        EXPECT_LT(elapsed, timeoutMs + Scaled(1500)) << name;
    }
}

// A poll the drive does not answer in 30 s fails, and its request keeps its block until the drive
// completes it: meanwhile that drive's polls send nothing, while another drive's go out as before;
// once the completion has come, the block is free again and the drive is polled again.
TEST_P(BookTypeEngineTest, TestUnitReadyWaitsThirtySeconds) {
    ASSERT_EQ("", StartWith(Device(0, 0, "fault = 00#1 late 31500") + Device(1, 0, "disc = no")));
    const auto pollsOf = [](int ha) { return Commands(Address(ha, 0)).size(); };
    SelectTarget(0, 0);
    BYTE sense[SenseLength];
    const DWORD start = GetTickCount();
    EXPECT_EQ(0, TestUnitReady(sense));
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 29900u);
    EXPECT_LT(elapsed, 30000 + Scaled(1500));

    // Its request is still out: the next poll sends nothing and reads no sense from the block the
    // transport still holds.
    memset(sense, 0xAA, sizeof sense);
    const DWORD again = GetTickCount();
    EXPECT_EQ(0, TestUnitReady(sense));
    EXPECT_LT(GetTickCount() - again, Scaled(1000));
    EXPECT_EQ(std::vector<int>(SenseLength, 0), BytesOf(sense, SenseLength));
    EXPECT_EQ(1u, pollsOf(0));

    // Another drive is polled meanwhile.
    SelectTarget(1, 0);
    EXPECT_EQ(0, TestUnitReady(sense));
    EXPECT_EQ(1u, pollsOf(1)) << "the other drive's poll went out";
    EXPECT_EQ(0x3A, sense[12]) << "and was answered: no disc";

    // Polled as the dialog does, every 100 ms, the first drive is asked again once its late
    // completion has come, and that completion freed its block.
    SelectTarget(0, 0);
    const DWORD waiting = GetTickCount();
    while (pollsOf(0) < 2 && GetTickCount() - waiting < Scaled(5000)) {
        TestUnitReady(sense);
        Sleep(100);
    }
    EXPECT_EQ(2u, pollsOf(0)) << "polled again after the late completion";
    EXPECT_EQ(0, OutstandingRequestCount()) << "the late poll's block is free";
    EXPECT_EQ(1, AwaitLateCompletions(0, 0, 0));
}

ZAL_ON_BOTH_PATHS(BookTypeEngineTest);

} // namespace
