#include "ks_hostkit/las_export.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>
#include <nlohmann/json.hpp>
#include <vector>

#include "ks_common/little_endian.h"
#include "ks_hostkit/output_file.h"
#include "lyrant_api.h"

namespace hostkit {
namespace {

using ks_common::store;

constexpr size_t kHeaderSize = 375;
constexpr size_t kRecordSize = 36;  // point data record format 7
constexpr size_t kExtendedRecordHeaderSize = 60;
constexpr uint8_t kRecordFormat = 7;
constexpr uint16_t kWktEncodingBit = 0x10;  // required with formats 6 to 10
constexpr double kLargestStep = 2147483647.0;
constexpr size_t kMaxClouds = 65536;  // point source IDs are 16-bit
constexpr uint32_t kBlockPoints = 65536;

// Corners of a cloud's own-frame box, taken into the world by its matrix (row-major,
// translation in elements 3, 7, 11): the world box holds every point of the cloud.
void addWorldBox(const nox::CloudRecord& cloud, PointBounds& world) {
    const std::array<double, 16>& m = cloud.matrix;
    for (int corner = 0; corner < 8; ++corner) {
        const double p[3] = {(corner & 1) ? cloud.bounds.max[0] : cloud.bounds.min[0],
                             (corner & 2) ? cloud.bounds.max[1] : cloud.bounds.min[1],
                             (corner & 4) ? cloud.bounds.max[2] : cloud.bounds.min[2]};
        double w[3];
        for (int r = 0; r < 3; ++r)
            w[r] = m[4 * r] * p[0] + m[4 * r + 1] * p[1] + m[4 * r + 2] * p[2] + m[4 * r + 3];
        world.add(w);
    }
}

// The largest power of ten at or below value.
double powerOfTenAtOrBelow(double value) {
    double power = std::pow(10.0, std::floor(std::log10(value)));
    if (power * 10.0 <= value) power *= 10.0;  // log10 rounded down a whole step
    return power;
}

struct Header {
    LasGrid grid;
    PointBounds bounds;  // of the written (rounded) coordinates
    uint64_t points = 0;
    uint64_t firstExtendedRecord = 0;
};

void fixedText(unsigned char* at, size_t size, const char* text) {
    std::memset(at, 0, size);
    std::memcpy(at, text, std::min(size, std::strlen(text)));
}

std::array<unsigned char, kHeaderSize> encodeHeader(const Header& h) {
    std::array<unsigned char, kHeaderSize> b{};
    std::memcpy(b.data(), "LASF", 4);
    store<uint16_t>(&b[6], kWktEncodingBit);
    b[24] = 1;  // version 1.4
    b[25] = 4;
    fixedText(&b[26], 32, "OTHER");
    fixedText(&b[58], 32, "NOXFormats_32_Ext");
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &now);
#else
    gmtime_r(&now, &utc);
#endif
    store<uint16_t>(&b[90], static_cast<uint16_t>(utc.tm_yday + 1));
    store<uint16_t>(&b[92], static_cast<uint16_t>(utc.tm_year + 1900));
    store<uint16_t>(&b[94], static_cast<uint16_t>(kHeaderSize));
    store<uint32_t>(&b[96], static_cast<uint32_t>(kHeaderSize));  // no records before the points
    store<uint32_t>(&b[100], 0);
    b[104] = kRecordFormat;
    store<uint16_t>(&b[105], static_cast<uint16_t>(kRecordSize));
    // The legacy 32-bit counts (107 to 130) stay zero: formats above 5 have no legacy counts.
    for (int a = 0; a < 3; ++a) {
        store<double>(&b[131 + 8 * a], h.grid.scale[a]);
        store<double>(&b[155 + 8 * a], h.grid.offset[a]);
        store<double>(&b[179 + 16 * a], h.bounds.empty() ? 0.0 : h.bounds.max[a]);
        store<double>(&b[187 + 16 * a], h.bounds.empty() ? 0.0 : h.bounds.min[a]);
    }
    store<uint64_t>(&b[227], 0);  // no waveforms
    store<uint64_t>(&b[235], h.firstExtendedRecord);
    store<uint32_t>(&b[243], 1);
    store<uint64_t>(&b[247], h.points);
    store<uint64_t>(&b[255], h.points);  // every point is the first and only return
    return b;
}

// The clouds' names, labels, scans and matrices, for the extended record.
std::string cloudListing(const std::vector<SceneCloud>& clouds) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (size_t c = 0; c < clouds.size(); ++c)
        list.push_back({{"pointSourceId", c},
                        {"name", clouds[c].name},
                        {"label", cloudLabel(clouds[c], c)},
                        {"scan", clouds[c].scan},
                        {"points", clouds[c].points},
                        {"matrix", clouds[c].matrix}});
    return nlohmann::ordered_json{{"clouds", list}}.dump();
}

std::vector<unsigned char> extendedRecord(const std::string& payload) {
    std::vector<unsigned char> record(kExtendedRecordHeaderSize + payload.size());
    fixedText(&record[2], 16, "NOXFormats");
    store<uint16_t>(&record[18], 1);
    store<uint64_t>(&record[20], payload.size());
    fixedText(&record[28], 32, "clouds: name, scan, matrix");
    std::memcpy(record.data() + kExtendedRecordHeaderSize, payload.data(), payload.size());
    return record;
}

class PointWriter {
public:
    PointWriter(std::FILE* out, const LasGrid& grid, bool colour, bool classes)
        : out_(out), grid_(grid), colour_(colour), classes_(classes) {
        records_.resize(size_t(kBlockPoints) * kRecordSize);
    }

    // False when a point lies outside the grid's 32-bit range (the index's box was wrong).
    bool write(const PointBlock& block, CloudCursor& clouds, PointBounds& bounds) {
        for (uint32_t start = 0; start < block.count; start += kBlockPoints) {
            const uint32_t count = std::min(block.count - start, kBlockPoints);
            std::memset(records_.data(), 0, size_t(count) * kRecordSize);
            for (uint32_t i = 0; i < count; ++i)
                if (!encode(block, start + i, clouds.next(), &records_[size_t(i) * kRecordSize],
                            bounds))
                    return false;
            std::fwrite(records_.data(), kRecordSize, count, out_);
        }
        return true;
    }

private:
    bool encode(const PointBlock& block, uint32_t i, size_t cloud, unsigned char* r,
                PointBounds& bounds) {
        double rounded[3];
        for (int a = 0; a < 3; ++a) {
            const double steps =
                std::round((block.xyz[3 * i + a] - grid_.offset[a]) / grid_.scale[a]);
            if (!(std::fabs(steps) <= kLargestStep)) return false;
            store<int32_t>(r + 4 * a, static_cast<int32_t>(steps));
            rounded[a] = grid_.offset[a] + steps * grid_.scale[a];
        }
        bounds.add(rounded);
        store<uint16_t>(r + 12, block.intensity[i]);
        r[14] = 0x11;  // return 1 of 1
        if (classes_) r[16] = block.classes[i];
        store<uint16_t>(r + 20, static_cast<uint16_t>(cloud));
        if (colour_)
            for (int c = 0; c < 3; ++c)  // 0..255 spread over 0..65535
                store<uint16_t>(r + 30 + 2 * c, static_cast<uint16_t>(block.rgb[3 * i + c] * 257));
        return true;
    }

    std::FILE* out_;
    LasGrid grid_;
    bool colour_;
    bool classes_;
    std::vector<unsigned char> records_;
};

Refusal failed(const std::string& reason, const std::string& path) {
    return Refusal{RefusalKind::Failed, reason, path};
}

}  // namespace

Result<LasGrid> lasGridFor(const nox::FileIndex& index) {
    PointBounds world;
    double finest = std::numeric_limits<double>::infinity();
    for (const nox::CloudRecord& cloud : index.clouds) {
        if (cloud.points == cloud.nullPoints) continue;
        if (cloud.bounds.empty())
            return Refusal{
                RefusalKind::Failed, "the index gives no bounds for a cloud with points", {}};
        addWorldBox(cloud, world);
    }
    for (const nox::ChunkRecord& chunk : index.chunks)
        if (chunk.step > 0) finest = std::min(finest, chunk.step);
    LasGrid grid;
    const double scale = std::isfinite(finest) ? powerOfTenAtOrBelow(finest / 10.0) : 0.0001;
    for (int a = 0; a < 3; ++a) {
        grid.scale[a] = scale;
        if (world.empty()) continue;
        if (!std::isfinite(world.min[a]) || !std::isfinite(world.max[a]))
            return Refusal{RefusalKind::Failed, "the clouds' bounds are not finite", {}};
        grid.offset[a] = std::round((world.min[a] + world.max[a]) / 2.0);
        // A few steps of margin for the viewer's own rounding of the matrix product.
        const double reach = std::max(world.max[a] - grid.offset[a], grid.offset[a] - world.min[a]);
        while ((reach / grid.scale[a]) + 16.0 > kLargestStep) grid.scale[a] *= 10.0;
    }
    return grid;
}

Result<uint64_t> exportLas(const NoxScene& scene, const std::string& path,
                           const ExportProgress& progress) {
    if (!scene.index()) return failed("the file's index cannot be read", path);
    const std::vector<SceneCloud> clouds = scene.clouds();
    if (clouds.size() > kMaxClouds)
        return Refusal{
            RefusalKind::BadRequest,
            "LAS tells at most 65536 clouds apart, the file has " + std::to_string(clouds.size()),
            path};
    Result<LasGrid> grid = lasGridFor(*scene.index());
    if (!grid) return failed(grid.refusal().reason, path);

    OutputFile out(path);
    if (!out.isOpen()) return failed(std::strerror(errno), path);
    const SceneSummary summary = scene.summary();
    Header header;
    header.grid = *grid;
    std::fwrite(encodeHeader(header).data(), 1, kHeaderSize, out.get());  // again at the end

    PointWriter writer(out.get(), *grid, (summary.contentFlags & KS_CONTENT_COLOUR) != 0,
                       (summary.contentFlags & KS_CONTENT_CLASS) != 0);
    CloudCursor cursor(clouds);
    bool inRange = true;
    const uint64_t delivered = scene.readPoints(ColourSource::Stored, [&](const PointBlock& block) {
        if (!inRange) return;
        inRange = writer.write(block, cursor, header.bounds);
        header.points += block.count;
        if (progress) progress(header.points, summary.points);
    });
    if (!inRange)
        return failed("a point lies outside the bounds the file's index gives for its cloud", path);
    if (delivered != summary.points)
        return Refusal{RefusalKind::Unreadable,
                       "the file is damaged: only " + std::to_string(delivered) + " of " +
                           std::to_string(summary.points) + " points could be read",
                       path};

    const std::vector<unsigned char> listing = extendedRecord(cloudListing(clouds));
    std::fwrite(listing.data(), 1, listing.size(), out.get());
    header.firstExtendedRecord = kHeaderSize + header.points * kRecordSize;
    if (std::fseek(out.get(), 0, SEEK_SET) != 0) return failed(std::strerror(errno), path);
    std::fwrite(encodeHeader(header).data(), 1, kHeaderSize, out.get());
    if (!out.commit()) return failed(std::strerror(errno), path);
    return header.points;
}

}  // namespace hostkit
