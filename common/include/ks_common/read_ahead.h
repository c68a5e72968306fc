#pragma once
// Read-ahead hints for files that are read front to back: the system reads further ahead than
// it would by itself, and starts on the next block while the reader still decodes the current
// one, so the disk and the decoding overlap without a thread of our own. They are hints only:
// they never fail a read and never change what is read. On Windows the sequential hint is given
// when a file is opened (FILE_FLAG_SEQUENTIAL_SCAN, or "S" in the mode of _wfopen) and these
// functions do nothing; read_ahead_posix.cpp and read_ahead_win32.cpp.
#include <cstdint>
#include <cstdio>

namespace ks_common {

// The file will be read from front to back: the system may keep a larger read-ahead window.
void adviseSequentialReading(int fd);
void adviseSequentialReading(std::FILE* file);

// Asks the system to start reading length bytes at offset into its cache, and returns without
// waiting for the data. Only what of the range lies within the file is fetched.
void readAhead(int fd, uint64_t offset, uint64_t length);
void readAhead(std::FILE* file, uint64_t offset, uint64_t length);

}  // namespace ks_common
