// noxconvert export: the points of a NOX file, in world coordinates, as binary PLY, as text (one
// point a line) or as LAS, or as E57 with one scan per cloud (LAS and E57 through the host kit's
// writers), for other point-cloud tools.
#include <bit>
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "commands/commands.h"
#include "commands/exit_codes.h"
#include "commands/scene_access.h"
#include "ks_hostkit/e57_export.h"
#include "ks_hostkit/las_export.h"
#include "ks_hostkit/nox_scene.h"
#include "ks_hostkit/output_file.h"
#include "ks_tools/console.h"
#include "lyrant_api.h"

namespace noxconvert {
namespace {

using namespace hostkit;

enum class ExportFormat { Ply, Xyz, Las, E57 };

struct Channels {
    bool colour = false;
    bool intensity = false;
    bool classes = false;
};

void writePlyHeader(std::FILE* out, uint64_t points, const Channels& channels) {
    std::fprintf(out, "ply\nformat binary_little_endian 1.0\ncomment written by noxconvert\n");
    std::fprintf(out, "element vertex %" PRIu64 "\n", points);
    std::fprintf(out, "property double x\nproperty double y\nproperty double z\n");
    if (channels.colour)
        std::fprintf(out, "property uchar red\nproperty uchar green\nproperty uchar blue\n");
    if (channels.intensity) std::fprintf(out, "property ushort intensity\n");
    if (channels.classes) std::fprintf(out, "property uchar classification\n");
    std::fprintf(out, "end_header\n");
}

// PLY records are packed little-endian, which is this machine's own order.
static_assert(std::endian::native == std::endian::little,
              "PLY output assumes a little-endian host");

void writePlyPoints(std::FILE* out, const PointBlock& block, const Channels& channels) {
    unsigned char record[3 * sizeof(double) + 3 + sizeof(uint16_t) + 1];
    for (uint32_t i = 0; i < block.count; ++i) {
        size_t size = 3 * sizeof(double);
        std::memcpy(record, &block.xyz[3 * i], size);
        if (channels.colour) {
            std::memcpy(record + size, &block.rgb[3 * i], 3);
            size += 3;
        }
        if (channels.intensity) {
            std::memcpy(record + size, &block.intensity[i], sizeof(uint16_t));
            size += sizeof(uint16_t);
        }
        if (channels.classes) record[size++] = block.classes[i];
        std::fwrite(record, 1, size, out);
    }
}

void writeXyzPoints(std::FILE* out, const PointBlock& block, const Channels& channels) {
    for (uint32_t i = 0; i < block.count; ++i) {
        const double* p = &block.xyz[3 * i];
        std::fprintf(out, "%.6f %.6f %.6f", p[0], p[1], p[2]);
        if (channels.colour)
            std::fprintf(out, " %u %u %u", block.rgb[3 * i], block.rgb[3 * i + 1],
                         block.rgb[3 * i + 2]);
        if (channels.intensity) std::fprintf(out, " %u", unsigned{block.intensity[i]});
        if (channels.classes) std::fprintf(out, " %u", block.classes[i]);
        std::fputc('\n', out);
    }
}

// The share written so far, on a live console only, redrawn when it changes.
class ExportMeter {
public:
    explicit ExportMeter(std::string output)
        : output_(std::move(output)), live_(ks_tools::isLiveConsole(stderr)) {}
    ~ExportMeter() {
        if (shown_ >= 0) std::fprintf(stderr, "\r\033[K");
    }
    ExportMeter(const ExportMeter&) = delete;
    ExportMeter& operator=(const ExportMeter&) = delete;

    ExportProgress callback() {
        if (!live_) return {};
        return [this](uint64_t done, uint64_t total) {
            const int percent = total ? static_cast<int>(done * 100 / total) : 100;
            if (percent == shown_) return;
            shown_ = percent;
            std::fprintf(stderr, "\rnoxconvert: exporting %s: %d%%\033[K", output_.c_str(),
                         percent);
        };
    }

private:
    std::string output_;
    bool live_;
    int shown_ = -1;
};

// Formats the host kit writes whole, header and all.
int exportThroughHostKit(const NoxScene& scene, ExportFormat format, const std::string& noxPath,
                         const std::string& outputPath) {
    const Result<uint64_t> written = [&] {
        ExportMeter meter(outputPath);
        return format == ExportFormat::Las ? exportLas(scene, outputPath, meter.callback())
                                           : exportE57(scene, outputPath, meter.callback());
    }();
    if (!written) {
        const Refusal& refusal = written.refusal();
        if (refusal.kind == RefusalKind::Unreadable)
            std::fprintf(stderr, "noxconvert: %s: %s; %s was not written\n", noxPath.c_str(),
                         refusal.reason.c_str(), outputPath.c_str());
        else
            std::fprintf(stderr, "noxconvert: %s: %s\n", outputPath.c_str(),
                         refusal.reason.c_str());
        return kExitFailed;
    }
    std::printf("%s: %" PRIu64 " points\n", outputPath.c_str(), *written);
    return kExitSuccess;
}

}  // namespace

int runExport(const std::string& noxPath, const std::string& outputPath) {
    ExportFormat format;
    if (hasExtension(outputPath, ".ply")) {
        format = ExportFormat::Ply;
    } else if (hasExtension(outputPath, ".xyz")) {
        format = ExportFormat::Xyz;
    } else if (hasExtension(outputPath, ".las")) {
        format = ExportFormat::Las;
    } else if (hasExtension(outputPath, ".e57")) {
        format = ExportFormat::E57;
    } else {
        std::fprintf(stderr, "noxconvert: export writes .ply, .xyz, .las or .e57 files, not %s\n",
                     outputPath.c_str());
        return kExitUsage;
    }
    std::optional<NoxScene> scene = openScene(noxPath);
    if (!scene) return kExitInputMissing;
    if (format == ExportFormat::Las || format == ExportFormat::E57)
        return exportThroughHostKit(*scene, format, noxPath, outputPath);
    const SceneSummary summary = scene->summary();
    const Channels channels{(summary.contentFlags & KS_CONTENT_COLOUR) != 0,
                            (summary.contentFlags & KS_CONTENT_INTENSITY) != 0,
                            (summary.contentFlags & KS_CONTENT_CLASS) != 0};

    hostkit::OutputFile out(outputPath);
    if (!out.isOpen()) {
        std::fprintf(stderr, "noxconvert: cannot create %s: %s\n", outputPath.c_str(),
                     std::strerror(errno));
        return kExitFailed;
    }
    if (format == ExportFormat::Ply) writePlyHeader(out.get(), summary.points, channels);
    const uint64_t delivered =
        scene->readPoints(ColourSource::Stored, [&](const PointBlock& block) {
            if (format == ExportFormat::Ply)
                writePlyPoints(out.get(), block, channels);
            else
                writeXyzPoints(out.get(), block, channels);
        });
    if (!allPointsRead(noxPath, delivered, summary.points, outputPath)) return kExitFailed;
    if (!out.commit()) {
        std::fprintf(stderr, "noxconvert: cannot write %s: %s\n", outputPath.c_str(),
                     std::strerror(errno));
        return kExitFailed;
    }
    std::printf("%s: %" PRIu64 " points\n", outputPath.c_str(), delivered);
    return kExitSuccess;
}

}  // namespace noxconvert
