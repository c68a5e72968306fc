#include "preview_layout.h"

#include <algorithm>
#include <cmath>

namespace noxconvert {

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

}  // namespace noxconvert
