// One run of the built discmode.exe against the drive emulator (ToolSession),
// with its dialog's controls.
#ifndef ZAL_TESTS_DISCMODESESSION_H
#define ZAL_TESTS_DISCMODESESSION_H

#include "ToolSession.h"

using DiscmodePath = ProgramPath;

// Control identifiers of the dialog.
enum {
    IdOk = 1,
    IdTemporaryLabel = 1001,
    IdDlDefaultNormal = 1015,
    IdDlDefaultCompat = 1016,
    IdDlTemporaryNormal = 1017,
    IdDlTemporaryCompat = 1018,
    IdDlSelectDefault = 1019,
    IdDlSelectTemporary = 1020,
    IdDlDefaultBox = 1021,
    IdDlTemporaryBox = 1022,
    IdRDefaultNormal = 1023,
    IdRDefaultCompat = 1024,
    IdRTemporaryNormal = 1025,
    IdRTemporaryCompat = 1026,
    IdRSelectDefault = 1027,
    IdRSelectTemporary = 1028,
    IdRDefaultBox = 1029,
    IdRTemporaryBox = 1030,
    IdCommandVersion = 1031
};

class DiscmodeSession : public ToolSession {
public:
    explicit DiscmodeSession(const std::string& name) : ToolSession("discmode", name) {}
};

#endif
