// How long the tests wait on this machine. ZAL_TIME_SCALE (set by the build's
// Wine session: 10 where 32-bit programs run through qemu, 1 elsewhere)
// multiplies every limit on waiting for something that must happen, every pause
// that lets a program get on before a check, and the slack of elapsed-time
// checks. It never stretches a wait for something that must not happen.
#ifndef ZAL_TESTS_TIMESCALE_H
#define ZAL_TESTS_TIMESCALE_H

#include <windows.h>

#include <cstdlib>

inline DWORD TimeScale() {
    static const DWORD scale = [] {
        char text[16];
        const DWORD length = GetEnvironmentVariableA("ZAL_TIME_SCALE", text, sizeof text);
        const long value = length > 0 && length < sizeof text ? std::atol(text) : 1;
        return value >= 1 && value <= 100 ? static_cast<DWORD>(value) : 1;
    }();
    return scale;
}

// `ms` stretched by the machine's time scale.
inline DWORD Scaled(DWORD ms) {
    return ms == INFINITE ? INFINITE : ms * TimeScale();
}

#endif
