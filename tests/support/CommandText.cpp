// The drive's commands for tests (see CommandText.h).
#include "CommandText.h"

#include <cstdio>
#include <initializer_list>

namespace {

// A CDB of the bytes (each taken modulo 256), with `text`'s first `count`
// characters from byte `at` on.
CdbBytes Cdb(std::initializer_list<unsigned> bytes, size_t at = 0, const char* text = "",
             size_t count = 0) {
    CdbBytes cdb(bytes.begin(), bytes.end());
    for (size_t i = 0; i < count && text[i] != '\0'; ++i) {
        cdb[at + i] = static_cast<uint8_t>(text[i]);
    }
    return cdb;
}

unsigned Byte(int value) {
    return static_cast<unsigned>(value);
}

} // namespace

CdbBytes InquiryCommand(unsigned allocation) {
    return Cdb({0x12, 0, 0, 0, allocation, 0});
}

CdbBytes TestUnitReadyCommand() {
    return Cdb({0, 0, 0, 0, 0, 0});
}

CdbBytes BookTypeCommand(unsigned sub, unsigned medium, unsigned value, unsigned which,
                         const char* signature) {
    return Cdb({0xC9, sub, medium, value, 0, 0, 0, 0, 0, which, 0, 0}, 4, signature, 5);
}

CdbBytes FlashModeCommand(unsigned mode, const char* code) {
    return Cdb({0xCC, 1, mode, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 4, code, 4);
}

CdbBytes DownloadCommand(unsigned address, unsigned blocks) {
    return Cdb({0xCB, 1, 0, address >> 16, address >> 8, address, 0, 0, blocks, 0, 0, 0});
}

CdbBytes ChecksumCommand(unsigned checksum) {
    return Cdb({0xCC, 4, checksum >> 8, checksum, 0, 0, 0, 0, 0, 0, 0, 0});
}

CdbBytes BlockCommand(unsigned sub, unsigned mask) {
    return Cdb({0xCB, sub, 0, 0, 0, mask >> 24, mask >> 16, mask >> 8, mask, 0, 0, 0});
}

CdbBytes InquiryReply(const std::string& identity) {
    CdbBytes reply = Cdb({5, 0x80, 2, 2, 31, 0, 0, 0});
    reply.insert(reply.end(), identity.begin(), identity.end());
    reply.resize(36, ' ');
    return reply;
}

std::string InquiryIdentity(const void* reply) {
    return std::string(static_cast<const char*>(reply) + 8, 28);
}

std::string CdbText(const CdbBytes& cdb) {
    return CdbText(cdb.data(), cdb.size());
}

std::string CdbText(const unsigned char* bytes, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, i == 0 ? "%02X" : "-%02X", bytes[i]);
        text += hex;
    }
    return text;
}

std::string CdbText(const zalemu::CommandRecord& record, size_t bytes) {
    return CdbText(record.cdb.data(), bytes < record.cdb.size() ? bytes : record.cdb.size());
}

std::vector<std::string> CdbTexts(const std::vector<zalemu::CommandRecord>& records) {
    std::vector<std::string> texts;
    for (const zalemu::CommandRecord& record : records) {
        texts.push_back(CdbText(record));
    }
    return texts;
}

std::string ReadCdb(int medium, int which) {
    return CdbText(BookTypeCommand(2, Byte(medium), 1, Byte(which)));
}

std::string SetDefaultCdb(int medium, int value) {
    return CdbText(BookTypeCommand(1, Byte(medium), Byte(value), 0));
}

std::string SetTemporaryCdb(int medium, int value) {
    return CdbText(BookTypeCommand(3, Byte(medium), Byte(value), 0));
}

std::string SelectCdb(int medium, int temporary) {
    return CdbText(BookTypeCommand(4, Byte(medium), 0, Byte(temporary)));
}

const std::string InquiryCdb = CdbText(InquiryCommand());
const std::string FlashEnterCdb = CdbText(FlashModeCommand(1));
const std::string FlashLeaveCdb = CdbText(FlashModeCommand(0));

std::string DownloadCdb(unsigned address, unsigned blocks) {
    return CdbText(DownloadCommand(address, blocks));
}

std::string BlockCdb(unsigned sub, unsigned mask) {
    return CdbText(BlockCommand(sub, mask));
}

std::vector<CdbBytes> WholeFlashRunCommands(unsigned checksum) {
    std::vector<CdbBytes> run = {FlashModeCommand(1), InquiryCommand()};
    for (unsigned address = 0x6000; address < 0x100000; address += 0x8000) {
        run.push_back(DownloadCommand(address, address == 0xFE000 ? 2 : 8));
    }
    run.push_back(ChecksumCommand(checksum));
    for (unsigned sub : {4u, 2u}) {
        for (unsigned mask = 0x4; mask <= 0x40000; mask <<= 1) {
            run.push_back(BlockCommand(sub, mask));
        }
    }
    run.push_back(FlashModeCommand(0));
    return run;
}

std::vector<std::string> WholeFlashRun(unsigned high, unsigned low) {
    std::vector<std::string> run;
    for (const CdbBytes& cdb : WholeFlashRunCommands((high & 0xFF) << 8 | (low & 0xFF))) {
        run.push_back(CdbText(cdb));
    }
    return run;
}
