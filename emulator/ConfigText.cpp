// The line format of scenario and state files (see ConfigText.h).
#include "ConfigText.h"

#include <cctype>

namespace zalemu {

static std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return std::string();
    }
    const size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

static std::string StripComment(const std::string& line) {
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '#' && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t')) {
            return line.substr(0, i);
        }
    }
    return line;
}

bool ReadConfigLines(const std::string& text, std::vector<ConfigLine>* lines, std::string* error) {
    lines->clear();
    unsigned number = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        ++number;
        const std::string line = Trim(StripComment(text.substr(start, end - start)));
        start = end + 1;
        if (line.empty()) {
            continue;
        }
        ConfigLine parsed;
        parsed.number = number;
        if (line[0] == '[') {
            if (line[line.size() - 1] != ']') {
                *error = "line " + std::to_string(number) + ": a section line must end with ']'";
                return false;
            }
            parsed.isSection = true;
            parsed.section = Trim(line.substr(1, line.size() - 2));
        } else {
            const size_t equals = line.find('=');
            if (equals == std::string::npos || Trim(line.substr(0, equals)).empty()) {
                *error = "line " + std::to_string(number) + ": expected 'key = value' or " +
                         "'[section]', got '" + line + "'";
                return false;
            }
            parsed.key = Trim(line.substr(0, equals));
            parsed.value = Trim(line.substr(equals + 1));
        }
        lines->push_back(parsed);
    }
    return true;
}

bool ParseUnsigned(const std::string& text, bool hex, unsigned long maximum, unsigned long* value) {
    if (text.empty() || text.size() > 10) {
        return false;
    }
    unsigned long long result = 0;
    for (char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (hex && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        }
        if (digit < 0) {
            return false;
        }
        result = result * (hex ? 16u : 10u) + static_cast<unsigned>(digit);
    }
    if (result > maximum) {
        return false;
    }
    *value = static_cast<unsigned long>(result);
    return true;
}

bool NormalizeAddress(const std::string& text, std::string* address) {
    const std::string trimmed = Trim(text);
    if ((trimmed.size() == 1 || (trimmed.size() == 2 && trimmed[1] == ':')) &&
        std::isalpha(static_cast<unsigned char>(trimmed[0]))) {
        *address = std::string(
                       1, static_cast<char>(std::toupper(static_cast<unsigned char>(trimmed[0])))) +
                   ":";
        return true;
    }
    const size_t colon = trimmed.find(':');
    unsigned long ha = 0;
    unsigned long target = 0;
    if (colon == std::string::npos || !ParseUnsigned(trimmed.substr(0, colon), false, 255, &ha) ||
        !ParseUnsigned(trimmed.substr(colon + 1), false, 255, &target)) {
        return false;
    }
    *address = std::to_string(ha) + ":" + std::to_string(target);
    return true;
}

bool IsLetterAddress(const std::string& address) {
    return address.size() == 2 && address[1] == ':' &&
           std::isalpha(static_cast<unsigned char>(address[0]));
}

} // namespace zalemu
