// The command log's line format: writing one record as a line and reading log
// text back into records (format in CommandLog.h).
#include "CommandLog.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace zalemu {

double LogClockMs() {
    LARGE_INTEGER frequency, now;
    if (!QueryPerformanceFrequency(&frequency) || !QueryPerformanceCounter(&now)) {
        return -1;
    }
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

static const char* DirectionName(Direction direction) {
    switch (direction) {
    case Direction::In:
        return "in";
    case Direction::Out:
        return "out";
    default:
        return "none";
    }
}

std::string FormatRecord(const CommandRecord& record) {
    std::string line = std::to_string(record.index) + " " + record.address + " cdb=";
    for (size_t i = 0; i < record.cdb.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : "-%02X", record.cdb[i]);
        line += byte;
    }
    line += std::string(" dir=") + DirectionName(record.direction);
    line += " len=" + std::to_string(record.length);
    line += " outcome=" + record.outcome;
    if (record.viaPassThrough) {
        char pt[96];
        std::snprintf(pt, sizeof pt, " pt=%u/%u/%u/%u/%u/%u", record.ptPathId, record.ptTargetId,
                      record.ptLun, record.ptSenseLength, record.ptDataIn, record.ptTimeout);
        line += pt;
    }
    if (record.ms >= 0) {
        char ms[40];
        std::snprintf(ms, sizeof ms, " ms=%.3f", record.ms);
        line += ms;
    }
    return line;
}

// A decimal number filling the whole text.
static bool ParseNumber(const std::string& text, unsigned* value) {
    if (text.empty() || text.size() > 10) {
        return false;
    }
    unsigned long long result = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        result = result * 10 + static_cast<unsigned>(c - '0');
    }
    if (result > 0xFFFFFFFFull) {
        return false;
    }
    *value = static_cast<unsigned>(result);
    return true;
}

// A time in milliseconds: decimal digits with an optional fraction.
static bool ParseMs(const std::string& text, double* ms) {
    const size_t point = text.find('.');
    const std::string whole = text.substr(0, point);
    const std::string fraction = point == std::string::npos ? "0" : text.substr(point + 1);
    unsigned ignored = 0;
    if (!ParseNumber(whole, &ignored) || fraction.empty() ||
        fraction.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    *ms = std::strtod(text.c_str(), nullptr);
    return true;
}

static int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

static bool ParseCdb(const std::string& text, std::vector<uint8_t>* cdb) {
    cdb->clear();
    if (text.empty()) {
        return true;
    }
    size_t at = 0;
    while (true) {
        if (at + 2 > text.size() || HexDigit(text[at]) < 0 || HexDigit(text[at + 1]) < 0) {
            return false;
        }
        cdb->push_back(static_cast<uint8_t>(HexDigit(text[at]) << 4 | HexDigit(text[at + 1])));
        at += 2;
        if (at == text.size()) {
            return true;
        }
        if (text[at] != '-') {
            return false;
        }
        ++at;
    }
}

static bool ParsePassThrough(const std::string& text, CommandRecord* record) {
    unsigned* fields[6] = {&record->ptPathId,      &record->ptTargetId, &record->ptLun,
                           &record->ptSenseLength, &record->ptDataIn,   &record->ptTimeout};
    size_t start = 0;
    for (int i = 0; i < 6; ++i) {
        const size_t end = i < 5 ? text.find('/', start) : text.size();
        if (end == std::string::npos || !ParseNumber(text.substr(start, end - start), fields[i])) {
            return false;
        }
        start = end + 1;
    }
    record->viaPassThrough = true;
    return true;
}

// Reads one line's fields; names the first that is wrong.
static bool ParseLine(const std::string& line, CommandRecord* record, std::string* what) {
    std::istringstream words(line);
    std::string index, address, cdb, dir, len, outcome, pt, ms, extra;
    words >> index >> address >> cdb >> dir >> len >> outcome >> pt;
    // pt= and ms= are both optional, in that order.
    if (pt.compare(0, 3, "ms=") == 0) {
        ms.swap(pt);
    } else {
        words >> ms;
    }
    if (!ms.empty() && ms.compare(0, 3, "ms=") != 0) {
        extra.swap(ms);
    } else {
        words >> extra;
    }
    if (!ParseNumber(index, &record->index)) {
        *what = "the command number";
        return false;
    }
    record->address = address;
    if (address.empty()) {
        *what = "the address";
        return false;
    }
    if (cdb.compare(0, 4, "cdb=") != 0 || !ParseCdb(cdb.substr(4), &record->cdb)) {
        *what = "cdb=";
        return false;
    }
    if (dir == "dir=none") {
        record->direction = Direction::None;
    } else if (dir == "dir=in") {
        record->direction = Direction::In;
    } else if (dir == "dir=out") {
        record->direction = Direction::Out;
    } else {
        *what = "dir=";
        return false;
    }
    if (len.compare(0, 4, "len=") != 0 || !ParseNumber(len.substr(4), &record->length)) {
        *what = "len=";
        return false;
    }
    if (outcome.compare(0, 8, "outcome=") != 0 || outcome.size() == 8) {
        *what = "outcome=";
        return false;
    }
    record->outcome = outcome.substr(8);
    if (!pt.empty() && (pt.compare(0, 3, "pt=") != 0 || !ParsePassThrough(pt.substr(3), record))) {
        *what = "pt=";
        return false;
    }
    if (!ms.empty() && (ms.compare(0, 3, "ms=") != 0 || !ParseMs(ms.substr(3), &record->ms))) {
        *what = "ms=";
        return false;
    }
    if (!extra.empty()) {
        *what = "the end of the line";
        return false;
    }
    return true;
}

bool ParseLog(const std::string& text, std::vector<CommandRecord>* records, std::string* error) {
    records->clear();
    std::istringstream lines(text);
    std::string line;
    unsigned number = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (!line.empty() && line[line.size() - 1] == '\r') {
            line.erase(line.size() - 1);
        }
        // Blank lines and notes ('#', e.g. a scenario that could not be loaded).
        if (line.find_first_not_of(" \t") == std::string::npos || line[0] == '#') {
            continue;
        }
        CommandRecord record;
        std::string what;
        if (!ParseLine(line, &record, &what)) {
            if (error != nullptr) {
                *error = "log line " + std::to_string(number) + ": bad " + what + ": " + line;
            }
            return false;
        }
        records->push_back(record);
    }
    return true;
}

} // namespace zalemu
