#include "point_query.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace lyrant {

void PointQuery::setScope(std::vector<std::shared_ptr<const Scene>> scenes) {
    scenes_ = std::move(scenes);
    reset();
}

void PointQuery::reset() {
    scene_ = 0;
    nextChunk_ = 0;
    finished_ = false;
    haveChunk_ = false;
    validIndex_ = 0;
    skip_ = 0;
}

void PointQuery::prepareChunk(const nox::CloudRecord& cloud, const nox::ChunkRecord& record) {
    const auto& m = cloud.matrix;
    rotates_ = false;
    for (int r = 0; r < 3; ++r) {
        worldOrigin_[r] = m[4 * r] * record.origin[0] + m[4 * r + 1] * record.origin[1] +
                          m[4 * r + 2] * record.origin[2] + m[4 * r + 3];
        for (int c = 0; c < 3; ++c) {
            rotation_[3 * r + c] = m[4 * r + c];
            scaled_[3 * r + c] = m[4 * r + c] * record.step;
            if (m[4 * r + c] != (r == c ? 1.0 : 0.0)) rotates_ = true;
        }
    }
    const nox::GroupRecord& group = scenes_[scene_]->index().groups[cloud.group];
    const bool haveRange = group.intensityMin < group.intensityMax;
    normalise_ = (group.flags & nox::kGroupNormalise) && haveRange;
    // Normalising stretches the group's stored range onto the whole signed 16-bit range. The
    // range comes from the file as two 32-bit numbers; its width is taken in double, where any
    // pair fits (in 32 bits a damaged file's range could overflow).
    const double width = double(group.intensityMax) - double(group.intensityMin);
    intensityOffset_ = group.intensityMin;
    intensityScale_ = normalise_ ? 65535.0 / width : 1.0;
    greyOffset_ = haveRange ? group.intensityMin : 0.0;
    greyScale_ = haveRange ? 255.0 / width : 0.0;
}

bool PointQuery::loadNextChunk() {
    while (scene_ < scenes_.size()) {
        const Scene& scene = *scenes_[scene_];
        const nox::FileIndex& index = scene.index();
        if (nextChunk_ < index.chunks.size()) {
            const nox::ChunkRecord& record = index.chunks[nextChunk_];
            std::string reason;
            // The chunk after this one comes in from the disk while this one is decoded and
            // delivered.
            const bool read = scene.file->readChunk(nextChunk_, payload_);
            scene.file->readAheadChunk(nextChunk_ + 1);
            if (!read || !decoder_.decode(payload_.data(), payload_.size(), record, chunk_, reason,
                                          scene.file->header().major)) {
                finished_ = true;  // a chunk that went bad after opening ends the query
                return false;
            }
            ++nextChunk_;
            prepareChunk(index.clouds[record.cloud], record);
            validIndex_ = 0;
            haveChunk_ = true;
            return true;
        }
        ++scene_;
        nextChunk_ = 0;
    }
    finished_ = true;
    return false;
}

// Null points are never delivered, so the cursor runs over the chunk's non-null points only and
// each channel is written in its own tight loop.
uint32_t PointQuery::deliver(uint32_t capacity, uint32_t filled, const PointBuffers& out) {
    uint32_t picked[kPickBatch];
    while (validIndex_ < chunk_.valid && filled < capacity) {
        // The next run of points to deliver: consecutive ones, or every stride-th.
        uint32_t count = 0;
        const uint32_t room = std::min<uint32_t>(capacity - filled, kPickBatch);
        if (stride_ == 1) {
            while (count < room && validIndex_ < chunk_.valid) picked[count++] = validIndex_++;
        } else {
            // Every stride-th point of the whole query: jump from pick to pick, carrying the
            // distance still to go into the next chunk.
            while (count < room && validIndex_ < chunk_.valid) {
                const uint32_t left = chunk_.valid - validIndex_;
                if (skip_ >= left) {
                    skip_ -= left;
                    validIndex_ = chunk_.valid;
                    break;
                }
                validIndex_ += skip_;
                picked[count++] = validIndex_++;
                skip_ = stride_ - 1;
            }
        }
        writePoints(picked, count, filled, out);
        filled += count;
    }
    return filled;
}

void PointQuery::writePoints(const uint32_t* picked, uint32_t count, uint32_t at,
                             const PointBuffers& out) const {
    const uint32_t channels = chunk_.channels;
    if (out.xyz) {
        const int64_t* sx = chunk_.steps[0].data();
        const int64_t* sy = chunk_.steps[1].data();
        const int64_t* sz = chunk_.steps[2].data();
        double* p = out.xyz + 3 * size_t(at);
        if (rotates_) {
            for (uint32_t k = 0; k < count; ++k, p += 3) {
                const uint32_t v = picked[k];
                const double q[3] = {double(sx[v]), double(sy[v]), double(sz[v])};
                for (int r = 0; r < 3; ++r)
                    p[r] = worldOrigin_[r] + scaled_[3 * r] * q[0] + scaled_[3 * r + 1] * q[1] +
                           scaled_[3 * r + 2] * q[2];
            }
        } else {
            for (uint32_t k = 0; k < count; ++k, p += 3) {
                const uint32_t v = picked[k];
                p[0] = worldOrigin_[0] + scaled_[0] * double(sx[v]);
                p[1] = worldOrigin_[1] + scaled_[4] * double(sy[v]);
                p[2] = worldOrigin_[2] + scaled_[8] * double(sz[v]);
            }
        }
    }
    const bool hasIntensity = channels & nox::kCloudIntensity;
    if (out.intensity) {
        int16_t* o = out.intensity + at;
        if (!hasIntensity)
            std::fill(o, o + count, int16_t(0));
        else if (!normalise_)
            for (uint32_t k = 0; k < count; ++k) o[k] = chunk_.intensity[picked[k]];
        else
            for (uint32_t k = 0; k < count; ++k)
                o[k] = static_cast<int16_t>(
                    std::lround((chunk_.intensity[picked[k]] - intensityOffset_) *
                                intensityScale_) -
                    32768);
    }
    if (out.rgb) {
        uint8_t* c = out.rgb + 3 * size_t(at);
        if (colourMode_ == KS_COLOUR_FROM_INTENSITY) {
            for (uint32_t k = 0; k < count; ++k, c += 3) {
                const int16_t stored = hasIntensity ? chunk_.intensity[picked[k]] : 0;
                const double grey =
                    std::fmin(255.0, std::fmax(0.0, (stored - greyOffset_) * greyScale_));
                c[0] = c[1] = c[2] = static_cast<uint8_t>(std::lround(grey));
            }
        } else if (channels & nox::kCloudColour) {
            for (uint32_t k = 0; k < count; ++k, c += 3)
                std::memcpy(c, &chunk_.rgb[3 * size_t(picked[k])], 3);
        } else {
            std::memset(c, 0, 3 * size_t(count));
        }
    }
    if (out.classes) {
        uint8_t* o = out.classes + at;
        if (channels & nox::kCloudClass)
            for (uint32_t k = 0; k < count; ++k) o[k] = chunk_.classes[picked[k]];
        else
            std::memset(o, 0, count);
    }
    if (out.normals) {
        float* n = out.normals + 3 * size_t(at);
        if (!(channels & nox::kCloudNormals)) {
            std::fill(n, n + 3 * size_t(count), 0.0f);
            return;
        }
        for (uint32_t k = 0; k < count; ++k, n += 3) {
            nox::decodeNormal(&chunk_.normals[2 * size_t(picked[k])], n);
            if (!rotates_) continue;
            const float local[3] = {n[0], n[1], n[2]};
            for (int r = 0; r < 3; ++r)
                n[r] = float(rotation_[3 * r] * local[0] + rotation_[3 * r + 1] * local[1] +
                             rotation_[3 * r + 2] * local[2]);
        }
    }
}

uint32_t PointQuery::fetch(uint32_t capacity, const PointBuffers& out) {
    uint32_t filled = 0;
    while (filled < capacity && !finished_) {
        if (!haveChunk_ || validIndex_ == chunk_.valid) {
            haveChunk_ = false;
            if (!loadNextChunk()) break;
        }
        filled = deliver(capacity, filled, out);
    }
    return filled;
}

}  // namespace lyrant
