// The drive's flash commands: a whole flash turning the image's version into the
// drive's revision and leaving its bytes in the flash, the checksum and order checks, the refusals
// of each step, a flash that stops half-way leaving incomplete firmware, and the loader's identity
// that the drive reports in flash mode and with incomplete firmware.
#include "EmulatorTesting.h"

#include "ImageFormat.h"
#include "TestImage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <tuple>
#include <utility>

using namespace emutest;

namespace {

Bytes MakeImage(const std::string& version, bool wrongChecksum = false) {
    zalfw::TestImageOptions options;
    options.version = version;
    options.wrongChecksum = wrongChecksum;
    return zalfw::MakeTestImage(options);
}

// The bytes the drive's flash holds from drive address 0x6000 on.
Bytes Flash(const std::string& address) {
    Bytes bytes;
    EXPECT_TRUE(zalemu::Emulator::Instance().Firmware(address, &bytes)) << address;
    return bytes;
}

// Flash mode entered and the whole image downloaded.
void Downloaded(const Bytes& image) {
    ASSERT_EQ("good", Send("0:0", FlashModeCommand(1)).outcome);
    for (uint32_t offset = 0; offset < image.size(); offset += 8192) {
        ASSERT_EQ("good", SendOut("0:0", DownloadCommand(0x6000 + offset, 2),
                                  Bytes(image.data() + offset, image.data() + offset + 8192))
                              .outcome)
            << "at offset " << offset;
    }
}

TEST(FlashTest, AWholeFlashMakesTheImageVersionTheRevision) {
    const std::pair<std::string, const char*> cases[] = {
        {"217", "2.17"}, {"A17", "107A"}, {"305", "3.05"}, {std::string(1, '\0') + "17", "?.17"}};
    for (const auto& [version, revision] : cases) {
        ASSERT_EQ("", Load("[device 0:0]\nrevision = 2.16\n"));
        EXPECT_TRUE(Flash("0:0").empty()) << "no run has flashed the drive yet";
        const Bytes image = MakeImage(version);
        EXPECT_EQ("good", FlashImage("0:0", image));
        EXPECT_TRUE(Flash("0:0") == image) << "the flash holds the image";
        EXPECT_EQ(revision, InquiryText("0:0", 32)) << "image ~" << version.c_str();
        EXPECT_EQ("good", Send("0:0", BookTypeCommand(2, 2, 1, 0), 6).outcome)
            << "the new firmware answers the book-type command";
    }
    // The sequence as the flash tool sends it: 32 downloads, 31 of 8 blocks then 1 of 2.
    const std::vector<zalemu::CommandRecord> log = Logged();
    size_t downloads = 0;
    for (const zalemu::CommandRecord& record : log) {
        if (record.Opcode() == 0xCB && record.cdb[1] == 0x01) {
            const uint32_t expectedBlocks = downloads < 31 ? 8 : 2;
            EXPECT_EQ(expectedBlocks, record.cdb[8]) << "download " << downloads;
            EXPECT_EQ(expectedBlocks * 4096, record.length) << "download " << downloads;
            ++downloads;
        }
        EXPECT_EQ("good", record.outcome) << zalemu::FormatRecord(record);
    }
    EXPECT_EQ(32u, downloads);
    EXPECT_EQ(1u + 32 + 1 + 17 + 17 + 1 + 2, log.size())
        << "the flash sequence, an INQUIRY and a book-type read";
}

TEST(FlashTest, TheChecksumMustMatchTheImageAndItsLastTwoBytes) {
    const Bytes good = MakeImage("217");
    const uint16_t checksum = StoredImageChecksum(good.data());
    ASSERT_EQ("", Load("[device 0:0]\n"));
    Downloaded(good);
    EXPECT_EQ("5/26/00", Send("0:0", ChecksumCommand(checksum + 1u)).outcome)
        << "a value other than the image's checksum word";
    EXPECT_EQ("5/2C/00", Send("0:0", BlockCommand(4, 0x4)).outcome) << "no checksum accepted yet";
    EXPECT_EQ("good", Send("0:0", ChecksumCommand(checksum)).outcome);

    const Bytes bad = MakeImage("217", true);
    ASSERT_EQ("", Load("[device 0:0]\n"));
    Downloaded(bad);
    EXPECT_EQ("5/26/00", Send("0:0", ChecksumCommand(StoredImageChecksum(bad.data()))).outcome)
        << "the image's last two bytes do not match its sum";
    EXPECT_EQ("5/26/00", Send("0:0", ChecksumCommand(ComputeImageChecksum(bad.data()))).outcome)
        << "the sum does not match the image's last two bytes";
}

TEST(FlashTest, StepsOutOfOrderAreRefused) {
    const Bytes image = MakeImage("217");
    const uint16_t checksum = StoredImageChecksum(image.data());
    ASSERT_EQ("", Load("[device 0:0]\n"));
    const Bytes block(4096, 0);
    // CDB, outcome, why
    const std::tuple<Bytes, const char*, const char*> outside[] = {
        {DownloadCommand(0x6000, 1), "5/2C/00", "download outside flash mode"},
        {ChecksumCommand(checksum), "5/2C/00", "checksum outside flash mode"},
        {BlockCommand(4, 0x4), "5/2C/00", "erase outside flash mode"},
        {FlashModeCommand(1, "R4Q8"), "5/24/00", "wrong access code"},
        {FlashModeCommand(2), "5/24/00", "mode 2"},
        {Bytes{0xCC, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "5/24/00", "0xCC sub-command 2"},
        {FlashModeCommand(0), "good", "leaving flash mode when not in it"},
    };
    for (const auto& [cdb, outcome, why] : outside) {
        const Reply reply =
            cdb[1] == 0x01 && cdb[0] == 0xCB ? SendOut("0:0", cdb, block) : Send("0:0", cdb);
        EXPECT_EQ(outcome, reply.outcome) << why;
    }
    ASSERT_EQ("good", Send("0:0", FlashModeCommand(1)).outcome);
    // address, blocks, data bytes, why
    const std::tuple<uint32_t, uint8_t, uint32_t, const char*> downloads[] = {
        {0x5000, 1, 4096, "below 0x6000"},
        {0x6800, 1, 4096, "not a multiple of 4096"},
        {0xFF000, 2, 8192, "past 0xFFFFF"},
        {0x6000, 0, 0, "no blocks"},
        {0x6000, 9, 9 * 4096, "more than 8 blocks"},
        {0x6000, 2, 4096, "data shorter than the blocks"}};
    for (const auto& [address, blocks, bytes, why] : downloads) {
        EXPECT_EQ("5/24/00",
                  SendOut("0:0", DownloadCommand(address, blocks), Bytes(bytes, 0)).outcome)
            << why;
    }
    EXPECT_EQ("5/2C/00", Send("0:0", ChecksumCommand(checksum)).outcome) << "image incomplete";
    ASSERT_EQ("good", Send("0:0", FlashModeCommand(0)).outcome);

    Downloaded(image);
    EXPECT_EQ("5/2C/00", Send("0:0", BookTypeCommand(2, 2, 1, 0), 6).outcome)
        << "no 0xC9 in flash mode";
    ASSERT_EQ("good", Send("0:0", ChecksumCommand(checksum)).outcome);
    // sub-command, mask, outcome, why
    const std::tuple<uint8_t, uint32_t, const char*, const char*> blocks[] = {
        {2, 0x4, "5/2C/00", "programming before erasing"},
        {4, 0x8, "5/2C/00", "second mask first"},
        {4, 0x6, "5/24/00", "two bits"},
        {4, 0x2, "5/24/00", "bit 1"},
        {4, 0x80000, "5/24/00", "bit 19"},
        {4, 0x4, "good", "first mask"},
        {4, 0x4, "5/2C/00", "first mask again"},
        {4, 0x8, "good", "second mask"},
        {2, 0x4, "5/2C/00", "programming before the erase pass is complete"}};
    for (const auto& [sub, mask, outcome, why] : blocks) {
        EXPECT_EQ(outcome, Send("0:0", BlockCommand(sub, mask)).outcome) << why;
    }
    EXPECT_EQ("5/2C/00", SendOut("0:0", DownloadCommand(0x6000, 1), block).outcome)
        << "downloads end when erasing has begun";
}

TEST(FlashTest, LeavingBeforeErasingKeepsTheOldFirmware) {
    ASSERT_EQ("", Load("[device 0:0]\n"));
    const Bytes image = MakeImage("217");
    Downloaded(image);
    ASSERT_EQ("good", Send("0:0", ChecksumCommand(StoredImageChecksum(image.data()))).outcome);
    ASSERT_EQ("good", Send("0:0", FlashModeCommand(0)).outcome);
    EXPECT_EQ("2.16", InquiryText("0:0", 32));
    EXPECT_TRUE(Holds(zalemu::Emulator::Instance().StateText(), "firmware = good"));
    EXPECT_EQ("good", Send("0:0", BookTypeCommand(2, 2, 1, 0), 6).outcome);
}

TEST(FlashTest, TheLoaderAnswersInFlashModeAndWhileTheFirmwareIsIncomplete) {
    const Bytes enter = FlashModeCommand(1), leave = FlashModeCommand(0);
    const char* const Firmware = "ZAL     TK-4800J        2.16";
    const char* const Loader = "ZAL     TK-4800J LOADER 0.01";
    const char* const Incomplete = "firmware = incomplete\n";
    // the drive's state, the lines of [device 0:0], the commands sent, the identity
    const std::tuple<const char*, std::string, std::vector<Bytes>, const char*> cases[] = {
        {"firmware running", "", {}, Firmware},
        {"flash mode", "", {enter}, Loader},
        {"flash mode refused", "", {FlashModeCommand(1, "R4Q8")}, Firmware},
        {"flash mode left", "", {enter, leave}, Firmware},
        {"incomplete", Incomplete, {}, Loader},
        {"incomplete, flash mode left", Incomplete, {enter, leave}, Loader},
        {"loader, main product",
         "vendor = ACME\nloader-product = TK-4800J\n",
         {enter},
         "ACME    TK-4800J        0.01"},
        {"loader revision 0001",
         std::string("loader-revision = 0001\n") + Incomplete,
         {},
         "ZAL     TK-4800J LOADER 0001"},
        {"another vendor's drive",
         std::string("kind = optical\n") + Incomplete,
         {},
         "OTHERCO DVD-RW 9000     1.00"}};
    for (const auto& [state, device, commands, identity] : cases) {
        ASSERT_EQ("", Load("[device 0:0]\n" + device)) << state;
        for (const Bytes& cdb : commands) {
            Send("0:0", cdb);
        }
        EXPECT_EQ(identity, InquiryText("0:0")) << state;
        zalemu::DeviceView view;
        ASSERT_TRUE(zalemu::Emulator::Instance().Describe("0:0", &view)) << state;
        EXPECT_EQ(identity, std::string(view.inquiry + 8, view.inquiry + 36))
            << state << ": the inquiry data of the SPTI back end";
    }
}

TEST(FlashTest, AFlashStoppedAfterErasingLeavesIncompleteFirmwareUntilAWholeFlash) {
    // A failed erase is followed by leaving flash mode, a failed program command by
    // nothing: the tool ends there. The erase is kept in the state file at once.
    const std::pair<const char*, bool> cases[] = {{"fault = CB/04#2 check 3/0C/00\n", true},
                                                  {"fault = CB/02#1 check 3/0C/00\n", false}};
    const Bytes image = MakeImage("218");
    for (const auto& [fault, leaves] : cases) {
        ScratchFolder folder;
        const std::string scenario = "[emulator]\nstate = drive.state\n[device 0:0]\n";
        ASSERT_EQ("", Load(scenario + fault, folder.Path()));
        ASSERT_EQ("3/0C/00", FlashImage("0:0", image)) << fault;
        if (leaves) {
            ASSERT_EQ("good", Send("0:0", FlashModeCommand(0)).outcome) << fault;
        }
        EXPECT_TRUE(Holds(ReadFile(folder.File("drive.state")), "firmware = incomplete")) << fault;
        EXPECT_TRUE(Flash("0:0") == Bytes(ImageSize, 0xFF)) << fault << ": the flash is erased";

        // The next start of a tool finds the drive as it was left: its loader answers.
        ASSERT_EQ("", Load(scenario, folder.Path()));
        EXPECT_EQ("ZAL     TK-4800J LOADER 0.01", InquiryText("0:0")) << fault;
        EXPECT_EQ("5/20/00", Send("0:0", BookTypeCommand(2, 2, 1, 0), 6).outcome)
            << fault << ": incomplete firmware runs only INQUIRY, TEST UNIT READY and the "
            << "flash commands";
        EXPECT_EQ("2/3A/00", Send("0:0", TestUnitReadyCommand()).outcome) << fault;
        EXPECT_EQ("good", FlashImage("0:0", image)) << fault;
        EXPECT_EQ("ZAL     TK-4800J        2.18", InquiryText("0:0")) << fault;
        const std::string state = ReadFile(folder.File("drive.state"));
        EXPECT_TRUE(Holds(state, "firmware = good")) << fault;
        // The state file names the flash's bytes by their digest (FNV-1a, 64 bits),
        // kept in a file of that name beside it.
        uint64_t hash = 14695981039346656037ull;
        for (uint8_t byte : image) {
            hash = (hash ^ byte) * 1099511628211ull;
        }
        char digest[20];
        std::snprintf(digest, sizeof digest, "%08lx%08lx", static_cast<unsigned long>(hash >> 32),
                      static_cast<unsigned long>(hash & 0xFFFFFFFFu));
        EXPECT_TRUE(Holds(state, std::string("image = ") + digest)) << fault;
        EXPECT_TRUE(ReadFile(folder.File(std::string("drive.state.") + digest + ".bin")) ==
                    std::string(image.begin(), image.end()))
            << fault;

        // The drive keeps the new firmware for the next run.
        ASSERT_EQ("", Load(scenario, folder.Path()));
        EXPECT_EQ("2.18", InquiryText("0:0", 32)) << fault;
        EXPECT_TRUE(Flash("0:0") == image) << fault << ": the flash after a reload";
        EXPECT_EQ("good", Send("0:0", BookTypeCommand(2, 2, 1, 0), 6).outcome) << fault;
    }
}

TEST(FlashTest, EnteringFlashModeAgainStartsTheRunAfresh) {
    // Runs that stop without leaving flash mode, then a whole run: each new run is
    // taken from its start, and nothing of the stopped one counts.
    const std::pair<std::string, int> cases[] = {{"download", 0}, {"checksum", 0}, {"erase", 3}};
    for (const auto& [stoppedAfter, erases] : cases) {
        ASSERT_EQ("", Load("[device 0:0]\n"));
        const Bytes image = MakeImage("219");
        Downloaded(image);
        if (stoppedAfter != "download") {
            ASSERT_EQ("good",
                      Send("0:0", ChecksumCommand(StoredImageChecksum(image.data()))).outcome);
        }
        for (int i = 0; i < erases; ++i) {
            ASSERT_EQ("good", Send("0:0", BlockCommand(4, 0x4u << i)).outcome);
        }
        ASSERT_EQ("good", Send("0:0", FlashModeCommand(1)).outcome) << stoppedAfter;
        EXPECT_EQ("5/2C/00",
                  Send("0:0", ChecksumCommand(StoredImageChecksum(image.data()))).outcome)
            << "after " << stoppedAfter << ": the image of the stopped run is gone";
        EXPECT_EQ("good", FlashImage("0:0", image)) << "after " << stoppedAfter;
        EXPECT_EQ("2.19", InquiryText("0:0", 32)) << "after " << stoppedAfter;
    }
}

TEST(FlashTest, BlockCommandsTakeTheirBlockDelay) {
    ASSERT_EQ("", Load("[device 0:0]\nblock-delay = 600\n"));
    const std::pair<Bytes, bool> cases[] = {{BlockCommand(4, 0x4), true},
                                            {BlockCommand(2, 0x4), true},
                                            {FlashModeCommand(0), false},
                                            {InquiryCommand(), false}};
    for (const auto& [cdb, slow] : cases) {
        const DWORD start = GetTickCount();
        Send("0:0", cdb, cdb[0] == 0x12 ? 36 : 0);
        const DWORD elapsed = GetTickCount() - start;
        if (slow) {
            EXPECT_GE(elapsed, 580u) << "0xCB sub-command " << int(cdb[1]);
        } else {
            EXPECT_LT(elapsed, 400u) << "opcode " << int(cdb[0]);
        }
    }
}

} // namespace
