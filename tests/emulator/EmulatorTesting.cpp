// Helpers of the emulator's tests (see EmulatorTesting.h).
#include "EmulatorTesting.h"

#include "ImageFormat.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace emutest {

std::string Load(const std::string& scenario, const std::string& baseDir) {
    std::string error;
    return zalemu::Emulator::Instance().LoadScenarioText(scenario, baseDir, &error) ? "" : error;
}

static Reply Run(const std::string& address, const Bytes& cdb, zalemu::Direction direction,
                 Bytes buffer) {
    const zalemu::ExecResult result = zalemu::Emulator::Instance().Execute(
        address, cdb.data(), cdb.size(), direction, buffer.empty() ? nullptr : buffer.data(),
        static_cast<uint32_t>(buffer.size()), nullptr);
    Reply reply;
    reply.status = result.status;
    if (result.status == zalemu::ExecStatus::Completed) {
        char sense[16];
        std::snprintf(sense, sizeof sense, "%X/%02X/%02X", result.sense[2], result.sense[12],
                      result.sense[13]);
        reply.outcome = result.good ? "good" : sense;
        if (direction == zalemu::Direction::In) {
            reply.data.assign(buffer.data(), buffer.data() + result.transferred);
        }
    } else {
        reply.outcome = result.status == zalemu::ExecStatus::Gone       ? "gone"
                        : result.status == zalemu::ExecStatus::NoDevice ? "no device"
                                                                        : "other";
    }
    return reply;
}

Reply Send(const std::string& address, const Bytes& cdb, uint32_t inLength) {
    return Run(address, cdb, inLength != 0 ? zalemu::Direction::In : zalemu::Direction::None,
               Bytes(inLength, 0xEE));
}

Reply SendOut(const std::string& address, const Bytes& cdb, const Bytes& out) {
    return Run(address, cdb, zalemu::Direction::Out, out);
}

std::string InquiryText(const std::string& address, size_t from) {
    const Reply reply = Send(address, InquiryCommand(), 36);
    return reply.data.size() == 36 ? InquiryIdentity(reply.data.data()).substr(from - 8)
                                   : "(no INQUIRY data: " + reply.outcome + ")";
}

std::string FlashImage(const std::string& address, const Bytes& image) {
    std::string outcome = "good";
    size_t offset = 0;
    for (const CdbBytes& cdb : WholeFlashRunCommands(StoredImageChecksum(image.data()))) {
        if (outcome != "good") {
            break;
        }
        if (cdb[0] == 0xCB && cdb[1] == 0x01) {
            const size_t length = cdb[8] * size_t{4096};
            const Bytes data(image.begin() + static_cast<long>(offset),
                             image.begin() + static_cast<long>(offset + length));
            outcome = SendOut(address, cdb, data).outcome;
            offset += length;
        } else if (cdb[0] != 0x12) {
            outcome = Send(address, cdb).outcome;
        }
    }
    return outcome;
}

std::vector<zalemu::CommandRecord> Logged() {
    std::vector<zalemu::CommandRecord> records;
    std::string error;
    const std::string log = zalemu::Emulator::Instance().LogText();
    EXPECT_TRUE(zalemu::ParseLog(log, &records, &error)) << error << " in\n" << log;
    return records;
}

std::string LoggedRecord(size_t index) {
    const std::vector<zalemu::CommandRecord> records = Logged();
    if (index >= records.size()) {
        return "(no command " + std::to_string(index + 1) + ": the log holds " +
               std::to_string(records.size()) + ")";
    }
    return WithoutTimes(zalemu::FormatRecord(records[index]));
}

std::string WithoutTimes(const std::string& text) {
    std::string result;
    size_t at = 0;
    while (at < text.size()) {
        const size_t lineEnd = text.find('\n', at);
        const size_t end = lineEnd == std::string::npos ? text.size() : lineEnd;
        std::string line = text.substr(at, end - at);
        const bool crlf = !line.empty() && line.back() == '\r';
        if (crlf) {
            line.pop_back();
        }
        const size_t time = line.rfind(" ms=");
        if (time != std::string::npos) {
            line.erase(time);
        } else if (!line.empty() && line[0] != '#') {
            line += " (no time)";
        }
        result += line + (crlf ? "\r" : "") + (lineEnd == std::string::npos ? "" : "\n");
        at = end + 1;
    }
    return result;
}

std::string LoggedOutcome(size_t index) {
    const std::vector<zalemu::CommandRecord> records = Logged();
    return index < records.size() ? records[index].outcome : LoggedRecord(index);
}

ScratchFolder::ScratchFolder() {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    static unsigned serial = 0;
    path_ = std::string(temp) + "zalemu-test-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(++serial);
    CreateDirectoryA(path_.c_str(), NULL);
}

ScratchFolder::~ScratchFolder() {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path_ + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            DeleteFileA(File(found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path_.c_str());
}

std::string ReadFile(const std::string& path) {
    std::string text;
    return zalemu::ReadTextFile(path, &text) ? text : "(cannot read " + path + ")";
}

void WriteFile(const std::string& path, const std::string& text) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file != nullptr) {
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }
}

std::string ProgramFolder() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/"));
}

int RunProgram(const std::string& commandLine, std::string* output, DWORD timeoutMs) {
    output->clear();
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE readEnd = NULL;
    HANDLE writeEnd = NULL;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        return -1;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process;
    std::string line = commandLine;
    const BOOL started =
        CreateProcessA(NULL, &line[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return -1;
    }
    const DWORD start = GetTickCount();
    char chunk[4096];
    DWORD got = 0;
    bool running = true;
    while (running && GetTickCount() - start < timeoutMs) {
        running = WaitForSingleObject(process.hProcess, 10) == WAIT_TIMEOUT;
        DWORD available = 0;
        while (PeekNamedPipe(readEnd, NULL, 0, NULL, &available, NULL) && available > 0 &&
               ::ReadFile(readEnd, chunk, sizeof chunk, &got, NULL) && got > 0) {
            output->append(chunk, got);
        }
    }
    while (!running && ::ReadFile(readEnd, chunk, sizeof chunk, &got, NULL) && got > 0) {
        output->append(chunk, got);
    }
    DWORD exitCode = static_cast<DWORD>(-1);
    if (running) {
        TerminateProcess(process.hProcess, 1);
    } else {
        GetExitCodeProcess(process.hProcess, &exitCode);
    }
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(readEnd);
    return running ? -1 : static_cast<int>(exitCode);
}

} // namespace emutest
