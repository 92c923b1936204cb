// Whole-file reads and writes for the image tools (see FileBytes.h).
#include "FileBytes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace zalfw {

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* data, std::string* why) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        *why = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    data->clear();
    uint8_t chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        data->insert(data->end(), chunk, chunk + got);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        *why = "cannot read " + path;
        return false;
    }
    return true;
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& data, std::string* why) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        *why = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written =
        data.empty() || std::fwrite(data.data(), 1, data.size(), file) == data.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        std::remove(path.c_str());
        *why = "cannot write " + path;
        return false;
    }
    return true;
}

} // namespace zalfw
