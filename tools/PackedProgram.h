// Packing the flash tool: a built program file followed by a firmware image and
// the tag "M7T5", optionally with the extended trailer's two characters after the
// tag.
#ifndef ZAL_TOOLS_PACKEDPROGRAM_H
#define ZAL_TOOLS_PACKEDPROGRAM_H

#include <cstdint>
#include <string>
#include <vector>

namespace zalfw {

struct PackOptions {
    bool force = false;    // pack an image whose checksum word does not match
    std::string extension; // "" for the plain trailer, else the 2 characters after the tag
};

// The program followed by the trailer in *packed; false with the reason in *why
// when the image or the options are refused, or the program is packed already.
bool PackProgram(const std::vector<uint8_t>& program, const std::vector<uint8_t>& image,
                 const PackOptions& options, std::vector<uint8_t>* packed, std::string* why);

// True when the data ends with a trailer (plain or extended) after an image.
bool HasTrailer(const std::vector<uint8_t>& data);

// Where the image of a file lies: a packed program (its trailer found as the flash
// tool finds it) or a bare image file of exactly ImageSize bytes.
struct ImagePlace {
    size_t offset = 0;   // of image byte 0 in the file
    std::string trailer; // "" for a bare image, "M7T5" or "M7T5" and the two characters
};

// The image of `data`; false with the reason in *why when it holds none.
bool FindImage(const std::vector<uint8_t>& data, ImagePlace* place, std::string* why);

} // namespace zalfw

#endif
