#include "point_query.h"

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
    position_ = validIndex_ = 0;
    strideCounter_ = 0;
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
    // Normalising stretches the group's stored range onto the whole signed 16-bit range.
    intensityOffset_ = group.intensityMin;
    intensityScale_ = normalise_ ? 65535.0 / double(group.intensityMax - group.intensityMin) : 1.0;
    greyOffset_ = haveRange ? group.intensityMin : 0.0;
    greyScale_ = haveRange ? 255.0 / double(group.intensityMax - group.intensityMin) : 0.0;
}

bool PointQuery::loadNextChunk() {
    while (scene_ < scenes_.size()) {
        const Scene& scene = *scenes_[scene_];
        const nox::FileIndex& index = scene.index();
        if (nextChunk_ < index.chunks.size()) {
            const nox::ChunkRecord& record = index.chunks[nextChunk_];
            std::string reason;
            if (!scene.file->readChunk(nextChunk_, payload_) ||
                !decoder_.decode(payload_.data(), payload_.size(), record, chunk_, reason)) {
                finished_ = true;  // a chunk that went bad after opening ends the query
                return false;
            }
            ++nextChunk_;
            prepareChunk(index.clouds[record.cloud], record);
            position_ = validIndex_ = 0;
            haveChunk_ = true;
            return true;
        }
        ++scene_;
        nextChunk_ = 0;
    }
    finished_ = true;
    return false;
}

uint32_t PointQuery::deliver(uint32_t capacity, uint32_t filled, const PointBuffers& out) {
    const bool hasNulls = chunk_.valid < chunk_.count;
    const int64_t* sx = chunk_.steps[0].data();
    const int64_t* sy = chunk_.steps[1].data();
    const int64_t* sz = chunk_.steps[2].data();
    const uint32_t channels = chunk_.channels;
    while (position_ < chunk_.count && filled < capacity) {
        if (hasNulls && chunk_.isNull[position_]) {
            ++position_;
            continue;
        }
        const uint32_t v = validIndex_++;
        ++position_;
        if (stride_ > 1 && strideCounter_++ % stride_ != 0) continue;
        const uint32_t o = filled++;
        if (out.xyz) {
            const double q[3] = {double(sx[v]), double(sy[v]), double(sz[v])};
            double* p = out.xyz + 3 * size_t(o);
            if (rotates_) {
                for (int r = 0; r < 3; ++r)
                    p[r] = worldOrigin_[r] + scaled_[3 * r] * q[0] + scaled_[3 * r + 1] * q[1] + scaled_[3 * r + 2] * q[2];
            } else {
                p[0] = worldOrigin_[0] + scaled_[0] * q[0];
                p[1] = worldOrigin_[1] + scaled_[4] * q[1];
                p[2] = worldOrigin_[2] + scaled_[8] * q[2];
            }
        }
        const int16_t stored = (channels & nox::kCloudIntensity) ? chunk_.intensity[v] : 0;
        int16_t intensity = stored;
        if (normalise_)
            intensity = static_cast<int16_t>(std::lround((stored - intensityOffset_) * intensityScale_) - 32768);
        if (out.intensity) out.intensity[o] = intensity;
        if (out.rgb) {
            uint8_t* c = out.rgb + 3 * size_t(o);
            if (colourMode_ == kColourFromIntensity) {
                const double grey = std::fmin(255.0, std::fmax(0.0, (stored - greyOffset_) * greyScale_));
                c[0] = c[1] = c[2] = static_cast<uint8_t>(std::lround(grey));
            } else if (channels & nox::kCloudColour) {
                std::memcpy(c, &chunk_.rgb[3 * size_t(v)], 3);
            } else {
                c[0] = c[1] = c[2] = 0;
            }
        }
        if (out.classes) out.classes[o] = (channels & nox::kCloudClass) ? chunk_.classes[v] : 0;
        if (out.normals) {
            float* n = out.normals + 3 * size_t(o);
            if (channels & nox::kCloudNormals) {
                nox::decodeNormal(&chunk_.normals[2 * size_t(v)], n);
                if (rotates_) {
                    const float local[3] = {n[0], n[1], n[2]};
                    for (int r = 0; r < 3; ++r)
                        n[r] = float(rotation_[3 * r] * local[0] + rotation_[3 * r + 1] * local[1] +
                                     rotation_[3 * r + 2] * local[2]);
                }
            } else {
                n[0] = n[1] = n[2] = 0;
            }
        }
    }
    return filled;
}

uint32_t PointQuery::fetch(uint32_t capacity, const PointBuffers& out) {
    uint32_t filled = 0;
    while (filled < capacity && !finished_) {
        if (!haveChunk_ || position_ == chunk_.count) {
            haveChunk_ = false;
            if (!loadNextChunk()) break;
        }
        filled = deliver(capacity, filled, out);
    }
    return filled;
}

}  // namespace lyrant
