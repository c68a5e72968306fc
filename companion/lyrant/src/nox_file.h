#pragma once
// An open NOX file whose header, index and every chunk checksum were checked on opening.
// Chunks are read on demand with positioned reads and checked again, so a file changed behind our
// back is noticed rather than decoded. Opening reads the chunks in file order, and queries read
// them in index order (which is file order), so the system is told the file is read front to
// back, and whoever reads a chunk can ask for the next one to be fetched while it decodes.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ks_nox/nox_format.h"
#include "unique_fd.h"

namespace lyrant {

class NoxFile {
public:
    // Null when the file cannot be opened or trusted; `reason` says why.
    static std::unique_ptr<NoxFile> open(const std::string& path, std::string& reason);

    const nox::FileIndex& index() const { return index_; }
    const nox::FileHeader& header() const { return header_; }
    // Reads the stored payload of chunk `chunk` into `out`; false on a read or checksum failure.
    bool readChunk(size_t chunk, std::vector<uint8_t>& out) const;
    // Asks the system to start reading chunk `chunk` into its cache and returns at once; nothing
    // when there is no such chunk.
    void readAheadChunk(size_t chunk) const;

private:
    NoxFile() = default;
    // The platform's part (nox_file_posix.cpp, nox_file_win32.cpp): opens path for reading and
    // tells its size; false with `reason` when it cannot be opened or is no regular file.
    bool openFile(const std::string& path, uint64_t& fileSize, std::string& reason);
    // Reads size bytes at offset, independent of any file position, so concurrent queries can
    // share the file.
    bool readAt(uint64_t offset, size_t size, uint8_t* out) const;
    // The platform's read-ahead request for size bytes at offset (nothing on Windows, where the
    // file is opened for sequential reading instead).
    void readAheadAt(uint64_t offset, uint64_t size) const;

    nox::UniqueFd fd_;
    nox::FileHeader header_;
    nox::FileIndex index_;
};

}  // namespace lyrant
