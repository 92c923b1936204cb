// The command events of the test seam (TestSeam.h), its default: real events, but
// a test can make the next creations fail.
#ifndef ZAL_TESTS_CONTROLLEDEVENTS_H
#define ZAL_TESTS_CONTROLLEDEVENTS_H

#include <windows.h>

// The next `count` event creations fail (with ERROR_NOT_ENOUGH_MEMORY).
void FailNextEventCreations(int count);
// Events created through the seam so far.
int CreatedEventCount();

// The seam's event creation.
HANDLE ControlledCreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState,
                              LPCSTR name);

#endif
