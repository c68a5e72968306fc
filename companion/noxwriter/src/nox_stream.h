#pragma once
// One output file under construction: groups, clouds and points go in, chunks are handed to the
// pipeline as soon as they fill (encoded and spilled there, on worker threads when there are
// any), and build() adds the index and header and publishes the file.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "chunk_pipeline.h"
#include "chunk_points.h"
#include "grid_normals.h"
#include "ks_nox/nox_format.h"
#include "pending_point.h"
#include "spill_file.h"
#include "voxel_filter.h"
#include "writer_error.h"

namespace noxwriter {

// Settings in force when a cloud is added; they govern that cloud.
struct CloudSettings {
    double step = 0.001;
    double filterSize = -1;  // > 0: one point per cube of this size
    int normalReach = 1;     // grid distance of the neighbours used for normals
};

// The file version the environment asks for: KS_NOX_FORMAT_VERSION=1 writes files that readers of
// the first version can read; anything else (or nothing) the current version.
uint16_t formatVersionRequested();

class NoxStream {
public:
    // `formatVersion`: the major version to write, 1 or 2 (see formatVersionRequested()).
    NoxStream(const std::string& outputPath, uint16_t formatVersion);

    void addGroup(uint32_t flags, std::string name);
    void addCloud(uint32_t flags, std::string name, const double* matrix, int32_t rows,
                  int32_t columns, const CloudSettings& settings);
    void addPoint(const double* xyz, const uint8_t* rgb, int16_t intensity, const float* normal,
                  uint8_t classification);
    void addNullPoint();
    void end();  // idempotent
    void build(std::vector<nox::MetaTag> tags, const std::function<void(float)>& progress);

private:
    enum class State { Open, Ended, Failed };

    [[noreturn]] void refuse();
    [[noreturn]] void failStream();
    void closeCloud();
    void route(PendingPoint& point);
    void stage(const PendingPoint& point);
    // Inlined into the add calls: a call per point costs more than its work.
    [[gnu::always_inline]] inline void stagePoint(const double xyz[3], const uint8_t rgb[3],
                                                  int16_t intensity, uint8_t classification,
                                                  const float* normal);
    void stageNull();
    void settleChunk(nox::ChunkRecord& record);
    void startChunk();
    void flushChunk();
    nox::CloudRecord& outputCloud() { return index_.clouds.back(); }

    SpillFile spill_;
    uint16_t formatVersion_;
    ChunkPipeline pipeline_;  // after spill_: its workers stop before the file goes
    nox::FileIndex index_;
    State state_ = State::Open;
    ResultCode failureCode_ = kWriteFailed;
    std::string failure_;

    // The chunk being filled.
    nox::ChunkPoints chunk_;
    nox::ChunkRecord chunkRecord_;
    double inverseStep_ = 1000;

    // The cloud being added (a source cloud; a combining group folds several into one output).
    bool haveCloud_ = false;
    int64_t combinedCloud_ = -1;  // output cloud of the current combining group
    uint32_t channels_ = 0;
    bool transform_ = false;
    std::array<double, 16> matrix_{};
    double scanner_[3] = {0, 0, 0};
    uint64_t gridCells_ = 0;
    uint64_t received_ = 0;
    std::unique_ptr<VoxelFilter> filter_;
    std::unique_ptr<GridNormals> normals_;
};

}  // namespace noxwriter
