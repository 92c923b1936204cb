// Helpers of the emulator's tests (see EmulatorTesting.h).
#include "EmulatorTesting.h"

#include "ImageFormat.h"
#include "SptiBackEnd.h"

#include <cstddef>
#include <cstring>

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

std::string Hex(const Bytes& bytes) {
    std::string text;
    for (uint8_t b : bytes) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02X ", b);
        text += byte;
    }
    return text;
}

::testing::AssertionResult Holds(const std::string& text, const std::string& part) {
    if (text.find(part) != std::string::npos) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "expected '" << part << "' in:\n" << text;
}

HANDLE OpenDevice(const char* path) {
    return SptiCreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           OPEN_EXISTING, 0);
}

PassThroughBlock Block(const Bytes& cdb, UCHAR dataIn, void* data, ULONG length) {
    PassThroughBlock block;
    std::memset(&block, 0xCC, sizeof block);
    block.Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
    block.ScsiStatus = 0x55;
    block.PathId = 0;
    block.TargetId = 1;
    block.Lun = 0;
    block.CdbLength = static_cast<UCHAR>(cdb.size());
    block.SenseInfoLength = 32;
    block.DataIn = dataIn;
    block.DataTransferLength = length;
    block.TimeOutValue = 108000;
    block.DataBuffer = data;
    block.SenseInfoOffset = offsetof(PassThroughBlock, Sense);
    std::memset(block.Cdb, 0, sizeof block.Cdb);
    std::memcpy(block.Cdb, cdb.data(), cdb.size());
    return block;
}

BOOL Through(HANDLE device, PassThroughBlock* block, DWORD size) {
    DWORD returned = 0;
    return SptiDeviceIoControl(device, ZAL_IOCTL_SCSI_PASS_THROUGH_DIRECT, block, size, block, size,
                               &returned);
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
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
        DeleteFileA(File(found.cFileName).c_str());
    }
    FindClose(search);
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
    ScratchFolder folder;
    const std::string outputPath = folder.File("output.txt");
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE file = CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              &inherit, CREATE_ALWAYS, 0, NULL);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = file;
    startup.hStdError = file;
    PROCESS_INFORMATION process;
    std::string line = commandLine;
    const BOOL started =
        file != INVALID_HANDLE_VALUE &&
        CreateProcessA(NULL, &line[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process);
    CloseHandle(file);
    DWORD exitCode = static_cast<DWORD>(-1);
    if (started) {
        if (WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0) {
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, 5000);
        } else {
            GetExitCodeProcess(process.hProcess, &exitCode);
        }
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    if (!zalemu::ReadTextFile(outputPath, output)) {
        output->clear();
    }
    return static_cast<int>(exitCode);
}

} // namespace emutest
