// The post routine of tests and its record, and the data-in command of the
// builders (see ExecRequest.h).
#include "ExecRequest.h"

namespace {

struct Record {
    CRITICAL_SECTION lock;
    HANDLE each; // set at every call
    std::vector<PostedCall> calls;
    Record() : each(CreateEventA(NULL, FALSE, FALSE, NULL)) { InitializeCriticalSection(&lock); }
};

Record& TheRecord() {
    static Record record;
    return record;
}

} // namespace

void __cdecl RecordPostedCall(void* block) {
    Record& record = TheRecord();
    EnterCriticalSection(&record.lock);
    record.calls.push_back(
        {block, static_cast<ScsiRequestBlock*>(block)->SRB_Status, GetCurrentThreadId()});
    LeaveCriticalSection(&record.lock);
    SetEvent(record.each);
}

std::vector<PostedCall> PostedCalls(const void* block) {
    Record& record = TheRecord();
    std::vector<PostedCall> calls;
    EnterCriticalSection(&record.lock);
    for (const PostedCall& call : record.calls) {
        if (block == nullptr || call.block == block) {
            calls.push_back(call);
        }
    }
    LeaveCriticalSection(&record.lock);
    return calls;
}

void ClearPostedCalls() {
    Record& record = TheRecord();
    EnterCriticalSection(&record.lock);
    record.calls.clear();
    LeaveCriticalSection(&record.lock);
}

bool AwaitPostedCalls(size_t count, DWORD timeoutMs, const void* block) {
    const DWORD start = GetTickCount();
    while (PostedCalls(block).size() < count) {
        const DWORD waited = GetTickCount() - start;
        if (waited >= timeoutMs) {
            return false;
        }
        WaitForSingleObject(TheRecord().each, timeoutMs - waited);
    }
    return true;
}

ScsiCommand DataInCommand(const std::vector<uint8_t>& cdb, void* data, DWORD length,
                          DWORD timeoutMs) {
    ScsiCommand command = CommandToCurrentTarget(static_cast<BYTE>(cdb.size()), timeoutMs);
    memcpy(command.cdb, cdb.data(), cdb.size());
    command.direction = CommandDataIn;
    command.data = data;
    command.dataLength = length;
    return command;
}
