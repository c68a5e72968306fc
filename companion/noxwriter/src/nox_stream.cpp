#include "nox_stream.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "checksum.h"
#include "index_codec.h"
#include "writer_error.h"

namespace noxwriter {
namespace {

constexpr uint64_t kMaximumGridCells = uint64_t(1) << 40;

#if defined(NOXWRITER_DISCARD_OUTPUT)
// The fuzzing writer checks every call as this one does but keeps nothing (spill_file_discard.cpp):
// chunks are settled and dropped, never encoded, so small ones do, and no thread is needed.
constexpr uint32_t kChunkPoints = 256;
unsigned pipelineThreads() { return 1; }
ChunkPipeline::EncoderFactory encoderFactory(uint16_t) { return nullptr; }
#else
constexpr uint32_t kChunkPoints = nox::kChunkCapacity;
#if defined(_WIN32) && !defined(KS_WIN32_WRITER_THREADS)
// The 32-bit Windows build encodes on the calling thread: its worker threads crashed under Wine
// through qemu and stay off until that is understood (KS_WIN32_WRITER_THREADS builds them in, to
// try; docs/design.md, "The whole suite under Wine").
unsigned pipelineThreads() { return 1; }
#else
unsigned pipelineThreads() { return encodingThreadsForNewStream(); }
#endif
ChunkPipeline::EncoderFactory encoderFactory(uint16_t formatVersion) {
    return [formatVersion] { return std::make_unique<nox::ChunkEncoder>(1, formatVersion); };
}
#endif

// Nearest whole number; the usual case (under 2^51 steps) avoids a library call per axis.
inline int64_t roundToStep(double value) {
    if (std::fabs(value) < 0x1p51) return static_cast<int64_t>((value + 0x1.8p52) - 0x1.8p52);
    return std::llround(value);
}

void transformPoint(const std::array<double, 16>& m, const double in[3], double out[3]) {
    for (int r = 0; r < 3; ++r)
        out[r] = m[4 * r] * in[0] + m[4 * r + 1] * in[1] + m[4 * r + 2] * in[2] + m[4 * r + 3];
}

void rotateNormal(const std::array<double, 16>& m, float n[3]) {
    double out[3];
    for (int r = 0; r < 3; ++r)
        out[r] = m[4 * r] * n[0] + m[4 * r + 1] * n[1] + m[4 * r + 2] * n[2];
    const double length = std::sqrt(out[0] * out[0] + out[1] * out[1] + out[2] * out[2]);
    if (length > 0)
        for (int a = 0; a < 3; ++a) n[a] = static_cast<float>(out[a] / length);
}

bool isIdentity(const std::array<double, 16>& m) {
    for (int i = 0; i < 16; ++i)
        if (m[i] != (i % 5 == 0 ? 1.0 : 0.0)) return false;
    return true;
}

}  // namespace

uint16_t formatVersionRequested() {
    const char* requested = std::getenv("KS_NOX_FORMAT_VERSION");
    return requested && std::strcmp(requested, "1") == 0 ? uint16_t(1) : nox::kMajorVersion;
}

NoxStream::NoxStream(const std::string& outputPath, uint16_t formatVersion)
    : spill_(outputPath),
      formatVersion_(formatVersion),
      pipeline_(spill_, pipelineThreads(), kChunkPoints, encoderFactory(formatVersion)) {
    chunk_.reserve(kChunkPoints);
    const std::vector<uint8_t> placeholder(nox::kHeaderSize, 0);  // the header is written last
    spill_.append(placeholder.data(), placeholder.size());
}

// Called when the stream is not open, or a worker failed since the last call: that failure is
// answered now with its own code and text, and later calls hear that the stream failed earlier.
void NoxStream::refuse() {
    if (state_ == State::Ended) throw WriterError(kStreamEnded, "the stream was already ended");
    if (state_ == State::Open) {
        try {
            pipeline_.rethrowFailure();
        } catch (...) {
            failStream();
        }
    }
    throw WriterError(failureCode_, "the stream failed earlier: " + failure_);
}

// A chunk that was not encoded or written leaves the file incomplete: the stream fails, the
// workers stop and the temporary file is removed at once to give the space back. Called in a
// catch block; rethrows what was caught.
void NoxStream::failStream() {
    state_ = State::Failed;
    pipeline_.stop();
    spill_.remove();
    try {
        throw;
    } catch (const WriterError& error) {
        failureCode_ = error.code();
        failure_ = error.what();
        throw;
    } catch (const std::bad_alloc&) {
        failureCode_ = kOutOfMemory;
        failure_ = "out of memory";
        throw;
    } catch (...) {
        failureCode_ = kInternalError;
        failure_ = "internal error";
        throw;
    }
}

void NoxStream::addGroup(uint32_t flags, std::string name) {
    if (state_ != State::Open || pipeline_.failed()) refuse();
    closeCloud();
    index_.groups.push_back(nox::GroupRecord{flags, std::move(name)});
    combinedCloud_ = -1;
}

void NoxStream::addCloud(uint32_t flags, std::string name, const double* matrix, int32_t rows,
                         int32_t columns, const CloudSettings& settings) {
    if (state_ != State::Open || pipeline_.failed()) refuse();
    if (index_.groups.empty())
        throw WriterError(kNoGroup, "a cloud needs a group: call ksioAddGroupW first");
    if (rows < 0 || columns < 0 || (rows == 0) != (columns == 0) ||
        uint64_t(rows) * uint64_t(columns) > kMaximumGridCells)
        throw WriterError(kInvalidArgument, "grid size must be two positive numbers or 0, 0");
    std::array<double, 16> m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    if (matrix) {
        for (int i = 0; i < 16; ++i) {
            if (!std::isfinite(matrix[i]))
                throw WriterError(kInvalidArgument, "the cloud matrix is not finite");
            m[i] = matrix[i];
        }
    }
    closeCloud();

    const uint32_t groupIndex = static_cast<uint32_t>(index_.groups.size() - 1);
    const nox::GroupRecord& group = index_.groups.back();
    const bool combine = group.flags & nox::kGroupCombine;
    channels_ = flags & (nox::kCloudColour | nox::kCloudIntensity | nox::kCloudClass);
    if (group.flags & nox::kGroupNormals) channels_ |= nox::kCloudNormals;

    if (combine && combinedCloud_ >= 0) {
        // A further cloud of a combining group: its points join the group's one cloud, which
        // then is no longer a grid.
        nox::CloudRecord& output = outputCloud();
        output.flags |= channels_;
        output.sourceClouds += 1;
        output.rows = output.columns = 0;
    } else {
        nox::CloudRecord cloud;
        cloud.group = groupIndex;
        cloud.flags = channels_;
        cloud.name = std::move(name);
        cloud.matrix = combine ? nox::CloudRecord{}.matrix
                               : m;  // combined points are stored in world coordinates
        cloud.rows = rows;
        cloud.columns = columns;
        cloud.firstChunk = static_cast<uint32_t>(index_.chunks.size());
        index_.clouds.push_back(std::move(cloud));
        if (combine) combinedCloud_ = static_cast<int64_t>(index_.clouds.size() - 1);
    }

    haveCloud_ = true;
    matrix_ = m;
    transform_ = combine && !isIdentity(m);
    scanner_[0] = transform_ ? m[3] : 0.0;
    scanner_[1] = transform_ ? m[7] : 0.0;
    scanner_[2] = transform_ ? m[11] : 0.0;
    gridCells_ = uint64_t(rows) * uint64_t(columns);
    received_ = 0;
    const double step = settings.step > nox::kMinimumStep ? settings.step : nox::kMinimumStep;
    chunkRecord_.step = step;
    inverseStep_ = 1.0 / step;

    // A combining group thins its one cloud as a whole; other clouds start afresh.
    const double filterSize =
        settings.filterSize > 0 ? std::fmax(settings.filterSize, nox::kMinimumStep) : 0;
    if (filterSize == 0)
        filter_.reset();
    else if (!(combine && filter_ && filter_->size() == filterSize &&
               outputCloud().sourceClouds > 1))
        filter_ = std::make_unique<VoxelFilter>(filterSize);

    normals_.reset();
    if ((channels_ & nox::kCloudNormals) && gridCells_ > 0)
        normals_ = std::make_unique<GridNormals>(rows, columns, settings.normalReach, scanner_,
                                                 [this](const PendingPoint& p) { stage(p); });
}

void NoxStream::addPoint(const double* xyz, const uint8_t* rgb, int16_t intensity,
                         const float* normal, uint8_t classification) {
    if (state_ != State::Open || pipeline_.failed()) refuse();
    if (!haveCloud_) throw WriterError(kNoCloud, "a point needs a cloud: call ksioAddCloudW first");
    if (!xyz) throw WriterError(kInvalidArgument, "the point position is null");
    for (int a = 0; a < 3; ++a)
        if (!(std::fabs(xyz[a]) <= nox::kMaximumCoordinate))
            throw WriterError(kInvalidArgument, "point coordinate is not finite or beyond 1e12");
    if (gridCells_ > 0 && received_ == gridCells_)
        throw WriterError(kGridFull, "the grid cloud already holds rows x columns points");
    ++received_;

    static constexpr uint8_t kBlack[3] = {0, 0, 0};
    if (!transform_ && !filter_ && !(channels_ & nox::kCloudNormals)) {
        stagePoint(xyz, rgb ? rgb : kBlack, intensity, classification, nullptr);
        return;
    }
    PendingPoint point;
    if (transform_)
        transformPoint(matrix_, xyz, point.xyz);
    else
        std::memcpy(point.xyz, xyz, sizeof point.xyz);
    if (rgb) std::memcpy(point.rgb, rgb, 3);
    point.intensity = intensity;
    point.classification = classification;
    if (filter_ && !filter_->admit(point.xyz)) {
        outputCloud().filteredPoints += 1;
        if (gridCells_ == 0) return;
        point.isNull = true;  // a grid keeps its cell
    }
    if ((channels_ & nox::kCloudNormals) && !normals_ && !point.isNull) {
        if (normal && std::isfinite(normal[0]) && std::isfinite(normal[1]) &&
            std::isfinite(normal[2])) {
            std::memcpy(point.normal, normal, sizeof point.normal);
            if (transform_) rotateNormal(matrix_, point.normal);
        } else {
            normalTowardScanner(point.xyz, scanner_, point.normal);
        }
    }
    route(point);
}

void NoxStream::addNullPoint() {
    if (state_ != State::Open || pipeline_.failed()) refuse();
    if (!haveCloud_)
        throw WriterError(kNoCloud, "a null point needs a cloud: call ksioAddCloudW first");
    if (gridCells_ > 0 && received_ == gridCells_)
        throw WriterError(kGridFull, "the grid cloud already holds rows x columns points");
    ++received_;
    if (normals_) {
        PendingPoint point;
        point.isNull = true;
        normals_->add(point);
    } else {
        stageNull();
    }
}

void NoxStream::route(PendingPoint& point) {
    if (normals_)
        normals_->add(point);
    else
        stage(point);
}

void NoxStream::startChunk() {
    chunkRecord_.cloud = static_cast<uint32_t>(index_.clouds.size() - 1);
    chunkRecord_.channels = channels_;
    chunk_.channels = channels_;
}

void NoxStream::stage(const PendingPoint& p) {
    if (p.isNull)
        stageNull();
    else
        stagePoint(p.xyz, p.rgb, p.intensity, p.classification,
                   (channels_ & nox::kCloudNormals) ? p.normal : nullptr);
}

void NoxStream::stageNull() {
    if (chunk_.count == 0) startChunk();
    chunk_.isNull[chunk_.count++] = 1;
    if (chunk_.count == kChunkPoints) flushChunk();
}

// The hot path of every point: quantise against the chunk origin and store the columns. Counts,
// bounds and the intensity range are settled per chunk in flushChunk. Every value is computed and
// every column pointer read before the byte columns are written: a byte store may alias anything,
// so the compiler would otherwise reload the chunk's fields after each one. Columns of channels
// the chunk does not carry are never encoded and are left unwritten.
void NoxStream::stagePoint(const double xyz[3], const uint8_t rgb[3], int16_t intensity,
                           uint8_t classification, const float* normal) {
    const uint32_t index = chunk_.count;
    if (index == 0) startChunk();
    const uint32_t v = chunk_.valid;
    if (v == 0) std::memcpy(chunkRecord_.origin, xyz, sizeof chunkRecord_.origin);
    const double inverse = inverseStep_;
    const int64_t sx = roundToStep((xyz[0] - chunkRecord_.origin[0]) * inverse);
    const int64_t sy = roundToStep((xyz[1] - chunkRecord_.origin[1]) * inverse);
    const int64_t sz = roundToStep((xyz[2] - chunkRecord_.origin[2]) * inverse);
    const uint32_t channels = chunk_.channels;
    uint8_t* const isNull = chunk_.isNull.data();
    uint8_t* const colours = chunk_.rgb.data();
    uint8_t* const classes = chunk_.classes.data();
    chunk_.steps[0][v] = sx;
    chunk_.steps[1][v] = sy;
    chunk_.steps[2][v] = sz;
    if (channels & nox::kCloudIntensity) chunk_.intensity[v] = intensity;
    if (normal) nox::encodeNormal(normal, &chunk_.normals[2 * size_t(v)]);
    chunk_.count = index + 1;
    chunk_.valid = v + 1;
    isNull[index] = 0;
    if (channels & nox::kCloudColour) std::memcpy(colours + 3 * size_t(v), rgb, 3);
    if (channels & nox::kCloudClass) classes[v] = classification;
    if (index + 1 == kChunkPoints) flushChunk();
}

void NoxStream::settleChunk(nox::ChunkRecord& record) {
    const uint32_t n = chunk_.valid;
    record.points = chunk_.count;
    record.nullPoints = chunk_.count - n;
    record.bounds = nox::Bounds{};
    for (int a = 0; a < 3 && n > 0; ++a) {
        const int64_t* steps = chunk_.steps[a].data();
        int64_t low = steps[0], high = steps[0];
        for (uint32_t i = 1; i < n; ++i) {
            low = std::min(low, steps[i]);
            high = std::max(high, steps[i]);
        }
        record.bounds.min[a] = record.origin[a] + double(low) * record.step;
        record.bounds.max[a] = record.origin[a] + double(high) * record.step;
    }
    if ((record.channels & nox::kCloudIntensity) && n > 0) {
        int32_t low = chunk_.intensity[0], high = chunk_.intensity[0];
        for (uint32_t i = 1; i < n; ++i) {
            low = std::min<int32_t>(low, chunk_.intensity[i]);
            high = std::max<int32_t>(high, chunk_.intensity[i]);
        }
        nox::GroupRecord& group = index_.groups.back();
        group.intensityMin = std::min(group.intensityMin, low);
        group.intensityMax = std::max(group.intensityMax, high);
    }
}

// The chunk's counts, bounds and intensity range are settled here, in order; its place in the
// file is filled in by the pipeline, at once or when the stream is built.
void NoxStream::flushChunk() {
    if (chunk_.count == 0) return;
    nox::ChunkRecord record = chunkRecord_;
    settleChunk(record);
    // Where the chunk lies in its grid, and the scanner seen from the chunk origin, for the
    // second coding's predictors.
    const nox::CloudRecord& owner = index_.clouds[record.cloud];
    const bool grid = owner.rows > 0 && owner.columns > 0;
    chunk_.rowLength = grid ? uint32_t(owner.columns) : 0;
    chunk_.firstColumn = grid ? uint32_t(owner.points % uint64_t(owner.columns)) : 0;
    for (int a = 0; a < 3; ++a)
        chunk_.scannerSteps[a] =
            chunk_.valid > 0 ? roundToStep((scanner_[a] - record.origin[a]) * inverseStep_) : 0;
    try {
        pipeline_.submit(chunk_, record);  // with workers, chunk_ is now a free buffer
        index_.chunks.push_back(record);
    } catch (...) {
        failStream();
    }
    nox::CloudRecord& cloud = index_.clouds[record.cloud];
    cloud.points += record.points;
    cloud.nullPoints += record.nullPoints;
    cloud.chunkCount += 1;
    cloud.bounds.include(record.bounds);
    chunk_.clear();
}

void NoxStream::closeCloud() {
    if (!haveCloud_) return;
    while (received_ < gridCells_) {  // a grid short of points is completed with null points
        ++received_;
        PendingPoint point;
        point.isNull = true;
        route(point);
    }
    if (normals_) normals_->finish();
    normals_.reset();
    flushChunk();
    haveCloud_ = false;
}

void NoxStream::end() {
    if (state_ == State::Ended) return;
    if (state_ != State::Open || pipeline_.failed()) refuse();
    closeCloud();
    state_ = State::Ended;
}

void NoxStream::build(std::vector<nox::MetaTag> tags, const std::function<void(float)>& progress) {
    end();
    try {
        pipeline_.finish(index_.chunks);  // every chunk in the file before the index
    } catch (...) {
        failStream();
    }
    progress(0.0f);
    index_.tags = std::move(tags);
    nox::FileHeader header;
    header.major = formatVersion_;
    header.indexOffset = spill_.size();
    for (const nox::CloudRecord& cloud : index_.clouds) header.totalPoints += cloud.points;
    try {
        // The index goes straight to the file; its checksum is taken on the way.
        nox::Checksum64Stream indexChecksum;
        nox::encodeIndex(index_, [&](const uint8_t* data, size_t size) {
            indexChecksum.update(data, size);
            spill_.append(data, size);
        });
        header.indexSize = spill_.size() - header.indexOffset;
        header.indexChecksum = indexChecksum.digest();
        header.fileSize = spill_.size();
        progress(0.4f);
        const std::vector<uint8_t> headerBytes = nox::encodeHeader(header);
        spill_.writeAt(0, headerBytes.data(), headerBytes.size());
        progress(0.5f);
        spill_.publish();
    } catch (const WriterError& error) {
        state_ = State::Failed;
        failure_ = error.what();
        spill_.remove();
        throw;
    }
    progress(1.0f);
}

}  // namespace noxwriter
