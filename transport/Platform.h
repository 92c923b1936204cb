// Which Windows platform the tool runs on, and the shutdown that the flash tool's
// Power Off command asks for.
#ifndef ZAL_TRANSPORT_PLATFORM_H
#define ZAL_TRANSPORT_PLATFORM_H

#include <windows.h>

enum { PlatformWin9x = 1, PlatformNT = 2 };

// The platform identifier (dwPlatformId). A non-zero shutdown flag also asks the
// system to shut down, with the shutdown privilege switched on around the request
// on the NT family.
DWORD QueryPlatform(BYTE shutdown);

// Applies attribute (SE_PRIVILEGE_ENABLED or 0) to the named privilege of the
// process token; 1 when the token was adjusted without error.
int SetShutdownPrivilege(const char* name, DWORD attribute);

#endif
