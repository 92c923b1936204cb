// fwgen: writes a test firmware image (1,024,000 bytes, version field, checksum
// word) for the flash tool's build and for tests.
//
//   fwgen OUTPUT [--version CCC] [--letter] [--no-mark] [--bad-checksum] [--seed N]
//
// --version takes the three version characters (a leading '~' is allowed; the
// default is 217); --letter is --version A17; --no-mark leaves the '~' out of the
// version field; --bad-checksum stores a checksum word that does not match. Every
// image carries the test mark, which keeps drvflash from flashing it into
// anything but the drive emulator and keeps it out of a release: no option
// leaves it out.
#include "FileBytes.h"
#include "ImageChecks.h"
#include "TestImage.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

static int Usage() {
    std::fprintf(stderr,
                 "usage: fwgen OUTPUT [--version CCC] [--letter] [--no-mark] [--bad-checksum] "
                 "[--seed N]\n");
    return 2;
}

int main(int argc, char** argv) {
    std::string output;
    zalfw::TestImageOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--version" && i + 1 < argc) {
            std::string version = argv[++i];
            if (!version.empty() && version[0] == ImageVersionMark) {
                version.erase(0, 1);
            }
            if (version.size() != 3) {
                std::fprintf(stderr, "fwgen: a version is three characters, not '%s'\n",
                             version.c_str());
                return 2;
            }
            options.version = version;
        } else if (arg == "--letter") {
            options.version = "A17";
        } else if (arg == "--no-mark") {
            options.versionMark = false;
        } else if (arg == "--bad-checksum") {
            options.wrongChecksum = true;
        } else if (arg == "--seed" && i + 1 < argc) {
            options.seed = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 0));
        } else if (!arg.empty() && arg[0] != '-' && output.empty()) {
            output = arg;
        } else {
            return Usage();
        }
    }
    if (output.empty()) {
        return Usage();
    }
    const std::vector<uint8_t> image = zalfw::MakeTestImage(options);
    std::string why;
    if (!zalfw::WriteFileBytes(output, image, &why)) {
        std::fprintf(stderr, "fwgen: %s\n", why.c_str());
        return 1;
    }
    std::printf("fwgen: wrote %s: version field %s%s (%s), checksum word 0x%04X%s, test mark "
                "(drvflash flashes it into the emulator only)\n",
                output.c_str(), options.versionMark ? "~" : "(no ~) ", options.version.c_str(),
                zalfw::ImageVersion(image.data()).c_str(), StoredImageChecksum(image.data()),
                options.wrongChecksum ? " (wrong)" : "");
    return 0;
}
