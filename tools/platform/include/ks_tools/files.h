#pragma once

// Files by UTF-8 name, and the process facts the tools share with the writer library.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace ks_tools {

// Opens (creates or truncates) a file for binary writing; nullptr with errno set.
std::FILE* openForWriting(const std::string& utf8Path);

// Moves the file's position to offset from its start, past 2 GiB too; false with errno set.
bool seekTo(std::FILE* file, uint64_t offset);

// Moves the file from onto to in one step, replacing a file already there; false with errno set.
bool replaceFile(const std::string& fromUtf8, const std::string& toUtf8);

// This process's id, as the writer library puts it in the names of its temporary files.
long currentProcessId();

// Sets an environment variable of this process, as the libraries it loads read it (the writer
// reads KS_NOX_THREADS when a stream starts); false when the system refuses.
bool setEnvironment(const char* name, const std::string& value);

// The name in the narrow encoding of the library's char functions that take file names (UTF-8
// on Linux, the ANSI code page on Windows); empty when that encoding cannot spell it.
std::optional<std::string> libraryNarrowName(const std::string& utf8Path);

// The system's words for the last failed call (errno on Linux, GetLastError on Windows).
std::string lastSystemError();

}  // namespace ks_tools
