#include "ks_nox/file_index.h"

#include <fstream>
#include <vector>

#include "index_codec.h"

namespace nox {

std::optional<FileIndex> readFileIndex(const std::filesystem::path& file, std::string& reason) {
    std::ifstream in(file, std::ios::binary);
    std::vector<uint8_t> header(kHeaderSize);
    if (!in.read(reinterpret_cast<char*>(header.data()),
                 static_cast<std::streamsize>(header.size()))) {
        reason = "shorter than a NOX header";
        return std::nullopt;
    }
    FileHeader fileHeader;
    if (!decodeHeader(header.data(), header.size(), fileHeader, reason)) return std::nullopt;

    // The header checksum vouches for the index size; still refuse sizes no real index has.
    constexpr uint64_t kLargestIndex = uint64_t(1) << 32;
    if (fileHeader.indexSize > kLargestIndex) {
        reason = "index size out of range";
        return std::nullopt;
    }
    std::vector<uint8_t> index(fileHeader.indexSize);
    in.seekg(static_cast<std::streamoff>(fileHeader.indexOffset));
    if (!in.read(reinterpret_cast<char*>(index.data()),
                 static_cast<std::streamsize>(index.size()))) {
        reason = "the index lies beyond the end of the file";
        return std::nullopt;
    }
    FileIndex result;
    if (!decodeIndex(index.data(), index.size(), fileHeader.indexOffset, result, reason))
        return std::nullopt;
    return result;
}

}  // namespace nox
