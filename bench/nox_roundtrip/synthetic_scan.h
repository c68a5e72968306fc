#pragma once
// A synthetic terrestrial scan: a scanner 1.5 m above the ground of a walled yard with a column
// and a sphere in it. Each scan line is one vertical sweep; rays that hit nothing (the sky) are
// null points. Ranges carry about 1.4 mm of noise; intensity follows material, incidence and
// range; colour is a texture per surface with noise. Lines are deterministic, so a
// reader can regenerate any line to check what it got back.
#include <cstdint>
#include <vector>

namespace bench {

// 32 bytes, so that a benchmark can hold a whole scan of them.
struct ScanPoint {
    double xyz[3];
    int16_t intensity;
    uint8_t rgb[3];
    bool isNull;
};

class SyntheticScan {
public:
    SyntheticScan(uint32_t lines, uint32_t pointsPerLine);
    uint32_t lines() const { return lines_; }
    uint32_t pointsPerLine() const { return pointsPerLine_; }
    void generateLine(uint32_t line, std::vector<ScanPoint>& out) const;

private:
    uint32_t lines_, pointsPerLine_;
    std::vector<double> sinElevation_, cosElevation_;
};

}  // namespace bench
