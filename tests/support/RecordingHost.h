// The host side of the transport in a test program: the status box and the drive
// list are recorded instead of shown, so that tests can check what a user would
// have seen.
#ifndef ZAL_TESTS_RECORDINGHOST_H
#define ZAL_TESTS_RECORDINGHOST_H

#include <string>
#include <vector>

std::vector<std::string> StatusTexts();
std::vector<std::string> DriveListItems();
void ClearRecordedHost();

#endif
