#include "site_scanner.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include "ks_sampledata/sample_site.h"

namespace ks_sampledata::detail {

namespace {

constexpr double kLowestElevation = -40.0;
constexpr double kHighestElevation = 60.0;
constexpr double kDegree = std::numbers::pi / 180.0;
// Columns per row for equal angular steps: a full turn over the beam's sweep.
constexpr double kAspect = 360.0 / (kHighestElevation - kLowestElevation);

ScanPattern patternForRays(double rays) {
    const double rows = std::max(2.0, std::round(std::sqrt(rays / kAspect)));
    const double columns = std::max(1.0, std::round(rays / rows));
    if (rows * columns > 2147483647.0) throw std::invalid_argument("scan pattern too large");
    return {static_cast<uint32_t>(rows), static_cast<uint32_t>(columns)};
}

}  // namespace

SiteScanner::SiteScanner(const RspMatrix& sop, ScanPattern pattern) : sop_(sop), pattern_(pattern) {
    if (pattern.rows < 2 || pattern.columns < 1) throw std::invalid_argument("empty scan pattern");
    for (uint32_t row = 0; row < pattern.rows; ++row) {
        const double elevation =
            kLowestElevation + (kHighestElevation - kLowestElevation) * row / (pattern.rows - 1);
        cosElevation_.push_back(std::cos(elevation * kDegree));
        sinElevation_.push_back(std::sin(elevation * kDegree));
    }
    for (uint32_t column = 0; column < pattern.columns; ++column) {
        const double azimuth = 2.0 * std::numbers::pi * column / pattern.columns;
        cosAzimuth_.push_back(std::cos(azimuth));
        sinAzimuth_.push_back(std::sin(azimuth));
    }
}

ScanSample SiteScanner::measure(uint32_t row, uint32_t column) const {
    const double own[3] = {cosElevation_[row] * cosAzimuth_[column],
                           cosElevation_[row] * sinAzimuth_[column], sinElevation_[row]};
    const RspMatrix& m = sop_;
    const std::array<double, 3> origin{m[3], m[7], m[11]};
    const std::array<double, 3> direction{m[0] * own[0] + m[1] * own[1] + m[2] * own[2],
                                          m[4] * own[0] + m[5] * own[1] + m[6] * own[2],
                                          m[8] * own[0] + m[9] * own[1] + m[10] * own[2]};
    const SiteHit hit = castSiteRay(origin, direction);
    ScanSample sample;
    if (hit.surface == SiteSurface::None) return sample;
    // The point lies along the scanner's own ray, so its own coordinates need no inverse matrix.
    sample.hit = true;
    sample.x = static_cast<float>(hit.range * own[0]);
    sample.y = static_cast<float>(hit.range * own[1]);
    sample.z = static_cast<float>(hit.range * own[2]);
    sample.range = static_cast<float>(hit.range);
    // Reflectance in the database's steps of 0.01 dB, nudged a quarter intensity step away from
    // zero, so that every route's truncation gives the same 16-bit intensity.
    const long hundredths = std::lround(hit.reflectance * 100.0);
    const double intensity = static_cast<double>(hundredths) * kReflectanceToIntensity / 100.0;
    sample.intensity = static_cast<int16_t>(intensity);
    sample.reflectance =
        static_cast<float>((intensity + (intensity < 0 ? -0.25 : 0.25)) / kReflectanceToIntensity);
    sample.red = hit.red;
    sample.green = hit.green;
    sample.blue = hit.blue;
    return sample;
}

ScanPattern patternForHits(const RspMatrix& sop, uint64_t hits) {
    const SiteScanner coarse(sop, {25, 90});
    uint64_t met = 0;
    for (uint32_t row = 0; row < 25; ++row)
        for (uint32_t column = 0; column < 90; ++column) met += coarse.measure(row, column).hit;
    const double share = std::max(static_cast<double>(met) / (25 * 90), 0.01);
    return patternForRays(static_cast<double>(hits) / share);
}

}  // namespace ks_sampledata::detail
