// The least code that hands requests to the ASPI library: the Windows 9x path's
// baseline of the transport benchmarks, and the floor under which the tools'
// CPU figures leave out the emulator's own work.
#ifndef ZAL_BENCH_BAREASPILOOP_H
#define ZAL_BENCH_BAREASPILOOP_H

#include <windows.h>

// Sends `count` TEST UNIT READY requests to the bound SendASPI32Command, each with
// an event of its own created, waited on and closed; 1 when every one ended with
// `expectedStatus` (SS_COMP with a disc in the drive, SS_ERR without one).
int BareAspiCommands(int count, BYTE expectedStatus);

#endif
