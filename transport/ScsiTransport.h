// The SCSI transport: binds the two ASPI entry points either to wnaspi32.dll
// (Windows 9x) or to the SPTI simulator (NT family), and holds the target that
// every command builder addresses.
#ifndef ZAL_TRANSPORT_SCSITRANSPORT_H
#define ZAL_TRANSPORT_SCSITRANSPORT_H

#include "AspiTypes.h"

// The bound entry points; null while nothing is bound.
extern GetASPI32SupportInfoProc GetASPI32SupportInfo;
extern SendASPI32CommandProc SendASPI32Command;

// Number of host adapters the drive enumeration scans.
extern int HostAdapterCount;

// The target of the command builders.
extern BYTE CurrentHaId;
extern BYTE CurrentTargetId;

// Brings the transport up; 1 when a usable interface is bound. Reports its
// outcome through ShowStatus.
int InitScsiTransport();

// Frees the ASPI library if one is loaded; the simulator stays until the process ends.
int ReleaseScsiTransport();

// Loads wnaspi32.dll and binds both entry points, or ends the process.
void LoadAspiLibrary();

// Beeps, shows text in the transport's fatal box and ends the process with code 0.
void FatalAspiError(const char* text);

// Makes (haId, targetId) the target of the following commands.
void SelectTarget(int haId, int targetId);

#endif
