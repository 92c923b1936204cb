// The event half of the test build's platform seam: command events are real
// events, but a test can make the next creations fail.
#ifndef ZAL_TESTS_CONTROLLEDEVENTS_H
#define ZAL_TESTS_CONTROLLEDEVENTS_H

// The next `count` event creations fail (with ERROR_NOT_ENOUGH_MEMORY).
void FailNextEventCreations(int count);
// Events created through the seam so far.
int CreatedEventCount();

#endif
