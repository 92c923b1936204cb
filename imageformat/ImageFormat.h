// The firmware image format, the one home of its definition (imageformat/, with
// TestImageMark.h), used by the flash tool, the image tools fwgen and fwpack and
// the drive emulator: the image size, the version field and the version text made
// from it, the checksum word, the trailer that follows the image in the flash
// tool's program file, and where the image lies in the drive. Plain constants and
// small pure functions only, so that the shipped program can use it without any
// C++ library facility, and the image tools can be built for any host.
#ifndef ZAL_IMAGEFORMAT_IMAGEFORMAT_H
#define ZAL_IMAGEFORMAT_IMAGEFORMAT_H

enum {
    ImageSize = 1024000,                 // 0xFA000 bytes, sent whole to the drive
    ImageVersionOffset = 0x400,          // '~' c1 c2 c3
    ImageChecksumOffset = ImageSize - 2, // the checksum word, high byte first
    TrailerTagLength = 4,                // "M7T5" right after the image
    PlainTrailerLength = ImageSize + TrailerTagLength,
    TrailerExtensionLength = 2, // the extended trailer's two characters after the tag
    ExtendedTrailerLength = PlainTrailerLength + TrailerExtensionLength,
    DriveImageBase = 0x6000,  // drive address of image byte 0
    DriveImageEnd = 0x100000, // one past the drive address of the last image byte
    VersionTextLength = 4
};

// The tag that ends the image in the program file, compared case-sensitively.
static const char TrailerTag[TrailerTagLength + 1] = "M7T5";

// 1 when the `length` bytes at `bytes` are the first `length` characters of
// `text`, else 0.
inline int BytesMatchText(const unsigned char* bytes, const char* text, int length) {
    for (int i = 0; i < length; ++i) {
        if (bytes[i] != static_cast<unsigned char>(text[i])) {
            return 0;
        }
    }
    return 1;
}

// 1 when the TrailerTagLength bytes at `bytes` are the tag.
inline int IsTrailerTag(const unsigned char* bytes) {
    return BytesMatchText(bytes, TrailerTag, TrailerTagLength);
}

// The character that opens the version field.
static const char ImageVersionMark = '~';

// A version letter: A-Z or a-z, and nothing else.
inline int IsVersionLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The 4-character version text of the three version characters and its NUL:
// c2 '0' c3 c1 when c1 is a letter, else c1 '.' c2 c3. "~217" gives "2.17",
// "~A17" gives "107A".
inline void FormVersionText(char c1, char c2, char c3, char* text) {
    if (IsVersionLetter(c1)) {
        text[0] = c2;
        text[1] = '0';
        text[2] = c3;
        text[3] = c1;
    } else {
        text[0] = c1;
        text[1] = '.';
        text[2] = c2;
        text[3] = c3;
    }
    text[VersionTextLength] = '\0';
}

// The version text of an image's version field (the three characters after '~').
inline void ImageVersionText(const unsigned char* image, char* text) {
    const unsigned char* field = image + ImageVersionOffset;
    FormVersionText(static_cast<char>(field[1]), static_cast<char>(field[2]),
                    static_cast<char>(field[3]), text);
}

// Sum, modulo 65,536, of `length` bytes taken as big-endian 16-bit words (an odd
// last byte counts as the high byte of a word).
inline unsigned short SumImageWords(const unsigned char* data, unsigned long length) {
    unsigned long sum = 0;
    unsigned long i = 0;
    for (; i + 1 < length; i += 2) {
        sum += static_cast<unsigned long>(data[i]) << 8 | data[i + 1];
    }
    if (i < length) {
        sum += static_cast<unsigned long>(data[i]) << 8;
    }
    return static_cast<unsigned short>(sum & 0xFFFF);
}

// The checksum word an image must carry: the sum of its bytes before the word.
inline unsigned short ComputeImageChecksum(const unsigned char* image) {
    return SumImageWords(image, ImageChecksumOffset);
}

// The checksum word an image carries in its last two bytes, the first of them as
// the high byte.
inline unsigned short StoredImageChecksum(const unsigned char* image) {
    return static_cast<unsigned short>(image[ImageChecksumOffset] << 8 |
                                       image[ImageChecksumOffset + 1]);
}

#endif
