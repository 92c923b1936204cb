// Helpers of the book-type tests (see BookTypeTestSupport.h).
#include "BookTypeTestSupport.h"

#include <cstdio>

static std::string VendorCdb(int sub, int medium, int byte3, int byte9) {
    char text[64];
    std::snprintf(text, sizeof text, "C9-%02X-%02X-%02X-5A-41-4C-42-4B-%02X-00-00", sub, medium,
                  byte3, byte9);
    return text;
}

std::string ReadCdb(int medium, int which) {
    return VendorCdb(2, medium, 1, which);
}
std::string SetDefaultCdb(int medium, int value) {
    return VendorCdb(1, medium, value, 0);
}
std::string SetTemporaryCdb(int medium, int value) {
    return VendorCdb(3, medium, value, 0);
}
std::string SelectCdb(int medium, int temporary) {
    return VendorCdb(4, medium, 0, temporary);
}

std::string Describe(const BookTypeState& s) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "default=%02X/%02X/%02X temporary=%02X/%02X/%02X valid=%d/%d/%d "
                  "selected=%d/%d/%d count=%d version=%d",
                  s.defaultValue[0], s.defaultValue[1], s.defaultValue[2], s.temporaryValue[0],
                  s.temporaryValue[1], s.temporaryValue[2], s.temporaryValid[0],
                  s.temporaryValid[1], s.temporaryValid[2], s.temporarySelected[0],
                  s.temporarySelected[1], s.temporarySelected[2], RemainingChangeCount(&s),
                  s.commandVersion);
    return text;
}
