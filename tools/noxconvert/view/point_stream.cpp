#include "point_stream.h"

#include <algorithm>
#include <cstring>

namespace noxconvert {

using hostkit::ColourSource;
using hostkit::NoxScene;
using hostkit::PointCursor;
using hostkit::SceneCloud;
namespace {

// A first pass this much thinner than the whole stream. It reads the whole file once more, so
// it is only worth it where one pass takes longer than a first picture should wait: from about
// a third of a second of decoding on (at 50 M points/s), and when there are enough points to
// thin.
constexpr uint32_t kCoarseShare = 16;
constexpr uint64_t kCoarsePassFilePoints = 16'000'000;
constexpr uint64_t kCoarsePassSendPoints = 16 * 1024;
// Points the viewer decodes for one fetch at most, so a thin pass still sends its first block
// after a fraction of the file rather than after all of it.
constexpr uint64_t kDecodedPerFetch = 262'144;

uint64_t ceilDiv(uint64_t a, uint64_t b) { return a / b + (a % b != 0); }

template <typename T>
void put(std::string& out, T value) {
    char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));  // the hosts this runs on are little-endian
    out.append(bytes, sizeof(T));
}

void padToFour(std::string& out) { out.append((4 - out.size() % 4) % 4, '\0'); }

}  // namespace

StreamPlan planStream(uint64_t filePoints, uint64_t budget) {
    if (budget == 0) budget = kDefaultPointBudget;
    budget = std::min(budget, kLargestPointBudget);
    StreamPlan plan;
    plan.filePoints = filePoints;
    // The viewer's even share takes strides up to a million exactly (a float carries 1/stride);
    // a budget that small of a file that large still gets a picture, only more points.
    plan.stride = static_cast<uint32_t>(std::min<uint64_t>(ceilDiv(filePoints, budget), 1'000'000));
    if (plan.stride == 0) plan.stride = 1;
    plan.sendPoints = ceilDiv(filePoints, plan.stride);
    if (filePoints >= kCoarsePassFilePoints && plan.sendPoints >= kCoarsePassSendPoints &&
        uint64_t(plan.stride) * kCoarseShare <= 1'000'000)
        plan.coarse = kCoarseShare;
    return plan;
}

PointStream::PointStream(const NoxScene& scene, std::vector<SceneCloud> clouds,
                         const StreamPlan& plan, const std::array<double, 3>& centre)
    : scene_(scene), clouds_(std::move(clouds)), plan_(plan), centre_(centre) {
    uint64_t end = 0;
    for (const SceneCloud& cloud : clouds_) cloudEnds_.push_back(end += cloud.points);
    pass_ = plan_.coarse > 1 ? 0 : 1;
}

bool PointStream::next(std::string_view& piece) {
    small_.clear();
    switch (stage_) {
        case Stage::Header:
            appendHeader(small_);
            piece = small_;
            stage_ = Stage::Points;
            return true;
        case Stage::Points:
            if (writePoints(piece)) return true;
            appendEnd(small_);
            piece = small_;
            stage_ = Stage::Done;
            return true;
        case Stage::Done:
            return false;
    }
    return false;
}

void PointStream::appendHeader(std::string& out) const {
    out.append(kStreamMagic, 4);
    put<uint32_t>(out, kStreamHeaderBytes);
    put<uint64_t>(out, plan_.filePoints);
    put<uint64_t>(out, plan_.sendPoints);
    put<uint32_t>(out, plan_.stride);
    put<uint32_t>(out, plan_.coarse);
    for (double c : centre_) put<double>(out, c);
}

size_t PointStream::cloudOf(uint64_t scenePoint) {
    // Points come in scene order within a pass, so the cloud only moves forward.
    while (cloud_ + 1 < cloudEnds_.size() && scenePoint >= cloudEnds_[cloud_]) ++cloud_;
    return cloud_;
}

bool PointStream::fetch() {
    while (pass_ <= 1) {
        if (!cursor_) {
            const uint32_t stride = pass_ == 0 ? plan_.stride * plan_.coarse : plan_.stride;
            cursor_ = std::make_unique<PointCursor>(scene_.points(ColourSource::Stored, stride));
            passOrdinal_ = 0;
            cloud_ = 0;
            xyz_.resize(3 * size_t(kBlockPoints));
            rgb_.resize(3 * size_t(kBlockPoints));
            intensity_.resize(kBlockPoints);
            ordinals_.resize(kBlockPoints);
        }
        const uint64_t passStride =
            pass_ == 0 ? uint64_t(plan_.stride) * plan_.coarse : plan_.stride;
        const uint32_t capacity = static_cast<uint32_t>(
            std::clamp<uint64_t>(kDecodedPerFetch / passStride, 1024, kBlockPoints));
        const uint32_t got =
            cursor_->next(capacity, xyz_.data(), rgb_.data(), intensity_.data(), nullptr);
        if (got == 0) {
            if (passOrdinal_ < ceilDiv(plan_.filePoints, passStride)) return false;  // damaged
            cursor_.reset();
            ++pass_;
            continue;
        }
        // Keep the points this pass adds, moved to the front; the fill pass skips every
        // coarse-th point, which the first pass sent already.
        uint32_t kept = 0;
        for (uint32_t i = 0; i < got; ++i, ++passOrdinal_) {
            if (pass_ == 1 && plan_.coarse > 1 && passOrdinal_ % plan_.coarse == 0) continue;
            if (kept != i) {
                std::copy_n(&xyz_[3 * size_t(i)], 3, &xyz_[3 * size_t(kept)]);
                std::copy_n(&rgb_[3 * size_t(i)], 3, &rgb_[3 * size_t(kept)]);
                intensity_[kept] = intensity_[i];
            }
            ordinals_[kept++] = passOrdinal_ * passStride;
        }
        if (kept == 0) continue;
        fetched_ = kept;
        at_ = 0;
        return true;
    }
    return false;
}

bool PointStream::writePoints(std::string_view& piece) {
    if (at_ == fetched_ && !fetch()) return false;
    // One block: the run of fetched points that belong to the same cloud.
    const uint32_t first = at_;
    const size_t cloud = cloudOf(ordinals_[first]);
    uint32_t end = first + 1;
    while (end < fetched_ && cloudOf(ordinals_[end]) == cloud) ++end;
    if (end < fetched_) cloud_ = cloud;  // cloudOf looked ahead into the next cloud
    const uint32_t count = end - first;

    const size_t payload = (size_t(count) * (12 + 2 + 3) + 3) / 4 * 4;
    // Blocks are written into one buffer of the largest block's size, kept for the whole stream.
    if (block_.size() < kBlockHeaderBytes + payload) block_.resize(kLargestBlockBytes);
    const uint32_t header[4] = {kPointsBlock, count, static_cast<uint32_t>(cloud),
                                static_cast<uint32_t>(payload)};
    std::memcpy(block_.data(), header, kBlockHeaderBytes);
    char* p = block_.data() + kBlockHeaderBytes;
    for (uint32_t i = first; i < end; ++i, p += 12) {
        const float local[3] = {static_cast<float>(xyz_[3 * size_t(i)] - centre_[0]),
                                static_cast<float>(xyz_[3 * size_t(i) + 1] - centre_[1]),
                                static_cast<float>(xyz_[3 * size_t(i) + 2] - centre_[2])};
        std::memcpy(p, local, 12);
    }
    // The intensities (unsigned 16-bit), then the colour bytes.
    std::memcpy(p, &intensity_[first], 2 * size_t(count));
    p += 2 * size_t(count);
    std::memcpy(p, &rgb_[3 * size_t(first)], 3 * size_t(count));
    p += 3 * size_t(count);
    std::memset(p, 0, block_.data() + kBlockHeaderBytes + payload - p);  // the padding
    piece = std::string_view(block_.data(), kBlockHeaderBytes + payload);
    at_ = end;
    sent_ += count;
    return true;
}

void PointStream::appendEnd(std::string& out) const {
    const bool complete = sent_ == plan_.sendPoints;
    std::string message = complete ? std::string()
                                   : "the file is damaged: only " + std::to_string(sent_) + " of " +
                                         std::to_string(plan_.sendPoints) + " points could be read";
    const size_t payload = (message.size() + 3) / 4 * 4;
    put<uint32_t>(out, kEndBlock);
    put<uint32_t>(out, complete ? kStreamComplete : kStreamDamaged);
    put<uint32_t>(out, 0);
    put<uint32_t>(out, static_cast<uint32_t>(payload));
    out += message;
    padToFour(out);
}

}  // namespace noxconvert
