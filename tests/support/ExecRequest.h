// Execute requests that tests and benchmarks hand straight to an ASPI manager:
// the one way to fill an SRB_ExecSCSICmd block (sense length 16, LUN 0), sent
// and waited for as the issue-and-wait pattern asks; for tests, a request that
// owns its event and data, the post routine that records each completion, and a
// data-in command for the tools' own command builders. The benchmarks' bare
// programs use only the inline part.
#ifndef ZAL_TESTS_EXECREQUEST_H
#define ZAL_TESTS_EXECREQUEST_H

#include "AspiTypes.h"
#include "ScsiCommand.h"

#include <windows.h>

#include <stdint.h>
#include <string.h>
#include <vector>

// An execute request to `ha`:`target` with `flags`: `cdbLength` bytes of `cdb`,
// `length` bytes of `data`, and the event or post routine `postProc`.
inline void FillExecBlock(ScsiRequestBlock* block, BYTE ha, BYTE target, BYTE flags,
                          const BYTE* cdb, BYTE cdbLength, BYTE* data, DWORD length,
                          void* postProc) {
    memset(block, 0, sizeof *block);
    block->SRB_Cmd = SC_EXEC_SCSI_CMD;
    block->SRB_HaId = ha;
    block->SRB_Target = target;
    block->SRB_Flags = flags;
    block->SRB_BufLen = length;
    block->SRB_BufPointer = data;
    block->SRB_SenseLen = 16;
    block->SRB_CDBLen = cdbLength;
    block->SRB_PostProc = postProc;
    memcpy(block->CDBByte, cdb, cdbLength);
}

// Sends such a request to 0:0 through `send` with an event of its own, waits for
// the event when the request is pending and closes it; the request's SRB_Status.
inline BYTE SendExecAndWait(SendASPI32CommandProc send, ScsiRequestBlock* block, BYTE flags,
                            const BYTE* cdb, BYTE cdbLength, BYTE* data, DWORD length) {
    HANDLE event = CreateEventA(NULL, FALSE, FALSE, NULL);
    FillExecBlock(block, 0, 0, flags, cdb, cdbLength, data, length, event);
    if (send(block) == SS_PENDING) {
        WaitForSingleObject(event, INFINITE);
    }
    CloseHandle(event);
    return block->SRB_Status;
}

// Bytes as a vector, so that a failing comparison shows both sides.
inline std::vector<int> ByteValues(const void* data, size_t length) {
    const BYTE* bytes = static_cast<const BYTE*>(data);
    return std::vector<int>(bytes, bytes + length);
}

// A zeroed request block of kind `cmd`.
template <typename Block> Block BlankRequest(BYTE cmd) {
    Block block;
    memset(&block, 0, sizeof block);
    block.SRB_Cmd = cmd;
    return block;
}

// An abort of the request in `toAbort`, sent to host adapter `ha`.
inline SRB_Abort AbortRequest(BYTE ha, void* toAbort) {
    SRB_Abort abort = {};
    abort.SRB_Cmd = SC_ABORT_SRB;
    abort.SRB_HaId = ha;
    abort.SRB_ToAbort = toAbort;
    return abort;
}

// A call of a post routine: the block, its SRB_Status then, the calling thread.
struct PostedCall {
    const void* block;
    BYTE status;
    DWORD thread;
};

// The post routine of tests: records each call, in the order of the calls.
void __cdecl RecordPostedCall(void* block);
// The calls since the last ClearPostedCalls, all or those for `block`.
std::vector<PostedCall> PostedCalls(const void* block = nullptr);
void ClearPostedCalls();
// Waits until there are `count` such calls; false when `timeoutMs` ran out first.
bool AwaitPostedCalls(size_t count, DWORD timeoutMs, const void* block = nullptr);

// A data-in command of the tools' builders to the current target: `cdb`, and
// `length` bytes into `data`, waited for at most `timeoutMs`.
ScsiCommand DataInCommand(const std::vector<uint8_t>& cdb, void* data, DWORD length,
                          DWORD timeoutMs);

// A test's execute request with an event of its own, closed with it, and with
// RecordPostedCall as its post routine when its flags ask for posting; its data
// are the first `length` bytes of `data` (0xEE before the request, none when
// `length` is 0). `room` lies behind the block, for sense lengths above the 20
// bytes of its sense area.
struct ExecRequest {
    ScsiRequestBlock srb;
    BYTE room[32];
    BYTE data[64];
    HANDLE event;

    ExecRequest(BYTE ha, BYTE target, BYTE flags, const std::vector<uint8_t>& cdb, DWORD length) {
        memset(room, 0, sizeof room);
        memset(data, 0xEE, sizeof data);
        event = CreateEventA(NULL, FALSE, FALSE, NULL);
        void* const post = reinterpret_cast<void*>(RecordPostedCall);
        FillExecBlock(&srb, ha, target, flags, cdb.data(), static_cast<BYTE>(cdb.size()),
                      length != 0 ? data : NULL, length, (flags & SRB_POSTING) != 0 ? post : event);
    }
    ~ExecRequest() { CloseHandle(event); }
    ExecRequest(const ExecRequest&) = delete;
    ExecRequest& operator=(const ExecRequest&) = delete;
    // True when the event is signalled within `ms`.
    bool Signalled(DWORD ms) { return WaitForSingleObject(event, ms) == WAIT_OBJECT_0; }
};

#endif
