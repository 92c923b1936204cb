// The image tools' view of a firmware image: the checks it must pass before they
// take it, with the reason in words, and its version text as a string. The format
// itself (size, version field, checksum word, trailer) is defined once in
// imageformat/ImageFormat.h, which this header brings in.
#ifndef ZAL_TOOLS_IMAGECHECKS_H
#define ZAL_TOOLS_IMAGECHECKS_H

#include "ImageFormat.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zalfw {

// What is wrong with an image as a whole, in the order checked: its size, the
// '~' of its version field, its checksum word. *why says it in words.
enum class ImageFault { None, WrongSize, NoVersionMark, ChecksumMismatch };
ImageFault CheckImage(const std::vector<uint8_t>& image, std::string* why);

// The version text of an image's version field, e.g. "2.17".
std::string ImageVersion(const uint8_t* image);

} // namespace zalfw

#endif
