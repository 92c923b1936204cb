// Test firmware images: deterministic pseudo-random content with a version field,
// the test mark (imageformat/TestImageMark.h) and a checksum word, so that the flash
// tool and the emulator can be exercised without the drive's real firmware.
#ifndef ZAL_TOOLS_TESTIMAGE_H
#define ZAL_TOOLS_TESTIMAGE_H

#include <cstdint>
#include <string>
#include <vector>

namespace zalfw {

struct TestImageOptions {
    std::string version = "217"; // the three characters after '~'
    bool versionMark = true;     // false: the version field has no '~'
    bool wrongChecksum = false;  // true: the last two bytes do not match the sum
    bool testMark = true;        // false: no test mark, as in a real image
    uint32_t seed = 1;           // content of the image; the same seed, the same bytes
};

std::vector<uint8_t> MakeTestImage(const TestImageOptions& options);

// Writes a stand-in program file: 4,096 bytes of program, then the test image of
// `options` and the plain trailer, as fwpack packs one. False when it cannot.
bool WriteTestProgram(const std::string& path, const TestImageOptions& options);

} // namespace zalfw

#endif
