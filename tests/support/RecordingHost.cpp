// The transport's host in every test program (see RecordingHost.h). The
// transport may call ShowStatus from worker threads, so the records are guarded.
#include "RecordingHost.h"

#include "StatusSink.h"

#include <mutex>

namespace {
std::mutex hostLock;
std::vector<std::string> statusTexts;
std::vector<std::string> driveListItems;
void (*statusEcho)(const char* text) = nullptr;
} // namespace

void ShowStatus(const char* text) {
    void (*echo)(const char*);
    {
        std::lock_guard<std::mutex> lock(hostLock);
        statusTexts.push_back(text);
        echo = statusEcho;
    }
    if (echo != nullptr) {
        echo(text);
    }
}

void AddDriveListItem(const char* text) {
    std::lock_guard<std::mutex> lock(hostLock);
    driveListItems.push_back(text);
}

void EchoStatusTo(void (*echo)(const char* text)) {
    std::lock_guard<std::mutex> lock(hostLock);
    statusEcho = echo;
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
