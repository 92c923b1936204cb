// Helpers of the book-type tests (see BookTypeTestSupport.h).
#include "BookTypeTestSupport.h"

#include <cstdio>

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
