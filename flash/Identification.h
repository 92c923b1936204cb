// Which drives the flash tool's image is for: the identification patterns (kept
// only in encoded form), the working copy of the revision pattern that an
// extended trailer may change, the pattern matchers and the version comparison.
#ifndef ZAL_FLASH_IDENTIFICATION_H
#define ZAL_FLASH_IDENTIFICATION_H

// Sets the working revision pattern from its stored form. Called once at program
// start, before the image is loaded.
void InitRevisionPattern();

// Replaces characters 3 and 4 of the working revision pattern with two plain
// characters (the extended trailer's).
void SetRevisionPatternTail(char third, char fourth);

// 1 when any vendor pattern matches the 8 bytes of a vendor identification.
int MatchVendorPatterns(const char* vendor);

// 1 when any product pattern matches the 16 bytes of a product identification.
int MatchProductPatterns(const char* product);

// 1 when the first three characters of `revision` match the revision pattern
// and, when `product` is not NULL, its 16 bytes match the alternate product
// pattern.
int MatchRevisionPattern(const char* revision, const char* product);

// Compares a drive's current version with the image's update version (4
// characters each): 0 the drive is not a target of the image, 1 the image is
// the same or newer, 2 the image is older than the drive's firmware.
int CompareVersions(const char* current, const char* update);

// 1 when flashing `update` over `current` takes the drive back to older
// firmware: CompareVersions gives 2, or both are dotted versions (d.dd) and the
// current one is the higher number. CompareVersions alone misses the second
// kind (2.20 against 2.17 gives 1), so the revert question asks this.
int IsDowngrade(const char* current, const char* update);

#endif
