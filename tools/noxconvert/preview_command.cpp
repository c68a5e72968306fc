// noxconvert preview: a top-down picture of the cloud, coloured by its colour, else its intensity,
// else its height, so a person sees at a glance whether the scans landed where they belong.
#include <algorithm>
#include <array>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "commands.h"
#include "exit_codes.h"
#include "lyrant_api.h"
#include "nox_scene.h"
#include "png_image.h"
#include "point_bounds.h"
#include "preview_layout.h"
#include "scene_access.h"

namespace noxconvert {
namespace {

constexpr uint8_t kBackground = 24;

enum class Shading { Colour, Intensity, Height };

// Blue at the lowest point through green to red at the highest.
void heightColour(double t, uint8_t* rgb) {
    t = std::clamp(t, 0.0, 1.0);
    rgb[0] = static_cast<uint8_t>(255 * std::clamp(2 * t - 1, 0.0, 1.0));
    rgb[1] = static_cast<uint8_t>(255 * (1 - std::abs(2 * t - 1)));
    rgb[2] = static_cast<uint8_t>(255 * std::clamp(1 - 2 * t, 0.0, 1.0));
}

// Draws each pixel's highest point, as seen from above.
RgbImage drawTopDown(const NoxScene& scene, const PreviewLayout& layout, Shading shading, const PointBounds& bounds,
                     uint64_t& delivered) {
    RgbImage image(layout.width, layout.height, kBackground);
    std::vector<double> top(size_t(layout.width) * size_t(layout.height), -std::numeric_limits<double>::infinity());
    const double zRange = std::max(bounds.max[2] - bounds.min[2], 1e-9);
    const ColourSource source = shading == Shading::Intensity ? ColourSource::IntensityGrey : ColourSource::Stored;
    delivered = scene.readPoints(source, [&](const PointBlock& block) {
        for (uint32_t i = 0; i < block.count; ++i) {
            const double* p = &block.xyz[3 * i];
            const int x = std::clamp(layout.column(p[0]), 0, layout.width - 1);
            const int y = std::clamp(layout.row(p[1]), 0, layout.height - 1);
            double& highest = top[size_t(y) * size_t(layout.width) + size_t(x)];
            if (p[2] < highest) continue;
            highest = p[2];
            uint8_t* pixel = image.at(x, y);
            if (shading == Shading::Height)
                heightColour((p[2] - bounds.min[2]) / zRange, pixel);
            else
                std::copy_n(&block.rgb[3 * i], 3, pixel);
        }
    });
    return image;
}

}  // namespace

int runPreview(const std::string& noxPath, const std::string& pngPath, int width, int height) {
    std::optional<NoxScene> scene = openScene(noxPath);
    if (!scene) return kExitInputMissing;
    const SceneSummary summary = scene->summary();
    PointBounds bounds;
    scene->readPoints(ColourSource::Stored, [&](const PointBlock& block) {
        for (uint32_t i = 0; i < block.count; ++i) bounds.add(&block.xyz[3 * i]);
    });
    if (bounds.empty()) bounds.add(std::array<double, 3>{0, 0, 0}.data());

    const Shading shading = (summary.contentFlags & KS_CONTENT_COLOUR)      ? Shading::Colour
                            : (summary.contentFlags & KS_CONTENT_INTENSITY) ? Shading::Intensity
                                                                            : Shading::Height;
    const PreviewLayout layout = layoutPreview(bounds.min[0], bounds.max[0], bounds.min[1], bounds.max[1], width, height);
    uint64_t delivered = 0;
    const RgbImage image = drawTopDown(*scene, layout, shading, bounds, delivered);
    if (!allPointsRead(noxPath, delivered, summary.points, pngPath)) return kExitFailed;
    std::string reason;
    if (!writePng(pngPath, image, reason)) {
        std::fprintf(stderr, "noxconvert: cannot write %s: %s\n", pngPath.c_str(), reason.c_str());
        return kExitFailed;
    }
    static const char* const kShadingNames[] = {"colour", "intensity", "height"};
    std::printf("%s: %d x %d pixels, %" PRIu64 " points, coloured by %s\n", pngPath.c_str(), layout.width,
                layout.height, delivered, kShadingNames[static_cast<int>(shading)]);
    return kExitSuccess;
}

}  // namespace noxconvert
