// The command log's line format: records written and read back unchanged, the
// exact text of a line, and malformed lines refused with their line number.
#include "CommandLog.h"

#include <gtest/gtest.h>

using zalemu::CommandRecord;
using zalemu::Direction;

namespace {

CommandRecord Record(unsigned index, const char* address, std::vector<uint8_t> cdb,
                     Direction direction, uint32_t length, const char* outcome) {
    CommandRecord record;
    record.index = index;
    record.address = address;
    record.cdb = cdb;
    record.direction = direction;
    record.length = length;
    record.outcome = outcome;
    return record;
}

TEST(CommandLogTest, LinesReadAsTheHeaderDescribes) {
    CommandRecord spti =
        Record(12, "D:", {0xC9, 0x02, 0x02, 0x01, 'Z'}, Direction::In, 6, "check-5/24/00");
    spti.viaPassThrough = true;
    spti.ptTargetId = 1;
    spti.ptSenseLength = 16;
    spti.ptDataIn = 1;
    spti.ptTimeout = 108000;
    const struct {
        CommandRecord record;
        const char* line;
    } cases[] = {
        {Record(1, "0:0", {0x12, 0, 0, 0, 0x24, 0}, Direction::In, 36, "good"),
         "1 0:0 cdb=12-00-00-00-24-00 dir=in len=36 outcome=good"},
        {Record(7, "2:5", {0xCB, 0x01}, Direction::Out, 32768, "late-6000-good"),
         "7 2:5 cdb=CB-01 dir=out len=32768 outcome=late-6000-good"},
        {Record(3, "0:1", {0x00}, Direction::None, 0, "gone"),
         "3 0:1 cdb=00 dir=none len=0 outcome=gone"},
        {spti, "12 D: cdb=C9-02-02-01-5A dir=in len=6 outcome=check-5/24/00 "
               "pt=0/1/0/16/1/108000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.line, zalemu::FormatRecord(c.record));
    }
}

TEST(CommandLogTest, ParsingGivesBackWhatWasFormatted) {
    CommandRecord spti =
        Record(4, "Z:", {0xCC, 0x04, 0xD3, 0x11}, Direction::None, 0, "pass-through-failed");
    spti.viaPassThrough = true;
    spti.ptPathId = 2;
    spti.ptTargetId = 3;
    spti.ptLun = 4;
    spti.ptSenseLength = 32;
    spti.ptDataIn = 0;
    spti.ptTimeout = 5;
    const std::vector<CommandRecord> written = {
        Record(1, "0:0", {0x00, 0, 0, 0, 0, 0}, Direction::None, 0, "check-2/3A/00"),
        Record(2, "15:7", {0xCB, 0x04, 0, 0, 0, 0, 0, 0, 0x04, 0, 0, 0}, Direction::None, 0,
               "hang"),
        spti};
    std::string text = "# a note the reader skips\n\n";
    for (const CommandRecord& record : written) {
        text += zalemu::FormatRecord(record) + "\r\n";
    }
    std::vector<CommandRecord> read;
    std::string error;
    ASSERT_TRUE(zalemu::ParseLog(text, &read, &error)) << error;
    ASSERT_EQ(written.size(), read.size());
    for (size_t i = 0; i < written.size(); ++i) {
        EXPECT_EQ(zalemu::FormatRecord(written[i]), zalemu::FormatRecord(read[i]))
            << "record " << i;
        EXPECT_EQ(written[i].viaPassThrough, read[i].viaPassThrough) << "record " << i;
    }
    EXPECT_EQ(0xCC, read[2].Opcode());
    EXPECT_EQ(32u, read[2].ptSenseLength);
}

TEST(CommandLogTest, MalformedLinesAreRefusedNamingTheLine) {
    const struct {
        const char* line;
        const char* named;
    } cases[] = {
        {"x 0:0 cdb=12 dir=in len=36 outcome=good", "the command number"},
        {"1 0:0 cdb=1 dir=in len=36 outcome=good", "cdb="},
        {"1 0:0 cdb=12:00 dir=in len=36 outcome=good", "cdb="},
        {"1 0:0 cdb=12 dir=up len=36 outcome=good", "dir="},
        {"1 0:0 cdb=12 dir=in len=-1 outcome=good", "len="},
        {"1 0:0 cdb=12 dir=in len=36 outcome=", "outcome="},
        {"1 0:0 cdb=12 dir=in len=36 outcome=good pt=1/2/3", "pt="},
        {"1 0:0 cdb=12 dir=in len=36 outcome=good pt=0/1/0/16/1/9 more", "the end of the line"},
    };
    for (const auto& c : cases) {
        std::vector<CommandRecord> read;
        std::string error;
        const std::string text = "1 0:0 cdb=00 dir=none len=0 outcome=good\n" + std::string(c.line);
        EXPECT_FALSE(zalemu::ParseLog(text, &read, &error)) << c.line;
        EXPECT_NE(std::string::npos, error.find("line 2: bad " + std::string(c.named)))
            << "for '" << c.line << "' the error was: " << error;
    }
}

} // namespace
