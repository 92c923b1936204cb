// The firmware image that the flash tool carries appended to its own program
// file: finding and checking it, and what the tool takes from it (the image
// bytes, the two checksum bytes, the update version).
#ifndef ZAL_FLASH_FIRMWAREIMAGE_H
#define ZAL_FLASH_FIRMWAREIMAGE_H

#include "ImageFormat.h"

struct LoadedImage {
    unsigned char* data;       // ImageSize bytes, allocated once, never freed
    unsigned char checksum[2]; // the image's last two bytes, in file order
    char updateVersion[VersionTextLength + 1];
    char* path;    // the file the image was read from
    int testImage; // 1: a generated test image (TestImageMark.h), for the emulator only
};

// Filled by LoadFirmwareImage (or ReadImageFile), read-only afterwards.
extern LoadedImage FirmwareImage;

// Loads the image from the tool's own program file: the first token of the
// command line, or, where that names no file that opens, the program's module
// file. 1 when loaded; else 0 after an error box with the bad-image text.
int LoadFirmwareImage();

// 1 when `path` holds a valid image, which then fills FirmwareImage (and, for an
// extended trailer, characters 3 and 4 of the revision pattern); else 0, with
// FirmwareImage's version, checksum, path and test mark as they were. Reports
// nothing.
int ReadImageFile(const char* path);

// The path of the program file as the command line gives it: after an opening
// double quote up to the next one, else up to the first blank; a double quote
// left at its end is dropped. Writes at most size - 1 characters and a NUL.
void ProgramPathFromCommandLine(const char* commandLine, char* path, unsigned size);

#endif
