#pragma once
// The scan file: opened by its UTF-16 path, with 64-bit sizes and positions. The platform's
// part: scan_file_posix.cpp, scan_file_win32.cpp.
#include <cstdint>
#include <cstdio>
#include <memory>

#include "component_types.h"

namespace ks_formats::reader3dd {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The file at path, open for binary reading; null when it cannot be opened.
File openScanFile(com::BSTR path);
// The file's length in bytes (the position is left at its end); negative on failure.
int64_t scanFileSize(std::FILE* file);
// Moves to offset bytes from the start; false on failure.
bool seekScanFile(std::FILE* file, uint64_t offset);

}  // namespace ks_formats::reader3dd
