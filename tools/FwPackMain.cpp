// fwpack: makes the deliverable flash tool by appending a firmware image and the
// tag "M7T5" to the built program file, and says what a packed program carries.
//
//   fwpack PROGRAM IMAGE OUTPUT [--force] [--extended CC]
//   fwpack --describe FILE
//
// The image must be 1,024,000 bytes with '~' at its version field; an image whose
// checksum word does not match its bytes is packed only with --force. --extended
// adds the two characters CC after the tag (the extended trailer). Every refusal
// says why and ends with exit code 1 (2 for a wrong command line).
//
// --describe reads a packed program (or a bare image file) and prints one line
// each, for people and scripts alike:
//   trailer plain | extended CC | none (a bare image)
//   version 2.17 | none (no '~' at the version field)
//   checksum 0xABCD matches | 0xABCD mismatch (the bytes sum to 0x1234)
//   test-image yes | no
// A file that holds no image is refused with exit code 1.
#include "FileBytes.h"
#include "ImageChecks.h"
#include "PackedProgram.h"
#include "TestImageMark.h"

#include <cstdio>
#include <string>

static int Usage() {
    std::fprintf(stderr, "usage: fwpack PROGRAM IMAGE OUTPUT [--force] [--extended CC]\n"
                         "       fwpack --describe FILE\n");
    return 2;
}

static int Describe(const std::string& path) {
    std::vector<uint8_t> data;
    zalfw::ImagePlace place;
    std::string why;
    if (!zalfw::ReadFileBytes(path, &data, &why) || !zalfw::FindImage(data, &place, &why)) {
        std::fprintf(stderr, "fwpack: %s: %s\n", path.c_str(), why.c_str());
        return 1;
    }
    const uint8_t* image = data.data() + place.offset;
    if (place.trailer.empty()) {
        std::printf("trailer none (a bare image)\n");
    } else if (place.trailer.size() == TrailerTagLength) {
        std::printf("trailer plain\n");
    } else {
        std::printf("trailer extended %s\n", place.trailer.substr(TrailerTagLength).c_str());
    }
    if (image[ImageVersionOffset] == ImageVersionMark) {
        std::printf("version %s\n", zalfw::ImageVersion(image).c_str());
    } else {
        std::printf("version none (no '~' at the version field)\n");
    }
    const uint16_t stored = StoredImageChecksum(image);
    const uint16_t computed = ComputeImageChecksum(image);
    if (stored == computed) {
        std::printf("checksum 0x%04X matches\n", stored);
    } else {
        std::printf("checksum 0x%04X mismatch (the bytes sum to 0x%04X)\n", stored, computed);
    }
    std::printf("test-image %s\n", CarriesTestImageMark(image) ? "yes" : "no");
    return 0;
}

int main(int argc, char** argv) {
    if (argc >= 2 && std::string(argv[1]) == "--describe") {
        return argc == 3 ? Describe(argv[2]) : Usage();
    }
    std::string paths[3];
    int pathCount = 0;
    zalfw::PackOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--force") {
            options.force = true;
        } else if (arg == "--extended" && i + 1 < argc) {
            options.extension = argv[++i];
        } else if (!arg.empty() && arg[0] != '-' && pathCount < 3) {
            paths[pathCount++] = arg;
        } else {
            return Usage();
        }
    }
    if (pathCount != 3) {
        return Usage();
    }
    std::vector<uint8_t> program;
    std::vector<uint8_t> image;
    std::vector<uint8_t> packed;
    std::string why;
    if (!zalfw::ReadFileBytes(paths[0], &program, &why) ||
        !zalfw::ReadFileBytes(paths[1], &image, &why)) {
        std::fprintf(stderr, "fwpack: %s\n", why.c_str());
        return 1;
    }
    if (!zalfw::PackProgram(program, image, options, &packed, &why)) {
        std::string unused;
        const bool forcible =
            zalfw::CheckImage(image, &unused) == zalfw::ImageFault::ChecksumMismatch;
        std::fprintf(stderr, "fwpack: refused %s: %s%s\n", paths[1].c_str(), why.c_str(),
                     forcible ? " (--force, or ZAL_FIRMWARE_FORCE=ON in the build, packs it anyway)"
                              : "");
        return 1;
    }
    if (!zalfw::WriteFileBytes(paths[2], packed, &why)) {
        std::fprintf(stderr, "fwpack: %s\n", why.c_str());
        return 1;
    }
    std::printf("fwpack: wrote %s: %lu program bytes, image version %s, checksum word "
                "0x%04X%s%s%s\n",
                paths[2].c_str(), static_cast<unsigned long>(program.size()),
                zalfw::ImageVersion(image.data()).c_str(), StoredImageChecksum(image.data()),
                options.extension.empty() ? "" : ", extended trailer",
                zalfw::CheckImage(image, &why) == zalfw::ImageFault::None
                    ? ""
                    : " (checksum mismatch packed by force)",
                CarriesTestImageMark(image.data())
                    ? ", a TEST image: it flashes only the drive emulator"
                    : "");
    return 0;
}
