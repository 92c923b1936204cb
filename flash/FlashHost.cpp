// The flash tool's status box and drive list, as the transport reaches them.
#include "StatusSink.h"

void ShowStatus(const char*) {}

void AddDriveListItem(const char*) {}
