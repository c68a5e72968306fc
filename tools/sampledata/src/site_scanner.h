#pragma once

#include <cstdint>
#include <vector>

#include "ks_sampledata/rsp_project.h"

namespace ks_sampledata::detail {

// The rays a scanner sends: columns are vertical lines turning it through a full circle, rows
// raise its beam from 40 degrees below to 60 degrees above the horizon, in equal steps.
struct ScanPattern {
    uint32_t rows = 0;
    uint32_t columns = 0;
};

// One ray's measurement in the scanner's own frame, with the values the file formats store.
struct ScanSample {
    bool hit = false;
    float x = 0, y = 0, z = 0;
    float range = 0;
    float reflectance = 0;  // dB
    int16_t intensity = 0;  // the 16-bit intensity a conversion derives from the reflectance
    uint8_t red = 0, green = 0, blue = 0;
};

// A scanner standing on the site where its registration matrix (scanner frame to site frame)
// puts it. Angle tables are made once, so measuring allocates nothing.
class SiteScanner {
public:
    SiteScanner(const RspMatrix& sop, ScanPattern pattern);
    ScanSample measure(uint32_t row, uint32_t column) const;
    const ScanPattern& pattern() const { return pattern_; }

private:
    RspMatrix sop_;
    ScanPattern pattern_;
    std::vector<double> cosElevation_, sinElevation_;
    std::vector<double> cosAzimuth_, sinAzimuth_;
};

// A pattern giving about `hits` returns from the scanner at this place; the share of rays that
// meet something is taken from a coarse sweep first.
ScanPattern patternForHits(const RspMatrix& sop, uint64_t hits);

// Conversions multiply a stream's reflectance by this to get the 16-bit intensity.
inline constexpr double kReflectanceToIntensity = 500.0;

}  // namespace ks_sampledata::detail
