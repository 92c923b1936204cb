// The firmware image format: checksum word, version text and the checks an image
// must pass before it is packed.
#include "FirmwareImage.h"

#include <cstdio>

namespace zalfw {

uint16_t SumWords(const uint8_t* data, size_t length) {
    uint32_t sum = 0;
    size_t i = 0;
    for (; i + 1 < length; i += 2) {
        sum += static_cast<uint32_t>(data[i]) << 8 | data[i + 1];
    }
    if (i < length) {
        sum += static_cast<uint32_t>(data[i]) << 8;
    }
    return static_cast<uint16_t>(sum & 0xFFFF);
}

uint16_t ComputeChecksum(const uint8_t* image) {
    return SumWords(image, ChecksumOffset);
}

uint16_t StoredChecksum(const uint8_t* image) {
    return static_cast<uint16_t>(image[ChecksumOffset] << 8 | image[ChecksumOffset + 1]);
}

static bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::string DeriveVersion(char c1, char c2, char c3) {
    std::string version(4, ' ');
    if (IsLetter(c1)) {
        version[0] = c2;
        version[1] = '0';
        version[2] = c3;
        version[3] = c1;
    } else {
        version[0] = c1;
        version[1] = '.';
        version[2] = c2;
        version[3] = c3;
    }
    return version;
}

std::string ImageVersion(const uint8_t* image) {
    const char* field = reinterpret_cast<const char*>(image + VersionOffset);
    return DeriveVersion(field[1], field[2], field[3]);
}

ImageFault CheckImage(const std::vector<uint8_t>& image, std::string* why) {
    char text[160];
    if (image.size() != ImageSize) {
        std::snprintf(text, sizeof text, "the image is %lu bytes; a firmware image is %lu bytes",
                      static_cast<unsigned long>(image.size()),
                      static_cast<unsigned long>(ImageSize));
        *why = text;
        return ImageFault::WrongSize;
    }
    if (image[VersionOffset] != VersionMark) {
        std::snprintf(text, sizeof text,
                      "no '~' at the version field (image offset 0x400 holds 0x%02X)",
                      image[VersionOffset]);
        *why = text;
        return ImageFault::NoVersionMark;
    }
    const uint16_t computed = ComputeChecksum(image.data());
    const uint16_t stored = StoredChecksum(image.data());
    if (computed != stored) {
        std::snprintf(text, sizeof text,
                      "the checksum word in the last two bytes is 0x%04X, but the image's "
                      "bytes sum to 0x%04X",
                      stored, computed);
        *why = text;
        return ImageFault::ChecksumMismatch;
    }
    why->clear();
    return ImageFault::None;
}

} // namespace zalfw
