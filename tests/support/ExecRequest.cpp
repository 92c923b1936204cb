// The post routine of tests and its record, and the data-in command of the
// builders (see ExecRequest.h).
#include "ExecRequest.h"

#include <algorithm>
#include <iterator>
#include <mutex>

namespace {

struct Record {
    std::mutex lock;
    HANDLE each = CreateEventA(NULL, FALSE, FALSE, NULL); // set at every call
    std::vector<PostedCall> calls;
};

Record& TheRecord() {
    static Record record;
    return record;
}

} // namespace

void __cdecl RecordPostedCall(void* block) {
    Record& record = TheRecord();
    {
        std::lock_guard<std::mutex> lock(record.lock);
        record.calls.push_back(
            {block, static_cast<ScsiRequestBlock*>(block)->SRB_Status, GetCurrentThreadId()});
    }
    SetEvent(record.each);
}

std::vector<PostedCall> PostedCalls(const void* block) {
    Record& record = TheRecord();
    std::vector<PostedCall> calls;
    std::lock_guard<std::mutex> lock(record.lock);
    std::copy_if(
        record.calls.begin(), record.calls.end(), std::back_inserter(calls),
        [block](const PostedCall& call) { return block == nullptr || call.block == block; });
    return calls;
}

void ClearPostedCalls() {
    std::lock_guard<std::mutex> lock(TheRecord().lock);
    TheRecord().calls.clear();
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
