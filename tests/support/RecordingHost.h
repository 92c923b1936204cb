// The host side of the transport (StatusSink.h) in every test program: the status
// box and the drive list are recorded instead of shown, so that tests can check
// what a user would have seen; a program that reports the status texts itself
// (to a file, to its output) has each passed on as well.
#ifndef ZAL_TESTS_RECORDINGHOST_H
#define ZAL_TESTS_RECORDINGHOST_H

#include <string>
#include <vector>

std::vector<std::string> StatusTexts();
std::vector<std::string> DriveListItems();
void ClearRecordedHost();

// Each status text is passed to `echo` too, after it is recorded; nullptr: no one.
void EchoStatusTo(void (*echo)(const char* text));

#endif
