// The checks an image must pass before it is packed, and its version text as a
// string (see ImageChecks.h).
#include "ImageChecks.h"

#include <cstdio>

namespace zalfw {

std::string ImageVersion(const uint8_t* image) {
    char text[VersionTextLength + 1];
    ImageVersionText(image, text);
    return std::string(text, VersionTextLength);
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
    if (image[ImageVersionOffset] != ImageVersionMark) {
        std::snprintf(text, sizeof text,
                      "no '~' at the version field (image offset 0x400 holds 0x%02X)",
                      image[ImageVersionOffset]);
        *why = text;
        return ImageFault::NoVersionMark;
    }
    const uint16_t computed = ComputeImageChecksum(image.data());
    const uint16_t stored = StoredImageChecksum(image.data());
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
