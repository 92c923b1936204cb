// The command log's line format: records written and read back unchanged, the
// exact text of a line, and malformed lines refused with their line number.
#include "CommandLog.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using zalemu::CommandRecord;
using zalemu::Direction;

namespace {

TEST(CommandLogTest, LinesReadAsTheHeaderDescribesAndParseBack) {
    CommandRecord spti{12, "D:", {0xC9, 0x02, 0x02, 0x01, 'Z'}, Direction::In, 6, "check-5/24/00"};
    spti.viaPassThrough = true;
    spti.ptTargetId = 1;
    spti.ptSenseLength = 16;
    spti.ptDataIn = 1;
    spti.ptTimeout = 108000;
    CommandRecord timed{9, "0:0", {0x00}, Direction::None, 0, "good"};
    timed.ms = 2500.125;
    CommandRecord sptiTimed = spti;
    sptiTimed.ms = 0.5;
    const std::pair<CommandRecord, const char*> cases[] = {
        {CommandRecord{1, "0:0", {0x12, 0, 0, 0, 0x24, 0}, Direction::In, 36, "good"},
         "1 0:0 cdb=12-00-00-00-24-00 dir=in len=36 outcome=good"},
        {CommandRecord{7, "2:5", {0xCB, 0x01}, Direction::Out, 32768, "late-6000-good"},
         "7 2:5 cdb=CB-01 dir=out len=32768 outcome=late-6000-good"},
        {CommandRecord{3, "0:1", {0x00}, Direction::None, 0, "gone"},
         "3 0:1 cdb=00 dir=none len=0 outcome=gone"},
        {spti, "12 D: cdb=C9-02-02-01-5A dir=in len=6 outcome=check-5/24/00 "
               "pt=0/1/0/16/1/108000"},
        {timed, "9 0:0 cdb=00 dir=none len=0 outcome=good ms=2500.125"},
        {sptiTimed, "12 D: cdb=C9-02-02-01-5A dir=in len=6 outcome=check-5/24/00 "
                    "pt=0/1/0/16/1/108000 ms=0.500"},
    };
    std::string text = "# a note the reader skips\n\n";
    for (const auto& [record, line] : cases) {
        EXPECT_EQ(line, zalemu::FormatRecord(record));
        text += std::string(line) + "\r\n";
    }
    std::vector<CommandRecord> read;
    std::string error;
    ASSERT_TRUE(zalemu::ParseLog(text, &read, &error)) << error;
    ASSERT_EQ(6u, read.size());
    for (size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(cases[i].second, zalemu::FormatRecord(read[i]));
    }
    EXPECT_TRUE(read[3].viaPassThrough);
    EXPECT_EQ(108000u, read[3].ptTimeout);
    EXPECT_EQ(0xC9, read[3].Opcode());
    EXPECT_EQ(-1, read[3].ms) << "a line without ms= has no time";
    EXPECT_EQ(2500.125, read[4].ms);
}

TEST(CommandLogTest, MalformedLinesAreRefusedNamingTheLine) {
    // the second line of the log, what the error names
    const std::pair<const char*, std::string> cases[] = {
        {"x 0:0 cdb=12 dir=in len=36 outcome=good", "the command number"},
        {"1 0:0 cdb=1 dir=in len=36 outcome=good", "cdb="},
        {"1 0:0 cdb=12:00 dir=in len=36 outcome=good", "cdb="},
        {"1 0:0 cdb=12 dir=up len=36 outcome=good", "dir="},
        {"1 0:0 cdb=12 dir=in len=-1 outcome=good", "len="},
        {"1 0:0 cdb=12 dir=in len=36 outcome=", "outcome="},
        {"1 0:0 cdb=12 dir=in len=36 outcome=good pt=1/2/3", "pt="},
        {"1 0:0 cdb=12 dir=in len=36 outcome=good pt=0/1/0/16/1/9 more", "the end of the line"},
        {"1 0:0 cdb=12 dir=in len=36 outcome=good ms=1.", "ms="},
        {"1 0:0 cdb=12 dir=in len=36 outcome=good ms=-3", "ms="},
        {"1 0:0 cdb=12 dir=in len=36 outcome=good ms=1 pt=0/1/0/16/1/9", "the end of the line"},
    };
    for (const auto& [line, named] : cases) {
        std::vector<CommandRecord> read;
        std::string error;
        const std::string text = "1 0:0 cdb=00 dir=none len=0 outcome=good\n" + std::string(line);
        EXPECT_FALSE(zalemu::ParseLog(text, &read, &error)) << line;
        EXPECT_NE(std::string::npos, error.find("line 2: bad " + named))
            << "for '" << line << "' the error was: " << error;
    }
}

} // namespace
