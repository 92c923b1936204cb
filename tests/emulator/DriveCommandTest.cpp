// The drive model's answers: INQUIRY, TEST UNIT READY with and without a disc,
// the book-type command 0xC9 (replies, refusals, settings by command version, the
// change count), and the other device kinds.
#include "EmulatorTesting.h"
#include "TimeScale.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>

using namespace emutest;

namespace {

// Past the standard 36 bytes the emulator signs its data (vendor-specific bytes
// 36-55), unless the scenario hides that as a real drive would.
TEST(DriveCommandTest, InquiryHonoursAllocationAndBufferLength) {
    ASSERT_EQ("", Load("[device 0:0]\nrevision = 2.16\n[device 0:2]\nemulator-signature = hide\n"));
    const Reply full = Send("0:0", InquiryCommand(36), 36);
    ASSERT_EQ("good", full.outcome);
    EXPECT_EQ("05 80 02 02 33 00 00 00 ", Hex(Bytes(full.data.begin(), full.data.begin() + 8)));
    EXPECT_EQ("ZAL     TK-4800J        2.16", InquiryIdentity(full.data.data()));
    const Reply hidden = Send("0:2", InquiryCommand(36), 36);
    EXPECT_EQ("05 80 02 02 1F 00 00 00 ", Hex(Bytes(hidden.data.begin(), hidden.data.begin() + 8)));

    const std::string signature = "ZALEMU:NOT-A-DRIVE:1";
    // address, allocation length, buffer length, bytes written
    const std::tuple<const char*, uint8_t, uint32_t, size_t> cases[] = {
        {"0:0", 36, 36, 36}, {"0:0", 5, 36, 5}, {"0:0", 96, 96, 56}, {"0:0", 56, 40, 40},
        {"0:0", 36, 8, 8},   {"0:0", 0, 36, 0}, {"0:2", 96, 96, 36}};
    for (const auto& [address, allocation, buffer, expected] : cases) {
        const Reply reply = Send(address, InquiryCommand(allocation), buffer);
        EXPECT_EQ("good", reply.outcome);
        EXPECT_EQ(expected, reply.data.size())
            << address << ": allocation " << int(allocation) << ", buffer " << buffer;
        if (reply.data.size() > 36) {
            EXPECT_EQ(signature.substr(0, reply.data.size() - 36),
                      std::string(reply.data.begin() + 36, reply.data.end()));
        }
    }
    EXPECT_EQ("5/24/00", Send("0:0", Bytes{0x12, 0x01, 0x80, 0, 36, 0}, 36).outcome)
        << "vital product data pages are not offered";
    EXPECT_EQ(zalemu::ExecStatus::NoDevice, Send("0:1", InquiryCommand(), 36).status);
}

TEST(DriveCommandTest, DeviceKindsAnswerOnlyWhatTheyKnow) {
    ASSERT_EQ("", Load("[device 0:0]\n[device 0:1]\nkind = optical\n[device 0:2]\nkind = disk\n"));
    // address, device type, removable bit, TEST UNIT READY's outcome, the vendor commands' outcome
    const std::tuple<const char*, uint8_t, uint8_t, const char*, std::string> cases[] = {
        {"0:0", 5, 0x80, "2/3A/00", "good"},
        {"0:1", 5, 0x80, "2/3A/00", "5/20/00"},
        {"0:2", 0, 0x00, "good", "5/20/00"}};
    for (const auto& [address, type, removable, testUnitReady, vendor] : cases) {
        const Reply inquiry = Send(address, InquiryCommand(), 36);
        ASSERT_EQ(36u, inquiry.data.size()) << address;
        EXPECT_EQ(type, inquiry.data[0]) << address;
        EXPECT_EQ(removable, inquiry.data[1]) << address;
        EXPECT_EQ(testUnitReady, Send(address, TestUnitReadyCommand()).outcome) << address;
        EXPECT_EQ(vendor, Send(address, BookTypeCommand(2, 2, 1, 0), 6).outcome) << address;
        if (vendor != "good") {
            EXPECT_EQ(vendor, Send(address, FlashModeCommand(1)).outcome) << address;
            EXPECT_EQ(vendor, Send(address, BlockCommand(4, 4)).outcome) << address;
        }
        EXPECT_EQ("5/20/00", Send(address, Bytes{0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0}).outcome)
            << address << ": READ(10) is not a command of these devices";
    }
}

TEST(DriveCommandTest, ReadRepliesCarryValueSelectionCountAndVersion) {
    ASSERT_EQ("", Load("[device 0:0]\ncommand-version = 3\nchanges-left = 1282\n"
                       "dl-default = E0\ndl-temporary = 01\ndl-applies = temporary\n"
                       "r-default = A0\nr-temporary = 00\nr-applies = default\n"));
    // medium, setting, buffer length, reply
    const std::tuple<uint8_t, uint8_t, uint32_t, const char*> cases[] = {
        {2, 0, 6, "00 E0 85 02 00 03 "}, {2, 1, 6, "00 01 85 02 00 03 "},
        {0, 0, 6, "00 A0 05 02 00 03 "}, {0, 1, 6, "00 00 05 02 00 03 "},
        {2, 0, 4, "00 E0 85 02 "},       {2, 0, 64, "00 E0 85 02 00 03 "}};
    for (const auto& [medium, which, length, expected] : cases) {
        const Reply reply = Send("0:0", BookTypeCommand(2, medium, 0x01, which), length);
        EXPECT_EQ("good", reply.outcome);
        EXPECT_EQ(expected, Hex(reply.data))
            << "medium " << int(medium) << ", which " << int(which) << ", length " << length;
    }
    ASSERT_EQ("", Load("[device 0:0]\ncommand-version = 256\n"));
    EXPECT_EQ("00 E0 00 32 01 00 ", Hex(Send("0:0", BookTypeCommand(2, 2, 1, 0), 6).data));
}

TEST(DriveCommandTest, InvalidBookTypeCommandsAreRefused) {
    const std::pair<Bytes, const char*> cases[] = {
        {BookTypeCommand(2, 2, 1, 0, "ZALBX"), "wrong signature"},
        {BookTypeCommand(2, 2, 1, 0, "zalbk"), "signature in small letters"},
        {BookTypeCommand(0, 2, 1, 0), "sub-command 0"},
        {BookTypeCommand(5, 2, 1, 0), "sub-command 5"},
        {BookTypeCommand(2, 1, 1, 0), "DVD+RW"},
        {BookTypeCommand(2, 3, 1, 0), "medium 3"},
        {BookTypeCommand(2, 2, 0, 0), "read parameter 0"},
        {BookTypeCommand(2, 2, 1, 2), "read of setting 2"},
        {BookTypeCommand(1, 2, 0xA0, 0), "DVD+R book type for DVD+R DL"},
        {BookTypeCommand(1, 0, 0xE0, 0), "DVD+R DL book type for DVD+R"},
        {BookTypeCommand(3, 2, 0x10, 0), "DVD-RAM book type as temporary"},
        {BookTypeCommand(4, 0, 0, 2), "select 2"}};
    for (const auto& [cdb, why] : cases) {
        ASSERT_EQ("", Load("[device 0:0]\n"));
        EXPECT_EQ("5/24/00", Send("0:0", cdb, 6).outcome) << why;
        EXPECT_EQ("00 E0 00 32 00 03 ", Hex(Send("0:0", BookTypeCommand(2, 2, 1, 0), 6).data))
            << why << " must change nothing";
    }
}

TEST(DriveCommandTest, CommandVersionDecidesWhichSettingsExist) {
    // command, CDB, the first command version that has it
    const std::tuple<const char*, Bytes, int> commands[] = {
        {"read DL default", BookTypeCommand(2, 2, 1, 0), 0},
        {"set DL default", BookTypeCommand(1, 2, 1, 0), 0},
        {"read DL temporary", BookTypeCommand(2, 2, 1, 1), 2},
        {"set DL temporary", BookTypeCommand(3, 2, 0, 0), 2},
        {"select DL", BookTypeCommand(4, 2, 0, 1), 2},
        {"read R default", BookTypeCommand(2, 0, 1, 0), 3},
        {"set R default", BookTypeCommand(1, 0, 0, 0), 3},
        {"read R temporary", BookTypeCommand(2, 0, 1, 1), 3},
        {"set R temporary", BookTypeCommand(3, 0, 0, 0), 3},
        {"select R", BookTypeCommand(4, 0, 0, 1), 3}};
    for (int version : {0, 1, 2, 3, 4}) {
        ASSERT_EQ("", Load("[device 0:0]\ncommand-version = " + std::to_string(version) + "\n"));
        for (const auto& [name, cdb, since] : commands) {
            EXPECT_EQ(version >= since ? "good" : "5/24/00", Send("0:0", cdb, 6).outcome)
                << name << " at command version " << version;
        }
    }
}

TEST(DriveCommandTest, SetsChangeTheSettingsAndDefaultsUseUpTheCount) {
    ASSERT_EQ("", Load("[device 0:0]\nchanges-left = 2\n"));
    // the set, its outcome, the read that shows it, that read's reply
    const std::tuple<Bytes, const char*, Bytes, const char*> steps[] = {
        {BookTypeCommand(3, 2, 0x00, 0), "good", BookTypeCommand(2, 2, 1, 1), "00 00 00 02 00 03 "},
        {BookTypeCommand(4, 2, 0, 1), "good", BookTypeCommand(2, 2, 1, 0), "00 E0 80 02 00 03 "},
        {BookTypeCommand(1, 2, 0x00, 0), "good", BookTypeCommand(2, 2, 1, 0), "00 00 80 01 00 03 "},
        {BookTypeCommand(1, 0, 0x00, 0), "good", BookTypeCommand(2, 0, 1, 0), "00 00 00 00 00 03 "},
        {BookTypeCommand(1, 2, 0xE0, 0), "5/2C/00", BookTypeCommand(2, 2, 1, 0),
         "00 00 80 00 00 03 "},
        {BookTypeCommand(3, 0, 0x00, 0), "good", BookTypeCommand(2, 0, 1, 1), "00 00 00 00 00 03 "},
        {BookTypeCommand(4, 2, 0, 0), "good", BookTypeCommand(2, 2, 1, 0), "00 00 00 00 00 03 "},
    };
    int step = 0;
    for (const auto& [cdb, outcome, readCdb, reply] : steps) {
        EXPECT_EQ(outcome, Send("0:0", cdb).outcome) << "step " << ++step;
        EXPECT_EQ(reply, Hex(Send("0:0", readCdb, 6).data)) << "after step " << step;
    }
}

TEST(DriveCommandTest, NoSetWhileADiscIsLoadedAndTheDiscBecomesReadyAfterItsLoadTime) {
    ASSERT_EQ("", Load("[device 0:0]\ndisc = yes\nload-time = 5000\n"));
    EXPECT_EQ("good", Send("0:0", TestUnitReadyCommand()).outcome) << "a disc there at load";
    // A load time that no machine outlasts between two commands: still loading.
    ASSERT_EQ("", Load("[device 0:0]\nload-time = 3600000\n"));
    EXPECT_EQ("2/3A/00", Send("0:0", TestUnitReadyCommand()).outcome);
    ASSERT_TRUE(zalemu::Emulator::Instance().SetDisc("0:0", true));
    EXPECT_EQ("2/04/01", Send("0:0", TestUnitReadyCommand()).outcome) << "just inserted";
    EXPECT_EQ("5/2C/00", Send("0:0", BookTypeCommand(1, 2, 0, 0)).outcome) << "while loading";

    // A short one: the drive reports loading until it has passed, then ready.
    ASSERT_EQ("", Load("[device 0:0]\nload-time = 400\n"));
    const DWORD inserted = GetTickCount();
    ASSERT_TRUE(zalemu::Emulator::Instance().SetDisc("0:0", true));
    std::string outcome;
    while ((outcome = Send("0:0", TestUnitReadyCommand()).outcome) == "2/04/01" &&
           GetTickCount() - inserted < Scaled(10000)) {
        Sleep(5);
    }
    EXPECT_EQ("good", outcome) << "after the load time";
    EXPECT_LE(400u, GetTickCount() - inserted) << "not before it";
    for (const Bytes& set :
         {BookTypeCommand(1, 2, 0, 0), BookTypeCommand(3, 2, 0, 0), BookTypeCommand(4, 2, 0, 1)}) {
        EXPECT_EQ("5/2C/00", Send("0:0", set).outcome) << "sub-command " << int(set[1]);
    }
    EXPECT_EQ("00 E0 00 32 00 03 ", Hex(Send("0:0", BookTypeCommand(2, 2, 1, 0), 6).data))
        << "reads still work, and nothing was changed or counted";
    ASSERT_TRUE(zalemu::Emulator::Instance().SetDisc("0:0", false));
    EXPECT_EQ("2/3A/00", Send("0:0", TestUnitReadyCommand()).outcome);
    EXPECT_EQ("good", Send("0:0", BookTypeCommand(1, 2, 0, 0)).outcome);
}

} // namespace
