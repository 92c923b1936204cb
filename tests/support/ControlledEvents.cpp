// The command events of the test seam (see ControlledEvents.h).
#include "ControlledEvents.h"

static volatile LONG failuresLeft = 0;
static volatile LONG created = 0;

void FailNextEventCreations(int count) {
    InterlockedExchange(&failuresLeft, count);
}

int CreatedEventCount() {
    return static_cast<int>(created);
}

HANDLE ControlledCreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState,
                              LPCSTR name) {
    if (InterlockedDecrement(&failuresLeft) >= 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    InterlockedExchange(&failuresLeft, 0);
    InterlockedIncrement(&created);
    return CreateEventA(security, manualReset, initialState, name);
}
