// Helpers of the book-type tests beside the path helpers of PathTestSupport.h:
// the 0xC9 CDBs as text and a drive state as one line.
#ifndef ZAL_TESTS_BOOKTYPETESTSUPPORT_H
#define ZAL_TESTS_BOOKTYPETESTSUPPORT_H

#include "BookTypeState.h"
#include "PathTestSupport.h"

#include <string>
#include <vector>

// The four 0xC9 CDBs as the drive must receive them (the signature is ZALBK).
std::string ReadCdb(int medium, int which);
std::string SetDefaultCdb(int medium, int value);
std::string SetTemporaryCdb(int medium, int value);
std::string SelectCdb(int medium, int temporary);

// A drive state as one line, so that a wrong field shows in a failure message:
// "default=A0/00/E0 temporary=.. valid=1/0/1 selected=0/0/1 count=50 version=3".
std::string Describe(const BookTypeState& state);

#endif
