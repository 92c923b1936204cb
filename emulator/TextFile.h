// The emulator's file access: whole text files, atomic replacement of the state
// file, appending log lines, and the size and modification time by which a
// change made from outside is noticed.
#ifndef ZAL_EMULATOR_TEXTFILE_H
#define ZAL_EMULATOR_TEXTFILE_H

#include <cstdint>
#include <string>

namespace zalemu {

struct FileStamp {
    bool exists = false;
    uint64_t size = 0;
    uint64_t modified = 0; // FILETIME of the last write
    bool operator==(const FileStamp& other) const {
        return exists == other.exists && size == other.size && modified == other.modified;
    }
    bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

FileStamp StampOf(const std::string& path);
bool ReadTextFile(const std::string& path, std::string* text);
// Writes a temporary file beside `path`, then moves it over `path`.
bool ReplaceTextFile(const std::string& path, const std::string& text);
// Appends text to the file (created when missing), shared with other writers.
bool AppendTextFile(const std::string& path, const std::string& text);

} // namespace zalemu

#endif
