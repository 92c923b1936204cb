// Recording status box and drive list for test programs. The transport may call
// ShowStatus from worker threads, so the records are guarded.
#include "RecordingHost.h"

#include "StatusSink.h"

#include <mutex>

namespace {
std::mutex hostLock;
std::vector<std::string> statusTexts;
std::vector<std::string> driveListItems;
} // namespace

void ShowStatus(const char* text) {
    std::lock_guard<std::mutex> lock(hostLock);
    statusTexts.push_back(text);
}

void AddDriveListItem(const char* text) {
    std::lock_guard<std::mutex> lock(hostLock);
    driveListItems.push_back(text);
}

std::vector<std::string> StatusTexts() {
    std::lock_guard<std::mutex> lock(hostLock);
    return statusTexts;
}

std::vector<std::string> DriveListItems() {
    std::lock_guard<std::mutex> lock(hostLock);
    return driveListItems;
}

void ClearRecordedHost() {
    std::lock_guard<std::mutex> lock(hostLock);
    statusTexts.clear();
    driveListItems.clear();
}
