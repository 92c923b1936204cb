// Test firmware images (see TestImage.h).
#include "TestImage.h"

#include "FileBytes.h"

#include "ImageFormat.h"
#include "TestImageMark.h"

namespace zalfw {

std::vector<uint8_t> MakeTestImage(const TestImageOptions& options) {
    std::vector<uint8_t> image(ImageSize);
    // xorshift32: cheap, deterministic and never zero for a non-zero seed.
    uint32_t state = options.seed != 0 ? options.seed : 0x2545F491u;
    for (uint32_t i = 0; i < ImageChecksumOffset; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        image[i] = static_cast<uint8_t>(state >> 24);
    }
    image[ImageVersionOffset] = options.versionMark ? ImageVersionMark : '#';
    for (size_t i = 0; i < 3; ++i) {
        image[ImageVersionOffset + 1 + i] =
            static_cast<uint8_t>(i < options.version.size() ? options.version[i] : ' ');
    }
    if (options.testMark) {
        for (size_t i = 0; i < TestImageMarkLength; ++i) {
            image[TestImageMarkOffset + i] = static_cast<uint8_t>(TestImageMark[i]);
        }
    }
    uint16_t checksum = ComputeImageChecksum(image.data());
    if (options.wrongChecksum) {
        checksum = static_cast<uint16_t>(checksum ^ 0x5A5A);
    }
    image[ImageChecksumOffset] = static_cast<uint8_t>(checksum >> 8);
    image[ImageChecksumOffset + 1] = static_cast<uint8_t>(checksum & 0xFF);
    return image;
}

bool WriteTestProgram(const std::string& path, const TestImageOptions& options) {
    std::vector<uint8_t> file(4096, 'P');
    const std::vector<uint8_t> image = MakeTestImage(options);
    file.insert(file.end(), image.begin(), image.end());
    file.insert(file.end(), TrailerTag, TrailerTag + TrailerTagLength);
    std::string why;
    return WriteFileBytes(path, file, &why);
}

} // namespace zalfw
