// The least code that hands requests to the ASPI library: the Windows 9x path's
// baseline of the transport benchmarks, and the price of each command of a flash
// run as the bare path carries it.
#ifndef ZAL_BENCH_BAREASPILOOP_H
#define ZAL_BENCH_BAREASPILOOP_H

#include <windows.h>

// Sends one request for target 0:0 to the bound SendASPI32Command with an event
// of its own created, waited on and closed: `cdbLength` bytes of `cdb`, the data
// direction `directionFlag` (0, SRB_DIR_IN or SRB_DIR_OUT) over `length` bytes
// of `data`. The request's SRB_Status.
BYTE BareAspiCommand(const BYTE* cdb, BYTE cdbLength, BYTE directionFlag, BYTE* data, DWORD length);

// Sends `count` TEST UNIT READY requests as BareAspiCommand does; 1 when every
// one ended with `expectedStatus` (SS_COMP with a disc in the drive, SS_ERR
// without one).
int BareAspiCommands(int count, BYTE expectedStatus);

#endif
