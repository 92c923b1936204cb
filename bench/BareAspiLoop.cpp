// A bare loop of ASPI requests: create an event, send, wait, close.
#include "BareAspiLoop.h"

#include "ScsiTransport.h"

#include <cstring>

BYTE BareAspiCommand(const BYTE* cdb, BYTE cdbLength, BYTE directionFlag, BYTE* data,
                     DWORD length) {
    static ScsiRequestBlock block;
    HANDLE event = CreateEventA(NULL, FALSE, FALSE, NULL);
    std::memset(&block, 0, sizeof block);
    block.SRB_Cmd = SC_EXEC_SCSI_CMD;
    block.SRB_Flags = static_cast<BYTE>(SRB_EVENT_NOTIFY | directionFlag);
    block.SRB_BufLen = length;
    block.SRB_BufPointer = data;
    block.SRB_SenseLen = 16;
    block.SRB_CDBLen = cdbLength;
    std::memcpy(block.CDBByte, cdb, cdbLength);
    block.SRB_PostProc = event;
    if (SendASPI32Command(&block) == SS_PENDING) {
        WaitForSingleObject(event, INFINITE);
    }
    CloseHandle(event);
    return block.SRB_Status;
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
