// A bare loop of ASPI requests: create an event, send, wait, close.
#include "BareAspiLoop.h"

#include "ScsiTransport.h"

#include <cstring>

int BareAspiCommands(int count, BYTE expectedStatus) {
    static ScsiRequestBlock block;
    for (int i = 0; i < count; ++i) {
        HANDLE event = CreateEventA(NULL, FALSE, FALSE, NULL);
        std::memset(&block, 0, sizeof block);
        block.SRB_Cmd = SC_EXEC_SCSI_CMD;
        block.SRB_Flags = SRB_EVENT_NOTIFY;
        block.SRB_SenseLen = 16;
        block.SRB_CDBLen = 6;
        block.SRB_PostProc = event;
        if (SendASPI32Command(&block) == SS_PENDING) {
            WaitForSingleObject(event, INFINITE);
        }
        CloseHandle(event);
        if (block.SRB_Status != expectedStatus) {
            return 0;
        }
    }
    return 1;
}
