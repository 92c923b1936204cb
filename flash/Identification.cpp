// Identification patterns, matching and version comparison. A pattern byte is
// stored as the plain byte plus the table's offset, modulo 256; a position
// matches when the stored byte minus the offset, taken as an integer without
// wrapping, is the wildcard '?' or equals the drive's byte taken as a signed
// 8-bit value.
#include "Identification.h"

#include "IdentificationPatterns.inc"

enum {
    VendorOffset = 0x80,
    ProductOffset = 0x82,
    RevisionOffset = 0x81,
    Wildcard = 0x3F,
    VendorPatternCount = 6,
    ProductPatternCount = 8
};

// The working copy, set from StoredRevisionPattern at start.
static unsigned char revisionPattern[4];

void InitRevisionPattern() {
    for (int i = 0; i < 4; ++i) {
        revisionPattern[i] = StoredRevisionPattern[i];
    }
}

void SetRevisionPatternTail(char third, char fourth) {
    revisionPattern[2] =
        static_cast<unsigned char>(static_cast<unsigned char>(third) + RevisionOffset);
    revisionPattern[3] =
        static_cast<unsigned char>(static_cast<unsigned char>(fourth) + RevisionOffset);
}

static int MatchPattern(const unsigned char* stored, int offset, const char* bytes, int length) {
    for (int i = 0; i < length; ++i) {
        const int plain = stored[i] - offset;
        if (plain != Wildcard && plain != static_cast<signed char>(bytes[i])) {
            return 0;
        }
    }
    return 1;
}

int MatchVendorPatterns(const char* vendor) {
    for (int row = 0; row < VendorPatternCount; ++row) {
        if (MatchPattern(StoredVendorPatterns[row], VendorOffset, vendor, 8)) {
            return 1;
        }
    }
    return 0;
}

int MatchProductPatterns(const char* product) {
    for (int row = 0; row < ProductPatternCount; ++row) {
        if (MatchPattern(StoredProductPatterns[row], ProductOffset, product, 16)) {
            return 1;
        }
    }
    return 0;
}

int MatchRevisionPattern(const char* revision, const char* product) {
    if (!MatchPattern(revisionPattern, RevisionOffset, revision, 3)) {
        return 0;
    }
    if (product == 0) {
        return 1;
    }
    return MatchPattern(StoredAlternateProductPattern, ProductOffset, product, 16);
}

int CompareVersions(const char* current, const char* update) {
    const signed char* c = reinterpret_cast<const signed char*>(current);
    const signed char* u = reinterpret_cast<const signed char*>(update);
    if (c[1] == '.') {
        if (c[0] == u[0] && u[1] == '.' && c[2] == u[2]) {
            return c[3] > u[3] ? 2 : 1;
        }
        return MatchRevisionPattern(current, 0) ? 1 : 0;
    }
    if (c[0] != u[0] || c[1] != u[1]) {
        return 0;
    }
    if (c[2] > u[2] || c[3] > u[3]) {
        return 2;
    }
    return 1;
}

static int IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The number of a dotted version d.dd, or -1 for any other form.
static int DottedNumber(const char* version) {
    if (!IsDigit(version[0]) || version[1] != '.' || !IsDigit(version[2]) || !IsDigit(version[3])) {
        return -1;
    }
    return (version[0] - '0') * 100 + (version[2] - '0') * 10 + (version[3] - '0');
}

int IsDowngrade(const char* current, const char* update) {
    if (CompareVersions(current, update) == 2) {
        return 1;
    }
    const int currentNumber = DottedNumber(current);
    const int updateNumber = DottedNumber(update);
    return currentNumber >= 0 && updateNumber >= 0 && currentNumber > updateNumber ? 1 : 0;
}
