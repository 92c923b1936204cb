// The drive's commands as text (see CommandText.h).
#include "CommandText.h"

#include <cstdio>

const char* const InquiryCdb = "12-00-00-00-24-00";
const char* const FlashEnterCdb = "CC-01-01-00-52-34-51-39-00-00-00-00";
const char* const FlashLeaveCdb = "CC-01-00-00-52-34-51-39-00-00-00-00";

namespace {

void AppendByte(std::string* text, unsigned byte) {
    char hex[4];
    std::snprintf(hex, sizeof hex, text->empty() ? "%02X" : "-%02X", byte & 0xFF);
    *text += hex;
}

std::string BookTypeCdb(int sub, int medium, int value, int last) {
    return CdbText({0xC9, static_cast<unsigned>(sub), static_cast<unsigned>(medium),
                    static_cast<unsigned>(value), 'Z', 'A', 'L', 'B', 'K',
                    static_cast<unsigned>(last), 0, 0});
}

} // namespace

std::string CdbText(const zalemu::CommandRecord& record, size_t bytes) {
    return CdbText(record.cdb.data(), bytes < record.cdb.size() ? bytes : record.cdb.size());
}

std::string CdbText(const unsigned char* bytes, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        AppendByte(&text, bytes[i]);
    }
    return text;
}

std::vector<std::string> CdbTexts(const std::vector<zalemu::CommandRecord>& records) {
    std::vector<std::string> texts;
    for (const zalemu::CommandRecord& record : records) {
        texts.push_back(CdbText(record));
    }
    return texts;
}

std::string CdbText(std::initializer_list<unsigned> bytes) {
    std::string text;
    for (unsigned byte : bytes) {
        AppendByte(&text, byte);
    }
    return text;
}

std::string ReadCdb(int medium, int which) {
    return BookTypeCdb(2, medium, 1, which);
}

std::string SetDefaultCdb(int medium, int value) {
    return BookTypeCdb(1, medium, value, 0);
}

std::string SetTemporaryCdb(int medium, int value) {
    return BookTypeCdb(3, medium, value, 0);
}

std::string SelectCdb(int medium, int temporary) {
    return BookTypeCdb(4, medium, 0, temporary);
}

std::string DownloadCdb(unsigned address, unsigned blocks) {
    return CdbText({0xCB, 1, 0, address >> 16, address >> 8, address, 0, 0, blocks, 0, 0, 0});
}

std::string ChecksumCdb(unsigned high, unsigned low) {
    return CdbText({0xCC, 4, high, low, 0, 0, 0, 0, 0, 0, 0, 0});
}

std::string BlockCdb(unsigned sub, unsigned mask) {
    return CdbText({0xCB, sub, 0, 0, 0, mask >> 24, mask >> 16, mask >> 8, mask, 0, 0, 0});
}

std::vector<std::string> WholeFlashRun(unsigned high, unsigned low) {
    std::vector<std::string> run = {FlashEnterCdb, InquiryCdb};
    for (unsigned address = 0x6000; address < 0x100000; address += 0x8000) {
        run.push_back(DownloadCdb(address, address == 0xFE000 ? 2 : 8));
    }
    run.push_back(ChecksumCdb(high, low));
    for (unsigned sub : {4u, 2u}) {
        for (unsigned mask = 0x4; mask <= 0x40000; mask <<= 1) {
            run.push_back(BlockCdb(sub, mask));
        }
    }
    run.push_back(FlashLeaveCdb);
    return run;
}
