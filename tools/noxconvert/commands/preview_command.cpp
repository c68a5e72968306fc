// noxconvert preview: a top-down picture of the cloud, coloured by its colour, else its intensity,
// else its height, so a person sees at a glance whether the scans landed where they belong.
#include <algorithm>
#include <array>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "commands/commands.h"
#include "commands/exit_codes.h"
#include "commands/scene_access.h"
#include "files/png_image.h"
#include "ks_hostkit/nox_scene.h"
#include "lyrant_api.h"

namespace noxconvert {
namespace {

using namespace hostkit;

constexpr uint8_t kBackground = 24;

// Where the cloud's top-down extent lands in the picture: the picture's size (from the options
// or the extent's aspect) and the scale and offset that fit the extent in it, centred.
struct PreviewLayout {
    int width = 0;
    int height = 0;
    double scale = 1;    // pixels per metre
    double originX = 0;  // world x at the picture's left edge
    double originY = 0;  // world y at the picture's top edge (y grows upward in the world)

    int column(double x) const { return static_cast<int>((x - originX) * scale); }
    int row(double y) const { return static_cast<int>((originY - y) * scale); }
};

constexpr int kDefaultPreviewWidth = 1024;

// width or height 0: not given. Extents of 0 (one point, a line) still give a picture.
PreviewLayout layoutPreview(double minX, double maxX, double minY, double maxY, int width,
                            int height) {
    // A small border keeps the outermost points off the edge.
    constexpr double kBorder = 0.02;
    const double smallest = 1e-6;
    double extentX = std::max(maxX - minX, smallest);
    double extentY = std::max(maxY - minY, smallest);
    const double padX = extentX * kBorder, padY = extentY * kBorder;
    extentX += 2 * padX;
    extentY += 2 * padY;

    PreviewLayout layout;
    const auto bySide = [](double side) {
        return static_cast<int>(std::clamp(std::lround(side), 1L, long(kLargestPreviewSide)));
    };
    if (width <= 0 && height <= 0) width = kDefaultPreviewWidth;
    layout.width = width > 0 ? width : bySide(height * extentX / extentY);
    layout.height = height > 0 ? height : bySide(layout.width * extentY / extentX);

    // The largest scale at which the extent fits both ways; the spare room is shared equally.
    layout.scale = std::min(layout.width / extentX, layout.height / extentY);
    const double spareX = layout.width / layout.scale - extentX;
    const double spareY = layout.height / layout.scale - extentY;
    layout.originX = minX - padX - spareX / 2;
    layout.originY = maxY + padY + spareY / 2;
    return layout;
}

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
    // The picture is always a PNG; another name would hand viewers the wrong kind of file.
    if (!hasExtension(pngPath, ".png")) {
        std::fprintf(stderr, "noxconvert: preview writes PNG files, named .png, not %s\n",
                     pngPath.c_str());
        return kExitUsage;
    }
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
