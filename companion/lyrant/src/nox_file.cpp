#include "nox_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "checksum.h"
#include "index_codec.h"

namespace lyrant {

bool NoxFile::readAt(uint64_t offset, size_t size, uint8_t* out) const {
    while (size > 0) {
        const ssize_t got = ::pread(fd_.get(), out, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        out += got;
        offset += static_cast<uint64_t>(got);
        size -= static_cast<size_t>(got);
    }
    return true;
}

std::unique_ptr<NoxFile> NoxFile::open(const std::string& path, std::string& reason) {
    std::unique_ptr<NoxFile> file(new NoxFile);
    file->fd_ = nox::UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file->fd_.valid()) {
        reason = std::string("cannot open: ") + std::strerror(errno);
        return nullptr;
    }
    struct stat status {};
    if (::fstat(file->fd_.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        reason = "not a regular file";
        return nullptr;
    }
    const uint64_t fileSize = static_cast<uint64_t>(status.st_size);

    uint8_t headerBytes[nox::kHeaderSize];
    if (fileSize < nox::kHeaderSize || !file->readAt(0, nox::kHeaderSize, headerBytes)) {
        reason = "file is shorter than its header";
        return nullptr;
    }
    nox::FileHeader& header = file->header_;
    if (!nox::decodeHeader(headerBytes, nox::kHeaderSize, header, reason)) return nullptr;
    if (header.fileSize != fileSize) {
        reason = "file size differs from the header (truncated or extended)";
        return nullptr;
    }
    if (header.indexOffset < nox::kHeaderSize || header.indexOffset > fileSize ||
        header.indexSize != fileSize - header.indexOffset) {
        reason = "index lies outside the file";
        return nullptr;
    }
    std::vector<uint8_t> index(header.indexSize);
    if (!file->readAt(header.indexOffset, index.size(), index.data())) {
        reason = "cannot read the index";
        return nullptr;
    }
    if (nox::checksum64(index.data(), index.size()) != header.indexChecksum) {
        reason = "index checksum mismatch";
        return nullptr;
    }
    if (!nox::decodeIndex(index.data(), index.size(), header.indexOffset, file->index_, reason))
        return nullptr;
    uint64_t total = 0;
    for (const nox::CloudRecord& cloud : file->index_.clouds) total += cloud.points;
    if (total != header.totalPoints) {
        reason = "point total differs from the clouds";
        return nullptr;
    }
    std::vector<uint8_t> payload;
    for (size_t c = 0; c < file->index_.chunks.size(); ++c) {
        if (!file->readChunk(c, payload)) {
            reason = "chunk " + std::to_string(c) + " is damaged";
            return nullptr;
        }
    }
    return file;
}

bool NoxFile::readChunk(size_t chunk, std::vector<uint8_t>& out) const {
    const nox::ChunkRecord& record = index_.chunks[chunk];
    out.resize(record.storedSize);
    return readAt(record.offset, out.size(), out.data()) &&
           nox::checksum64(out.data(), out.size()) == record.checksum;
}

}  // namespace lyrant
