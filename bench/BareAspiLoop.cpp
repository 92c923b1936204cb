// A bare loop of ASPI requests: create an event, send, wait, close.
#include "BareAspiLoop.h"

#include "ExecRequest.h"
#include "ScsiTransport.h"

BYTE BareAspiCommand(const BYTE* cdb, BYTE cdbLength, BYTE directionFlag, BYTE* data,
                     DWORD length) {
    static ScsiRequestBlock block;
    return SendExecAndWait(SendASPI32Command, &block,
                           static_cast<BYTE>(SRB_EVENT_NOTIFY | directionFlag), cdb, cdbLength,
                           data, length);
}

int BareAspiCommands(int count, BYTE expectedStatus) {
    static const BYTE testUnitReady[6] = {0, 0, 0, 0, 0, 0};
    for (int i = 0; i < count; ++i) {
        if (BareAspiCommand(testUnitReady, sizeof testUnitReady, 0, NULL, 0) != expectedStatus) {
            return 0;
        }
    }
    return 1;
}
