// The line format shared by scenario and state files: '#' comments, [sections]
// and key = value entries; and the two spellings of a device address.
#ifndef ZAL_EMULATOR_CONFIGTEXT_H
#define ZAL_EMULATOR_CONFIGTEXT_H

#include <string>
#include <vector>

namespace zalemu {

struct ConfigLine {
    unsigned number = 0; // 1-based line number in the text
    bool isSection = false;
    std::string section; // for a section line: the text between the brackets
    std::string key;     // for an entry
    std::string value;
};

// Splits text into section and entry lines, dropping blank lines and comments (a
// '#' at the start of a line or after a blank or tab starts one, so "C9/02#2" is
// a value). False with "line N: ..." in *error for a line of neither form.
bool ReadConfigLines(const std::string& text, std::vector<ConfigLine>* lines, std::string* error);

// "0:0" .. "255:255" (host adapter:target, decimal) or a drive letter "D:" (also
// "d:" or "D"), written back as "H:T" or "X:". False for anything else.
bool NormalizeAddress(const std::string& text, std::string* address);
bool IsLetterAddress(const std::string& address);

// A whole-text number: decimal, or hexadecimal with `hex`. False if it does not
// fit `maximum`.
bool ParseUnsigned(const std::string& text, bool hex, unsigned long maximum, unsigned long* value);

} // namespace zalemu

#endif
