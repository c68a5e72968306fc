#pragma once
// A point query: walks the clouds of its scenes chunk by chunk and fills the caller's buffers
// with non-null points in world coordinates (each cloud's matrix applied). A density below one
// keeps every k-th point; the colour mode picks stored colour or intensity as grey.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "chunk_codec.h"
#include "lyrant_api.h"
#include "scene.h"

namespace lyrant {

struct PointBuffers {
    double* xyz = nullptr;
    uint8_t* rgb = nullptr;
    int16_t* intensity = nullptr;
    float* normals = nullptr;
    uint8_t* classes = nullptr;
};

class PointQuery {
public:
    void setScope(std::vector<std::shared_ptr<const Scene>> scenes);
    void setStride(uint32_t stride) { stride_ = stride == 0 ? 1 : stride; }
    void setColourMode(int32_t mode) { colourMode_ = mode; }
    void reset();
    // Up to `capacity` points; 0 when there are no more (or the next chunk cannot be read).
    uint32_t fetch(uint32_t capacity, const PointBuffers& out);

private:
    bool loadNextChunk();
    void prepareChunk(const nox::CloudRecord& cloud, const nox::ChunkRecord& record);
    uint32_t deliver(uint32_t capacity, uint32_t filled, const PointBuffers& out);
    void writePoints(const uint32_t* picked, uint32_t count, uint32_t at,
                     const PointBuffers& out) const;
    static constexpr uint32_t kPickBatch = 4096;

    std::vector<std::shared_ptr<const Scene>> scenes_;
    uint32_t stride_ = 1;
    int32_t colourMode_ = KS_COLOUR_STORED;

    // Cursor.
    size_t scene_ = 0;
    size_t nextChunk_ = 0;
    bool finished_ = false;
    uint32_t validIndex_ = 0;  // next non-null point of the decoded chunk
    uint32_t skip_ = 0;        // points to pass over before the next one a stride delivers

    // The decoded chunk and what turns its steps into world coordinates.
    nox::ChunkDecoder decoder_;
    nox::ChunkPoints chunk_;
    std::vector<uint8_t> payload_;
    bool haveChunk_ = false;
    double scaled_[9] = {};  // rotation part times the step
    double rotation_[9] = {};
    bool rotates_ = false;
    double worldOrigin_[3] = {};
    bool normalise_ = false;
    double intensityScale_ = 1, intensityOffset_ = 0;
    double greyScale_ = 1, greyOffset_ = 0;
};

}  // namespace lyrant
