#pragma once

// Where the cloud's top-down extent lands in the picture: the picture's size (from the options
// or the extent's aspect) and the scale and offset that fit the extent in it, centred.
namespace noxconvert {

struct PreviewLayout {
    int width = 0;
    int height = 0;
    double scale = 1;    // pixels per metre
    double originX = 0;  // world x at the picture's left edge
    double originY = 0;  // world y at the picture's top edge (y grows upward in the world)

    int column(double x) const { return static_cast<int>((x - originX) * scale); }
    int row(double y) const { return static_cast<int>((originY - y) * scale); }
};

inline constexpr int kDefaultPreviewWidth = 1024;
inline constexpr int kLargestPreviewSide = 16384;

// width or height 0: not given. Extents of 0 (one point, a line) still give a picture.
PreviewLayout layoutPreview(double minX, double maxX, double minY, double maxY, int width,
                            int height);

}  // namespace noxconvert
