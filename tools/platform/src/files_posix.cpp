#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "ks_tools/files.h"

namespace ks_tools {

std::FILE* openForWriting(const std::string& utf8Path) {
    return std::fopen(utf8Path.c_str(), "wb");
}

bool seekTo(std::FILE* file, uint64_t offset) {
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

// rename() replaces the target atomically on POSIX file systems.
bool replaceFile(const std::string& fromUtf8, const std::string& toUtf8) {
    return std::rename(fromUtf8.c_str(), toUtf8.c_str()) == 0;
}

long currentProcessId() { return static_cast<long>(::getpid()); }

bool setEnvironment(const char* name, const std::string& value) {
    return ::setenv(name, value.c_str(), 1) == 0;
}

std::optional<std::string> libraryNarrowName(const std::string& utf8Path) { return utf8Path; }

std::string lastSystemError() { return std::strerror(errno); }

}  // namespace ks_tools
