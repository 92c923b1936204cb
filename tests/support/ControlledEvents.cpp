// The event half of the test build's platform seam (see ControlledEvents.h).
#include "ControlledEvents.h"

#include "PlatformSeam.h"

static volatile LONG failuresLeft = 0;
static volatile LONG created = 0;

void FailNextEventCreations(int count) {
    InterlockedExchange(&failuresLeft, count);
}

int CreatedEventCount() {
    return static_cast<int>(created);
}

HANDLE SeamCreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState,
                        LPCSTR name) {
    if (InterlockedDecrement(&failuresLeft) >= 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    InterlockedExchange(&failuresLeft, 0);
    InterlockedIncrement(&created);
    return CreateEventA(security, manualReset, initialState, name);
}
