// Whole-file reads and writes for the image tools.
#ifndef ZAL_TOOLS_FILEBYTES_H
#define ZAL_TOOLS_FILEBYTES_H

#include <cstdint>
#include <string>
#include <vector>

namespace zalfw {

// False with the reason in *why when the file cannot be read whole.
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* data, std::string* why);

// Writes the file whole; on failure removes what was written and says why.
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& data, std::string* why);

} // namespace zalfw

#endif
