#pragma once

// An 8-bit RGB picture and its PNG encoding (libpng).
#include <cstdint>
#include <string>
#include <vector>

namespace noxconvert {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;  // row by row from the top, 3 bytes a pixel

    RgbImage(int w, int h, uint8_t grey)
        : width(w), height(h), pixels(size_t(w) * size_t(h) * 3, grey) {}
    uint8_t* at(int x, int y) { return &pixels[(size_t(y) * size_t(width) + size_t(x)) * 3]; }
};

// Writes the picture; false with a reason when the file cannot be written.
bool writePng(const std::string& path, const RgbImage& image, std::string& reason);

}  // namespace noxconvert
