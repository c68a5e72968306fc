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

Shading shadingOf(uint32_t contentFlags) {
    if (contentFlags & KS_CONTENT_COLOUR) return Shading::Colour;
    if (contentFlags & KS_CONTENT_INTENSITY) return Shading::Intensity;
    return Shading::Height;
}

// Draws each pixel's highest point, as seen from above. Each cloud is shaded by the best channel
// it has, so a cloud without colour does not turn black beside one with colour; the viewer
// delivers colour or intensity grey per query, hence one pass per kind of shading in use.
class TopDownPicture {
public:
    TopDownPicture(const PreviewLayout& layout, const PointBounds& bounds)
        : layout_(layout),
          image_(layout.width, layout.height, kBackground),
          top_(size_t(layout.width) * size_t(layout.height),
               -std::numeric_limits<double>::infinity()),
          zLow_(bounds.min[2]),
          zRange_(std::max(bounds.max[2] - bounds.min[2], 1e-9)) {}

    // Answers the points delivered in this pass.
    uint64_t draw(const NoxScene& scene, const std::vector<SceneCloud>& clouds, Shading shading) {
        CloudCursor cursor(clouds);
        const ColourSource source =
            shading == Shading::Intensity ? ColourSource::IntensityGrey : ColourSource::Stored;
        return scene.readPoints(source, [&](const PointBlock& block) {
            for (uint32_t i = 0; i < block.count; ++i) {
                const size_t cloud = cursor.next();
                if (cloud < clouds.size() && shadingOf(clouds[cloud].contentFlags) == shading)
                    plot(&block.xyz[3 * i], &block.rgb[3 * i], shading);
            }
        });
    }
    const RgbImage& image() const { return image_; }

private:
    void plot(const double* p, const uint8_t* rgb, Shading shading) {
        const int x = std::clamp(layout_.column(p[0]), 0, layout_.width - 1);
        const int y = std::clamp(layout_.row(p[1]), 0, layout_.height - 1);
        double& highest = top_[size_t(y) * size_t(layout_.width) + size_t(x)];
        if (p[2] < highest) return;
        highest = p[2];
        uint8_t* pixel = image_.at(x, y);
        if (shading == Shading::Height)
            heightColour((p[2] - zLow_) / zRange_, pixel);
        else
            std::copy_n(rgb, 3, pixel);
    }

    const PreviewLayout& layout_;
    RgbImage image_;
    std::vector<double> top_;
    double zLow_;
    double zRange_;
};

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

    const PreviewLayout layout =
        layoutPreview(bounds.min[0], bounds.max[0], bounds.min[1], bounds.max[1], width, height);
    const std::vector<SceneCloud> clouds = scene->clouds();
    TopDownPicture picture(layout, bounds);
    std::string shadings;
    uint64_t delivered = 0;
    static const char* const kShadingNames[] = {"colour", "intensity", "height"};
    for (const Shading shading : {Shading::Height, Shading::Intensity, Shading::Colour}) {
        const bool used = std::any_of(clouds.begin(), clouds.end(), [&](const SceneCloud& c) {
            return shadingOf(c.contentFlags) == shading;
        });
        if (!used) continue;
        // Every pass reads every point; each must deliver all of them.
        delivered = picture.draw(*scene, clouds, shading);
        if (delivered != summary.points) break;
        shadings +=
            (shadings.empty() ? "" : ", ") + std::string(kShadingNames[static_cast<int>(shading)]);
    }
    if (!allPointsRead(noxPath, delivered, summary.points, pngPath)) return kExitFailed;
    std::string reason;
    if (!writePng(pngPath, picture.image(), reason)) {
        std::fprintf(stderr, "noxconvert: cannot write %s: %s\n", pngPath.c_str(), reason.c_str());
        return kExitFailed;
    }
    std::printf("%s: %d x %d pixels, %" PRIu64 " points, coloured by %s\n", pngPath.c_str(),
                layout.width, layout.height, delivered,
                shadings.empty() ? "nothing (no points)" : shadings.c_str());
    return kExitSuccess;
}

}  // namespace noxconvert
