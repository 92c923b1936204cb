// The flash tool's pure pieces: the appended image and its trailers, the command line's program
// path, the identification patterns of the default configuration with their signed comparison, the
// version comparison and the downgrade rule, and the progress of a run tick by tick.
#include "FirmwareImage.h"
#include "FlashSequence.h"
#include "Identification.h"
#include "MessageTable.h"
#include "RecordingHost.h"
#include "TestImage.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <fstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

typedef std::vector<unsigned char> Bytes;

Bytes Image(const std::string& version, bool mark = true, bool testMark = true) {
    zalfw::TestImageOptions options;
    options.version = version;
    options.versionMark = mark;
    options.testMark = testMark;
    return zalfw::MakeTestImage(options);
}

std::string WriteTemp(const std::string& name, const Bytes& bytes) {
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    const std::string path = std::string(folder) + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}

// A program file: `prefix` bytes of program, then the image and the tail.
Bytes ProgramFile(size_t prefix, const Bytes& image, const std::string& tail) {
    Bytes file(prefix + image.size() + tail.size(), 'P');
    std::memcpy(file.data() + prefix, image.data(), image.size());
    std::memcpy(file.data() + prefix + image.size(), tail.data(), tail.size());
    return file;
}

// The file written to a temporary path and read as the program's image.
int Load(const std::string& name, const Bytes& file) {
    return ReadImageFile(WriteTemp(name, file).c_str());
}

Bytes Shortened(const Bytes& file) {
    return Bytes(file.begin() + 1, file.end());
}

TEST(FirmwareImageTest, TrailersSizesTagsAndVersionFields) {
    const Bytes image217 = Image("217");
    // What the file is, the file, where the image starts in an accepted one, its version (none:
    // refused).
    const std::tuple<const char*, Bytes, size_t, const char*> cases[] = {
        {"image and tag alone, 1,024,004 bytes", ProgramFile(0, image217, "M7T5"), 0, "2.17"},
        {"1,024,003 bytes", Shortened(ProgramFile(0, image217, "M7T5")), 0, nullptr},
        {"behind a program", ProgramFile(5000, image217, "M7T5"), 5000, "2.17"},
        {"tag in another case", ProgramFile(10, image217, "m7T5"), 0, nullptr},
        {"no tag", ProgramFile(10, image217, "XXXX"), 0, nullptr},
        {"letter version", ProgramFile(10, Image("A17"), "M7T5"), 10, "107A"},
        {"lower-case letter version", ProgramFile(10, Image("b21"), "M7T5"), 10, "201b"},
        {"no version mark", ProgramFile(10, Image("217", false), "M7T5"), 0, nullptr},
        {"extended trailer", ProgramFile(10, Image("218"), "M7T50?"), 10, "2.18"},
        {"extended trailer, 1,024,005 bytes", Shortened(ProgramFile(0, image217, "M7T5x")), 0,
         nullptr},
    };
    // A refused file keeps what the last accepted one gave.
    ASSERT_EQ(1, Load("fw-base.bin", ProgramFile(1, Image("199"), "M7T5")));
    for (const auto& [name, file, imageAt, version] : cases) {
        SCOPED_TRACE(name);
        InitRevisionPattern();
        const std::string path = WriteTemp("fw-case.bin", file);
        const std::string before = FirmwareImage.updateVersion;
        EXPECT_EQ(version ? 1 : 0, ReadImageFile(path.c_str()));
        EXPECT_EQ(std::string(version ? version : before.c_str()), FirmwareImage.updateVersion);
        if (version) {
            const unsigned char* image = file.data() + imageAt;
            EXPECT_EQ(0, memcmp(FirmwareImage.data, image, ImageSize));
            EXPECT_EQ(image[ImageSize - 2], FirmwareImage.checksum[0]);
            EXPECT_EQ(image[ImageSize - 1], FirmwareImage.checksum[1]);
            EXPECT_EQ(path, std::string(FirmwareImage.path));
        }
    }
    InitRevisionPattern();
    EXPECT_EQ(0, ReadImageFile("C:\\no\\such\\file.exe"));
}

// A generated image is known by its test mark; an image without it is taken as a real one; a
// refused file leaves the mark as the last accepted image gave it.
TEST(FirmwareImageTest, TheTestMarkIsFound) {
    const std::tuple<const char*, Bytes, int, int> cases[] = {
        // what, file, loaded, test image
        {"generated image", ProgramFile(10, Image("217"), "M7T5"), 1, 1},
        {"image without the test mark", ProgramFile(10, Image("217", true, false), "M7T5"), 1, 0},
        {"generated image, no tag", ProgramFile(10, Image("217"), "XXXX"), 0, 0},
        {"generated image again", ProgramFile(0, Image("216"), "M7T5"), 1, 1},
    };
    for (const auto& [name, file, loaded, testImage] : cases) {
        EXPECT_EQ(loaded, Load("fw-mark.bin", file)) << name;
        EXPECT_EQ(testImage, FirmwareImage.testImage) << name;
    }
}

TEST(FirmwareImageTest, ExtendedTrailerNarrowsTheRevisionPattern) {
    // Its two characters replace characters 3 and 4 of the pattern; only the third is compared.
    const std::tuple<const char*, const char*, int> cases[] = {
        // trailer, revision, matches
        {"M7T5", "2.1", 1},   {"M7T50?", "0.0", 1}, {"M7T50?", "2.1", 0},
        {"M7T51?", "0.0", 0}, {"M7T51?", "2.1", 1}, {"M7T51X", "3.1", 1},
    };
    for (const auto& [tail, revision, matches] : cases) {
        InitRevisionPattern();
        ASSERT_EQ(1, Load("fw-ext.bin", ProgramFile(3, Image("217"), tail))) << tail;
        EXPECT_EQ(matches, MatchRevisionPattern(revision, nullptr))
            << "trailer " << tail << ", revision " << revision;
    }
    InitRevisionPattern();
}

TEST(FirmwareImageTest, ProgramPathFromTheCommandLine) {
    const std::pair<const char*, const char*> cases[] = {
        // command line, program path
        {"\"C:\\Program Files\\drvflash.exe\" -x", "C:\\Program Files\\drvflash.exe"},
        {"C:\\tools\\drvflash.exe arg", "C:\\tools\\drvflash.exe"},
        {"drvflash.exe", "drvflash.exe"},
        {"\"C:\\unclosed\\drvflash.exe", "C:\\unclosed\\drvflash.exe"},
        {"C:\\quoted\\drvflash.exe\" x", "C:\\quoted\\drvflash.exe"},
        {"", ""},
    };
    for (const auto& [commandLine, expected] : cases) {
        char path[MAX_PATH];
        ProgramPathFromCommandLine(commandLine, path, sizeof path);
        EXPECT_EQ(std::string(expected), path) << commandLine;
    }
    char small[6];
    ProgramPathFromCommandLine("abcdefghij", small, sizeof small);
    EXPECT_EQ(std::string("abcde"), small) << "a path is cut to its buffer";
}

TEST(IdentificationTest, PatternsOfTheDefaultConfiguration) {
    InitRevisionPattern();
    // Field (vendor, product, or revision, compared with the product given), text, product,
    // matches.
    const std::tuple<std::string, const char*, const char*, int> cases[] = {
        {"vendor", "ZAL     ", nullptr, 1},
        {"vendor", "ZAL    X", nullptr, 0},
        {"vendor", "zal     ", nullptr, 0},
        {"vendor", "OTHERCO ", nullptr, 0},
        {"vendor", "\332AL     ", nullptr, 0}, // 'Z' + 0x80 (0xDA): the comparison is signed
        {"vendor", "\0\0\0\0\0\0\0\0", nullptr, 0},
        {"product", "TK-4800J        ", nullptr, 1},
        {"product", "TK-4800J LOADER ", nullptr, 0},
        {"product", "TK-4800JX       ", nullptr, 0},
        {"product", "\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", nullptr, 0},
        {"revision", "2.1", nullptr, 1},
        {"revision", "0.0", nullptr, 1},
        {"revision", "\xB2.1", nullptr, 1}, // first is a wildcard
        {"revision", "107", nullptr, 0},
        {"revision", "2,1", nullptr, 0},
        {"revision", "0.0", "TK-4800J LOADER ", 1},
        {"revision", "0.0", "TK-4800J        ", 0},
        {"revision", "000", "TK-4800J LOADER ", 0},
    };
    for (const auto& [field, text, product, matches] : cases) {
        EXPECT_EQ(matches, field == "vendor"    ? MatchVendorPatterns(text)
                           : field == "product" ? MatchProductPatterns(text)
                                                : MatchRevisionPattern(text, product))
            << field << " '" << text << "', product " << (product ? product : "none");
    }
}

TEST(IdentificationTest, CompareVersionsAndDowngrades) {
    InitRevisionPattern();
    const std::tuple<const char*, const char*, int, int> cases[] = {
        // current, update, CompareVersions, IsDowngrade
        {"2.16", "2.17", 1, 0}, {"2.17", "2.17", 1, 0}, {"2.18", "2.17", 2, 1},
        {"2.20", "2.17", 1, 1}, // older image, yet CompareVersions says 1
        {"2.05", "2.17", 1, 0}, {"1.95", "2.17", 1, 0}, {"3.01", "2.17", 1, 1},
        {"107B", "107A", 2, 1}, {"106B", "107A", 2, 1}, // fourth characters compared too
        {"107A", "107A", 1, 0}, {"108A", "107A", 2, 1}, {"107A", "2.17", 0, 0},
        {"207A", "107A", 0, 0}, {"0.01", "2.17", 1, 0}, {"\xB0.17", "2.17", 1, 0},
    };
    for (const auto& [current, update, compare, downgrade] : cases) {
        EXPECT_EQ(compare, CompareVersions(current, update)) << current << " against " << update;
        EXPECT_EQ(downgrade, IsDowngrade(current, update))
            << current << " against " << update << " (downgrade)";
    }
    // A narrower pattern ("?.1") turns the unrelated dotted versions away.
    ASSERT_EQ(1, Load("fw-narrow.bin", ProgramFile(3, Image("217"), "M7T51?")));
    EXPECT_EQ(0, CompareVersions("2.20", "2.17"));
    EXPECT_EQ(1, CompareVersions("3.15", "2.17"));
    InitRevisionPattern();
}

// Each row is one tick: whether a reset comes first, FlashStep as the worker left it, then the text
// the tick shows ("" for none), the bar position and whether the run has ended.
TEST(ProgressPollTest, TicksFromResetToTheEnd) {
    const std::tuple<int, LONG, const char*, int, int> ticks[] = {
        {1, 0, "Start Flashing", 50, 0},
        {0, 0, "", 100, 0},
        {0, 0, "", 100, 0}, // creeps no further than the stage's milestone
        {0, 1, "Flashing...", 100, 0},
        {0, 1, "", 150, 0},
        {0, 4, "Flashing...", 5000, 0}, // two stages between ticks: jump
        {0, 4, "", 5050, 0},
        {0, 5, "Flashing...", 9500, 0},
        {0, 5, "", 9550, 0},
        {0, 6, "Flashing is Completed. Please turn off your PC.", 10000, 1},
        {1, -1, "Flashing Error", 0, 1}, // failed before the first tick
        {1, 0, "Start Flashing", 50, 0},
        {0, 2, "Flashing...", 500, 0},
        {0, -3, "Flashing Error", 500, 1}, // the bar stays where it stood
        {0, -3, "", 500, 1},
        {1, FlashRefusedTestImage, "TEST IMAGE: for the drive emulator only. Nothing was written.",
         0, 1},
    };
    MessageTable = MessageTableFor(0);
    int tick = 0;
    for (const auto& [reset, step, text, position, ended] : ticks) {
        SCOPED_TRACE("tick " + std::to_string(tick++));
        if (reset) {
            EXPECT_EQ(0, ProgressPoll(1));
            EXPECT_EQ(0, FlashStep) << "the reset starts FlashStep again";
        }
        FlashStep = step;
        ClearRecordedHost();
        EXPECT_EQ(ended, ProgressPoll(0));
        const std::vector<std::string> shown = StatusTexts();
        EXPECT_EQ(std::string(text), shown.empty() ? "" : shown.back());
        EXPECT_LE(shown.size(), 1u);
        EXPECT_EQ(position, ProgressPosition());
    }
    // The last stage: the tenth creep passes 9990 and ends at 10000, no further.
    ProgressPoll(1);
    FlashStep = 5;
    for (int i = 0; i < 13; ++i) {
        ProgressPoll(0);
    }
    EXPECT_EQ(10000, ProgressPosition());
}

} // namespace
