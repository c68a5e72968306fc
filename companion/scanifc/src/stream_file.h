#pragma once
// Opening the file a stream URI names. The narrow path is the platform's business:
// stream_file_posix.cpp and stream_file_win32.cpp.
#include <cstdio>
#include <memory>
#include <string>

namespace scanifc_files {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The file at path, open for binary reading; null when it cannot be opened.
File openStreamFile(const std::string& path);

}  // namespace scanifc_files
