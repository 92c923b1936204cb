// Firmware images: checksum word, version text, image checks, generated test
// images, the packed layout, and fwgen, fwpack and the build's drvflash.exe on
// disk. Built for the host like the tools (tools/host), run in the program folder.
#include "FileBytes.h"
#include "ImageChecks.h"
#include "PackedProgram.h"
#include "TestImage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <tuple>
#include <utility>

#ifdef _WIN32
#define popen _popen
#define pclose _pclose
#else
#include <sys/wait.h>
#endif

namespace {

using Bytes = std::vector<uint8_t>;

Bytes FileBytes(const std::string& path) {
    Bytes data;
    std::string why;
    zalfw::ReadFileBytes(path, &data, &why);
    return data;
}

// A fresh folder for one test inside the working folder (the build tree's, so
// that builds side by side do not meet), removed with its files afterwards.
struct ScratchFolder {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::filesystem::path path =
        std::filesystem::current_path() /
        ("scratch-" + std::string(test->test_suite_name()) + "." + test->name());
    ScratchFolder() {
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string File(const std::string& name) const { return (path / name).string(); }
};

std::string Tool(const std::string& name) {
    return "\"" + (std::filesystem::path(ZAL_IMAGE_TOOLS_DIR) / name).string() + "\"";
}

// Runs a command line with its output and error output in *output; its exit code.
int RunProgram(const std::string& commandLine, std::string* output) {
    output->clear();
    FILE* pipe = popen((commandLine + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return -1;
    }
    char chunk[4096];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) {
        output->append(chunk, got);
    }
    const int status = pclose(pipe);
#ifdef _WIN32
    return status;
#else
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

TEST(FirmwareImageTest, ChecksumSumsBigEndianWordsModulo65536) {
    const std::pair<Bytes, uint16_t> cases[] = {{{}, 0x0000},
                                                {{0x01, 0x02}, 0x0102},
                                                {{0x01, 0x02, 0x03, 0x04}, 0x0406},
                                                {{0xFF, 0xFF, 0x00, 0x02}, 0x0001},
                                                {{0x80, 0x00, 0x80, 0x00, 0x12}, 0x1200}};
    for (const auto& [data, sum] : cases) {
        EXPECT_EQ(sum, SumImageWords(data.data(), data.size())) << data.size() << " bytes";
    }
    // The checksum word covers bytes 0..0xF9FFD and not itself.
    Bytes image(ImageSize, 0);
    image[0] = 0x12;
    image[1] = 0x34;
    image[0xF9FFC] = 0x00;
    image[0xF9FFD] = 0x01;
    image[0xF9FFE] = 0xAB;
    image[0xF9FFF] = 0xCD;
    EXPECT_EQ(0x1235, ComputeImageChecksum(image.data()));
    EXPECT_EQ(0xABCD, StoredImageChecksum(image.data()));
}

TEST(FirmwareImageTest, VersionTextFollowsTheFirstCharacter) {
    const std::pair<const char*, const char*> cases[] = {
        {"217", "2.17"}, {"A17", "107A"}, {"a17", "107a"}, {"Z99", "909Z"},
        {"@17", "@.17"}, {"[17", "[.17"}, {"`17", "`.17"}, {"{17", "{.17"}};
    for (const auto& [field, version] : cases) {
        char text[VersionTextLength + 1];
        FormVersionText(field[0], field[1], field[2], text);
        EXPECT_STREQ(version, text) << "~" << field;
    }
}

TEST(FirmwareImageTest, GeneratedImagesCarryTheirVersionAndChecksum) {
    const Bytes image = zalfw::MakeTestImage(zalfw::TestImageOptions());
    ASSERT_EQ(size_t{ImageSize}, image.size());
    EXPECT_EQ("~217", std::string(image.begin() + 0x400, image.begin() + 0x404));
    EXPECT_EQ(ComputeImageChecksum(image.data()), StoredImageChecksum(image.data()));
    EXPECT_GT(std::set<uint8_t>(image.begin(), image.end()).size(), 250u) << "varied content";
    EXPECT_EQ(image, zalfw::MakeTestImage(zalfw::TestImageOptions())) << "deterministic";

    zalfw::TestImageOptions options;
    options.seed = 2;
    EXPECT_NE(image, zalfw::MakeTestImage(options));
    options.version = "A17";
    options.wrongChecksum = true;
    const Bytes letter = zalfw::MakeTestImage(options);
    EXPECT_EQ("107A", zalfw::ImageVersion(letter.data()));
    EXPECT_NE(ComputeImageChecksum(letter.data()), StoredImageChecksum(letter.data()));
    options.versionMark = false;
    EXPECT_NE('~', zalfw::MakeTestImage(options)[0x400]);
}

TEST(FirmwareImageTest, PackingAppendsImageAndTagOnce) {
    const Bytes program(5000, 0x4D);
    const Bytes image = zalfw::MakeTestImage(zalfw::TestImageOptions());
    const std::pair<const char*, long> layouts[] = {{"", 4}, {"16", 6}}; // extension, tag length
    for (const auto& [extension, tagFromEnd] : layouts) {
        zalfw::PackOptions options;
        options.extension = extension;
        Bytes packed;
        std::string why;
        ASSERT_TRUE(zalfw::PackProgram(program, image, options, &packed, &why)) << why;
        const size_t end = packed.size();
        ASSERT_EQ(program.size() + 1024004 + options.extension.size(), end);
        EXPECT_EQ(program, Bytes(packed.begin(), packed.begin() + 5000));
        EXPECT_EQ(image, Bytes(packed.end() - 1024000 - tagFromEnd, packed.end() - tagFromEnd));
        EXPECT_EQ("M7T5" + std::string(extension),
                  std::string(packed.end() - tagFromEnd, packed.end()));
        EXPECT_TRUE(zalfw::HasTrailer(packed));
    }

    Bytes once;
    Bytes twice;
    std::string why;
    ASSERT_TRUE(zalfw::PackProgram(program, image, zalfw::PackOptions(), &once, &why));
    EXPECT_FALSE(zalfw::PackProgram(once, image, zalfw::PackOptions(), &twice, &why));
    EXPECT_EQ("the program already ends with a firmware image and its tag", why);
}

TEST(FirmwareToolsTest, FwgenWritesTheImagesItIsAskedFor) {
    ScratchFolder folder;
    // Every generated image carries the test mark; no option leaves it out.
    const std::string testMark = "ZAL TK-4800J TEST IMAGE - NOT FIRMWARE: EMULATOR";
    // options, version field, whether the checksum matches, whether the test mark is there
    const std::tuple<const char*, const char*, bool, bool> cases[] = {
        {"", "~217", true, true},
        {"--letter", "~A17", true, true},
        {"--version ~305", "~305", true, true},
        {"--bad-checksum", "~217", false, true},
        {"--no-mark", "#217", true, true}};
    for (const auto& [options, field, checksumMatches, marked] : cases) {
        const std::string path = folder.File("image.bin");
        std::string output;
        ASSERT_EQ(0, RunProgram(Tool("fwgen") + " \"" + path + "\" " + options, &output)) << output;
        const Bytes image = FileBytes(path);
        ASSERT_EQ(size_t{ImageSize}, image.size()) << options;
        EXPECT_EQ(field, std::string(image.begin() + 0x400, image.begin() + 0x404));
        EXPECT_EQ(checksumMatches,
                  ComputeImageChecksum(image.data()) == StoredImageChecksum(image.data()))
            << options;
        EXPECT_EQ(marked, std::string(image.begin() + 0x800, image.begin() + 0x830) == testMark)
            << options << ": the test mark at 0x800";
    }
    std::string output;
    EXPECT_EQ(2, RunProgram(Tool("fwgen") + " x.bin --version 21", &output));
    EXPECT_NE(std::string::npos, output.find("a version is three characters")) << output;
    EXPECT_EQ(2, RunProgram(Tool("fwgen"), &output)) << "no output file named";
    EXPECT_EQ(2, RunProgram(Tool("fwgen") + " x.bin --no-test-mark", &output))
        << "an image without the test mark is not fwgen's to make";
}

TEST(FirmwareToolsTest, FwpackPacksOrRefusesSayingWhy) {
    ScratchFolder folder;
    zalfw::TestImageOptions bad, nomark;
    bad.wrongChecksum = true;
    nomark.versionMark = false;
    const std::pair<const char*, Bytes> files[] = {
        {"good.img", zalfw::MakeTestImage(zalfw::TestImageOptions())},
        {"bad.img", zalfw::MakeTestImage(bad)},
        {"nomark.img", zalfw::MakeTestImage(nomark)},
        {"short.img", Bytes(1000, 0)},
        {"prog.exe", Bytes(3000, 0x90)}};
    for (const auto& file : files) {
        std::string why;
        ASSERT_TRUE(zalfw::WriteFileBytes(folder.File(file.first), file.second, &why)) << why;
    }
    const std::string prog = "\"" + folder.File("prog.exe") + "\" ";
    const std::string out = " \"" + folder.File("out.exe") + "\"";
    // image, options, exit code, what fwpack says, the size of the packed program (0: none)
    const std::tuple<const char*, const char*, int, const char*, size_t> cases[] = {
        {"short.img", "", 1, "the image is 1000 bytes", 0},
        {"nomark.img", "", 1, "no '~' at the version field", 0},
        {"bad.img", "", 1, "--force, or ZAL_FIRMWARE_FORCE=ON in the build, packs it anyway", 0},
        {"missing.img", "", 1, "cannot open", 0},
        {"bad.img", "--force", 0, "checksum mismatch packed by force", 3000 + 1024004},
        {"good.img", "", 0, "image version 2.17", 3000 + 1024004},
        {"good.img", "--extended 1", 1, "takes exactly two characters", 0},
        {"good.img", "--frobnicate", 2, "usage: fwpack", 0},
        {"good.img", "--extended 16", 0, "extended trailer", 3000 + 1024006}};
    for (const auto& [file, options, exitCode, says, size] : cases) {
        std::remove(folder.File("out.exe").c_str());
        std::string output;
        const std::string image = "\"" + folder.File(file) + "\"";
        EXPECT_EQ(exitCode,
                  RunProgram(Tool("fwpack") + " " + prog + image + out + " " + options, &output))
            << file << " " << options << ": " << output;
        EXPECT_NE(std::string::npos, output.find(says))
            << file << " " << options << ": expected '" << says << "' in: " << output;
        EXPECT_EQ(size, FileBytes(folder.File("out.exe")).size()) << file << " " << options;
    }
    const Bytes packed = FileBytes(folder.File("out.exe"));
    ASSERT_EQ(3000u + 1024006u, packed.size());
    EXPECT_EQ("M7T516", std::string(packed.end() - 6, packed.end()));
}

// The checksum word as the image's last two bytes give it, in fwpack's words.
std::string ChecksumWord(const Bytes& image) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X%02X", image[ImageSize - 2], image[ImageSize - 1]);
    return text;
}

TEST(FirmwareToolsTest, FwpackDescribesWhatAFileCarries) {
    ScratchFolder folder;
    const Bytes program(3000, 0x90);
    zalfw::TestImageOptions options;
    const Bytes marked = zalfw::MakeTestImage(options);
    options.version = "A17";
    options.testMark = false;
    options.wrongChecksum = true;
    const Bytes letter = zalfw::MakeTestImage(options);
    options.version = "305";
    options.versionMark = false;
    options.wrongChecksum = false;
    const Bytes unmarked = zalfw::MakeTestImage(options);
    // Files laid out here byte by byte, not by the packing code under test.
    const auto write = [&](const char* name, const Bytes& head, const Bytes& image,
                           const std::string& tail) {
        Bytes file(head);
        file.insert(file.end(), image.begin(), image.end());
        file.insert(file.end(), tail.begin(), tail.end());
        std::string why;
        ASSERT_TRUE(zalfw::WriteFileBytes(folder.File(name), file, &why)) << why;
    };
    write("plain.exe", program, marked, "M7T5");
    write("extended.exe", program, letter, "M7T516");
    write("bare.img", {}, unmarked, "");
    write("short.img", Bytes(1000, 0), {}, "");
    write("tagless.exe", program, marked, "M7T6");
    const std::tuple<const char*, int, std::string> cases[] = {
        // file, exit code, what it says
        {"plain.exe", 0,
         "trailer plain\nversion 2.17\nchecksum " + ChecksumWord(marked) +
             " matches\ntest-image yes\n"},
        {"extended.exe", 0,
         "trailer extended 16\nversion 107A\nchecksum " + ChecksumWord(letter) +
             " mismatch (the bytes sum to "},
        {"extended.exe", 0, "test-image no\n"},
        {"bare.img", 0,
         "trailer none (a bare image)\nversion none (no '~' at the version field)\nchecksum " +
             ChecksumWord(unmarked) + " matches\ntest-image no\n"},
        {"short.img", 1, "the file is 1000 bytes and ends with no image and tag"},
        {"tagless.exe", 1, "the file is 1027004 bytes and ends with no image and tag"},
        {"missing.exe", 1, "cannot open"}};
    for (const auto& [file, exitCode, says] : cases) {
        std::string output;
        EXPECT_EQ(exitCode,
                  RunProgram(Tool("fwpack") + " --describe \"" + folder.File(file) + "\"", &output))
            << file << ": " << output;
        EXPECT_NE(std::string::npos, output.find(says))
            << file << ": expected '" << says << "' in: " << output;
    }
    std::string output;
    EXPECT_EQ(2, RunProgram(Tool("fwpack") + " --describe", &output)) << output;
}

TEST(FirmwareToolsTest, TheBuildsDrvflashIsTheProgramWithATestImage) {
    const Bytes program = FileBytes("drvflash-unpacked.exe");
    const Bytes packed = FileBytes("drvflash.exe");
    ASSERT_GT(program.size(), 0u);
    ASSERT_EQ(program.size() + 1024004, packed.size());
    EXPECT_EQ(program, Bytes(packed.begin(), packed.begin() + static_cast<long>(program.size())));
    const Bytes image(packed.end() - 1024004, packed.end() - 4);
    EXPECT_EQ("M7T5", std::string(packed.end() - 4, packed.end()));
    EXPECT_EQ("2.17", zalfw::ImageVersion(image.data()));
    EXPECT_EQ(ComputeImageChecksum(image.data()), StoredImageChecksum(image.data()));
}

} // namespace
