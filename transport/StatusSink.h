// The two sinks that each tool's dialog supplies to the transport: the status box
// and the drive list.
#ifndef ZAL_TRANSPORT_STATUSSINK_H
#define ZAL_TRANSPORT_STATUSSINK_H

// Replaces the whole text of the dialog's status box.
void ShowStatus(const char* text);

// Appends a drive display text at the end of the dialog's drive list.
void AddDriveListItem(const char* text);

#endif
