// Packing the flash tool (see PackedProgram.h).
#include "PackedProgram.h"

#include "ImageChecks.h"

namespace zalfw {

static bool TagAt(const std::vector<uint8_t>& data, size_t fromEnd) {
    if (data.size() < PlainTrailerLength + fromEnd) {
        return false;
    }
    return IsTrailerTag(&data[data.size() - fromEnd - TrailerTagLength]) != 0;
}

bool HasTrailer(const std::vector<uint8_t>& data) {
    return TagAt(data, 0) || TagAt(data, TrailerExtensionLength);
}

bool FindImage(const std::vector<uint8_t>& data, ImagePlace* place, std::string* why) {
    if (TagAt(data, 0)) {
        place->offset = data.size() - PlainTrailerLength;
    } else if (TagAt(data, TrailerExtensionLength)) {
        place->offset = data.size() - ExtendedTrailerLength;
    } else if (data.size() == ImageSize) {
        place->offset = 0;
        place->trailer.clear();
        return true;
    } else {
        *why = "the file is " + std::to_string(data.size()) +
               " bytes and ends with no image and tag: neither a program that carries a "
               "firmware image nor an image of " +
               std::to_string(static_cast<unsigned long>(ImageSize)) + " bytes";
        return false;
    }
    place->trailer.assign(data.begin() + static_cast<long>(place->offset + ImageSize), data.end());
    return true;
}

bool PackProgram(const std::vector<uint8_t>& program, const std::vector<uint8_t>& image,
                 const PackOptions& options, std::vector<uint8_t>* packed, std::string* why) {
    const ImageFault fault = CheckImage(image, why);
    if (fault != ImageFault::None && !(fault == ImageFault::ChecksumMismatch && options.force)) {
        return false;
    }
    if (!options.extension.empty() && options.extension.size() != TrailerExtensionLength) {
        *why = "the extended trailer takes exactly two characters";
        return false;
    }
    if (HasTrailer(program)) {
        *why = "the program already ends with a firmware image and its tag";
        return false;
    }
    packed->assign(program.begin(), program.end());
    packed->insert(packed->end(), image.begin(), image.end());
    packed->insert(packed->end(), TrailerTag, TrailerTag + TrailerTagLength);
    packed->insert(packed->end(), options.extension.begin(), options.extension.end());
    return true;
}

} // namespace zalfw
