#pragma once
// When a file was made and last changed, as whole seconds since 1970. A file's creation time
// is its birth time where the file system keeps one, else its modification time.

#include <cstdint>
#include <optional>
#include <string>

namespace camfleet {

struct FileTimes {
    std::optional<int64_t> birth;  // absent where the file system or the OS does not report it
    int64_t modified = 0;
};

// The times of the file at `path` (in the file-name encoding of the OS; UTF-8 on Windows),
// following links. False when the file cannot be examined; `times` is then unchanged.
bool ReadFileTimes(const std::string& path, FileTimes* times);

// The creation time of a file with these times: the birth time, else the modification time.
inline int64_t CreationSeconds(const FileTimes& times) {
    return times.birth.value_or(times.modified);
}

// ReadFileTimes and CreationSeconds in one step; absent when the file cannot be examined.
std::optional<int64_t> FileCreationSeconds(const std::string& path);

}  // namespace camfleet
