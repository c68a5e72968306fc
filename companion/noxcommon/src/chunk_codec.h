#pragma once
// Turns the columns of one chunk into its stored payload and back. Each column becomes one or
// more byte streams (residuals split into low and high byte planes), and each stream is its own
// zstd frame so that every plane gets its own entropy tables. The second coding adds predictors
// from a grid cloud's rows (chunk_codec_v2.cpp); the version
// given says which coding a payload uses.
#include <zstd.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "chunk_points.h"
#include "grid_neighbours.h"

namespace nox {

struct ZstdCompressorDeleter {
    void operator()(ZSTD_CCtx* context) const { ZSTD_freeCCtx(context); }
};
struct ZstdDecompressorDeleter {
    void operator()(ZSTD_DCtx* context) const { ZSTD_freeDCtx(context); }
};

class ChunkEncoder {
public:
    // `version` is the file's major version: 1 or 2 (kMajorVersion).
    explicit ChunkEncoder(int level = 1, uint16_t version = kMajorVersion);
    // Appends the payload of `points` to `out`.
    void encode(const ChunkPoints& points, std::vector<uint8_t>& out);

private:
    void addStream(uint8_t id, uint8_t parameter, const uint8_t* data, size_t size,
                   std::vector<uint8_t>& out);
    // Residuals of `values` against `predictor`, as low-byte, high-byte and escape streams.
    void addResidualField(uint8_t baseId, uint8_t predictor, const uint64_t* values, size_t n,
                          std::vector<uint8_t>& out);
    // Residuals already made, as the same three streams.
    void addResiduals(uint8_t baseId, uint8_t predictor, const uint64_t* residuals, size_t n,
                      std::vector<uint8_t>& out);
    void encodeFirstCoding(const ChunkPoints& p, std::vector<uint8_t>& out);
    // The second coding (chunk_codec_v2.cpp).
    void encodeSecondCoding(const ChunkPoints& p, std::vector<uint8_t>& out);
    void encodePositions(const ChunkPoints& p, const GridNeighbours* grid,
                         std::vector<uint8_t>& out);
    // The positions with the predictors among `candidates` that the estimate ranks first;
    // answers whether one of them needs the grid.
    bool encodePositionsWith(const ChunkPoints& p, const GridNeighbours* grid,
                             const uint8_t* candidates, size_t count, std::vector<uint8_t>& out);
    void encodeSmallField(uint8_t baseId, const uint64_t* values, size_t n,
                          const GridNeighbours* grid, std::vector<uint8_t>& out);
    void encodeColours(const ChunkPoints& p, const GridNeighbours* grid, std::vector<uint8_t>& out);

    std::unique_ptr<ZSTD_CCtx, ZstdCompressorDeleter> context_;
    int level_;
    uint16_t version_;
    std::vector<uint64_t> wide_;
    std::vector<uint64_t> residuals_[3];
    std::vector<uint8_t> low_, high_, exceptions_, bytes_, packed_;
    std::vector<uint8_t> trialStreams_, trialEntries_;  // a coding of the positions held back
    GridNeighbours grid_;
    uint32_t streamCount_ = 0;
    size_t tableAt_ = 0;
};

class ChunkDecoder {
public:
    ChunkDecoder();
    // Decodes one payload whose record (counts, channels) the index gave, written in the coding
    // of major version `version`. Fails on anything inconsistent; `points` is then unspecified.
    bool decode(const uint8_t* payload, size_t size, const ChunkRecord& record, ChunkPoints& points,
                std::string& reason, uint16_t version = kMajorVersion);

private:
    bool readStreams(const uint8_t* payload, size_t size, std::string& reason);
    bool decodeFirstCoding(ChunkPoints& p, std::string& reason);
    // The second coding (chunk_codec_v2.cpp).
    bool decodeSecondCoding(ChunkPoints& p, std::string& reason);
    bool decodePositions(ChunkPoints& p, const GridNeighbours* grid, bool cross,
                         std::string& reason);
    bool decodeSmallField(uint8_t baseId, size_t n, const GridNeighbours* grid, int16_t* out,
                          size_t stride);
    bool decodeColours(ChunkPoints& p, const GridNeighbours* grid, std::string& reason);

    std::unique_ptr<ZSTD_DCtx, ZstdDecompressorDeleter> context_;
    std::vector<uint8_t> streams_[32];
    bool present_[32] = {};
    uint8_t parameters_[32] = {};
    std::vector<uint64_t> scratch_;
    GridNeighbours grid_;
};

}  // namespace nox
