// Helpers of the book-type tests beside the path helpers of PathTestSupport.h
// and the command texts of CommandText.h: a drive state as one line.
#ifndef ZAL_TESTS_BOOKTYPETESTSUPPORT_H
#define ZAL_TESTS_BOOKTYPETESTSUPPORT_H

#include "BookTypeState.h"
#include "CommandText.h"
#include "PathTestSupport.h"

#include <string>
#include <vector>

// A drive state as one line, so that a wrong field shows in a failure message:
// "default=A0/00/E0 temporary=.. valid=1/0/1 selected=0/0/1 count=50 version=3".
std::string Describe(const BookTypeState& state);

#endif
