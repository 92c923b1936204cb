// Test images and the drive emulator, part of the image format's home
// (imageformat/). A generated test firmware image carries a fixed mark inside its
// body, a text that no real firmware carries by accident; the flash tool writes an
// image with that mark only into a drive that shows itself as the drive emulator,
// whose standard INQUIRY data carries a fixed signature in its vendor-specific
// bytes 36-55. Shared by the image tools (which write the mark), the flash tool
// (which looks for both) and the emulator (which answers with the signature).
// Plain constants and one small function, as in ImageFormat.h.
#ifndef ZAL_IMAGEFORMAT_TESTIMAGEMARK_H
#define ZAL_IMAGEFORMAT_TESTIMAGEMARK_H

#include "ImageFormat.h"

enum {
    TestImageMarkOffset = 0x800, // in the image body, after the version field
    TestImageMarkLength = 48,
    EmulatorSignatureOffset = 36, // INQUIRY bytes 36-55: vendor specific
    EmulatorSignatureLength = 20,
    EmulatorInquiryLength = EmulatorSignatureOffset + EmulatorSignatureLength // 56
};

static const char TestImageMark[TestImageMarkLength + 1] =
    "ZAL TK-4800J TEST IMAGE - NOT FIRMWARE: EMULATOR";

static const char EmulatorSignature[EmulatorSignatureLength + 1] = "ZALEMU:NOT-A-DRIVE:1";

// 1 when a whole image carries the test mark at its place.
inline int CarriesTestImageMark(const unsigned char* image) {
    return BytesMatchText(image + TestImageMarkOffset, TestImageMark, TestImageMarkLength);
}

#endif
