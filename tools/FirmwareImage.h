// The firmware image format as the image tools and the emulator's flash model
// see it: the image size, the version field and the version text derived from
// it, and the checksum word in the image's last two bytes.
#ifndef ZAL_TOOLS_FIRMWAREIMAGE_H
#define ZAL_TOOLS_FIRMWAREIMAGE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zalfw {

constexpr uint32_t ImageSize = 1024000;            // 0xFA000
constexpr uint32_t VersionOffset = 0x400;          // '~' c1 c2 c3
constexpr uint32_t ChecksumOffset = ImageSize - 2; // 0xF9FFE, high byte first
constexpr uint32_t DriveImageBase = 0x6000;        // drive address of image byte 0
constexpr uint32_t DriveImageEnd = 0x100000;       // one past the last drive address
constexpr char VersionMark = '~';
constexpr char TrailerTag[] = "M7T5";
constexpr size_t TrailerTagSize = 4;

// Sum, modulo 65,536, of `length` bytes taken as big-endian 16-bit words (an odd
// last byte counts as the high byte of a word).
uint16_t SumWords(const uint8_t* data, size_t length);

// The checksum word an image must carry: the sum of its bytes 0 to 0xF9FFD.
uint16_t ComputeChecksum(const uint8_t* image);

// The checksum word the image carries in its last two bytes.
uint16_t StoredChecksum(const uint8_t* image);

// The 4-character version text of the three version characters: c2 '0' c3 c1 when
// c1 is a letter (A-Z, a-z), else c1 '.' c2 c3. "~217" gives "2.17", "~A17" "107A".
std::string DeriveVersion(char c1, char c2, char c3);

// The version text of an image's version field (the three characters after '~').
std::string ImageVersion(const uint8_t* image);

// What is wrong with an image as a whole, in the order checked: its size, the
// '~' of its version field, its checksum word. *why says it in words.
enum class ImageFault { None, WrongSize, NoVersionMark, ChecksumMismatch };
ImageFault CheckImage(const std::vector<uint8_t>& image, std::string* why);

} // namespace zalfw

#endif
