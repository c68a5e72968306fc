#include "nox_file.h"

#include "checksum.h"
#include "index_codec.h"

namespace lyrant {

std::unique_ptr<NoxFile> NoxFile::open(const std::string& path, std::string& reason) {
    std::unique_ptr<NoxFile> file(new NoxFile);
    uint64_t fileSize = 0;
    if (!file->openFile(path, fileSize, reason)) return nullptr;

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
        // The next chunk comes in from the disk while this one's checksum is computed.
        file->readAheadChunk(c + 1);
        if (!file->readChunk(c, payload)) {
            reason = "chunk " + std::to_string(c) + " is damaged";
            return nullptr;
        }
    }
    return file;
}

void NoxFile::readAheadChunk(size_t chunk) const {
    if (chunk >= index_.chunks.size()) return;
    const nox::ChunkRecord& record = index_.chunks[chunk];
    readAheadAt(record.offset, record.storedSize);
}

bool NoxFile::readChunk(size_t chunk, std::vector<uint8_t>& out) const {
    const nox::ChunkRecord& record = index_.chunks[chunk];
    out.resize(record.storedSize);
    return readAt(record.offset, out.size(), out.data()) &&
           nox::checksum64(out.data(), out.size()) == record.checksum;
}

}  // namespace lyrant
