#pragma once
// Turns the columns of one chunk into its stored payload and back. Each column becomes one or
// more byte streams (residuals split into low and high byte planes), and each stream is its own
// zstd frame so that every plane gets its own entropy tables.
#include <zstd.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "chunk_points.h"

namespace nox {

struct ZstdCompressorDeleter {
    void operator()(ZSTD_CCtx* context) const { ZSTD_freeCCtx(context); }
};
struct ZstdDecompressorDeleter {
    void operator()(ZSTD_DCtx* context) const { ZSTD_freeDCtx(context); }
};

class ChunkEncoder {
public:
    explicit ChunkEncoder(int level = 1);
    // Appends the payload of `points` to `out`.
    void encode(const ChunkPoints& points, std::vector<uint8_t>& out);

private:
    void addStream(uint8_t id, uint8_t parameter, const uint8_t* data, size_t size,
                   std::vector<uint8_t>& out);
    // Residuals of `values` against `predictor`, as low-byte, high-byte and escape streams.
    void addResidualField(uint8_t baseId, uint8_t predictor, const uint64_t* values, size_t n,
                          std::vector<uint8_t>& out);

    std::unique_ptr<ZSTD_CCtx, ZstdCompressorDeleter> context_;
    int level_;
    std::vector<uint64_t> wide_;
    std::vector<uint8_t> low_, high_, exceptions_, bytes_, packed_;
    uint32_t streamCount_ = 0;
    size_t tableAt_ = 0;
};

class ChunkDecoder {
public:
    ChunkDecoder();
    // Decodes one payload whose record (counts, channels) the index gave. Fails on anything
    // inconsistent; `points` is then unspecified.
    bool decode(const uint8_t* payload, size_t size, const ChunkRecord& record, ChunkPoints& points,
                std::string& reason);

private:
    std::unique_ptr<ZSTD_DCtx, ZstdDecompressorDeleter> context_;
    std::vector<uint8_t> streams_[32];
    bool present_[32] = {};
    std::vector<uint64_t> scratch_;
};

}  // namespace nox
