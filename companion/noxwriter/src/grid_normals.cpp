#include "grid_normals.h"

#include <algorithm>
#include <cmath>

namespace noxwriter {

void normalTowardScanner(const double xyz[3], const double scanner[3], float normal[3]) {
    const double d[3] = {scanner[0] - xyz[0], scanner[1] - xyz[1], scanner[2] - xyz[2]};
    const double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (!(length > 0)) {
        normal[0] = normal[1] = 0;
        normal[2] = 1;
        return;
    }
    for (int a = 0; a < 3; ++a) normal[a] = static_cast<float>(d[a] / length);
}

GridNormals::GridNormals(int32_t rows, int32_t columns, int reach, const double scanner[3],
                         Sink sink)
    : rows_(rows),
      columns_(columns),
      reach_(reach),
      window_(2 * int64_t(reach) + 1),
      sink_(std::move(sink)) {
    std::copy(scanner, scanner + 3, scanner_);
    ring_.resize(static_cast<size_t>(window_ * columns_));
}

const PendingPoint& GridNormals::at(int64_t row, int64_t column) const {
    return ring_[static_cast<size_t>((row % window_) * columns_ + column)];
}

void GridNormals::add(const PendingPoint& point) {
    const int64_t row = received_ / columns_, column = received_ % columns_;
    ring_[static_cast<size_t>((row % window_) * columns_ + column)] = point;
    ++received_;
    if (column == columns_ - 1 && row - reach_ >= nextRowToEmit_) emitRow(nextRowToEmit_++);
}

void GridNormals::finish() {
    while (nextRowToEmit_ < rows_ && nextRowToEmit_ * columns_ < received_)
        emitRow(nextRowToEmit_++);
}

namespace {

// Difference vector across the point along one grid direction, from the farthest non-null
// neighbour within `reach` cells before it to the one after it; where one side has none, the
// point itself stands in. `neighbour(k)` gives the cell k steps away or null outside the grid.
template <typename Neighbour>
bool difference(const PendingPoint& centre, int reach, Neighbour neighbour, double d[3]) {
    const PendingPoint* ends[2] = {&centre, &centre};
    for (int side = 0; side < 2; ++side)
        for (int k = reach; k >= 1; --k) {
            const PendingPoint* p = neighbour(side == 0 ? -k : k);
            if (p && !p->isNull) {
                ends[side] = p;
                break;
            }
        }
    if (ends[0] == ends[1]) return false;
    for (int a = 0; a < 3; ++a) d[a] = ends[1]->xyz[a] - ends[0]->xyz[a];
    return true;
}
}  // namespace

bool GridNormals::estimate(int64_t row, int64_t column, float normal[3]) const {
    const PendingPoint& centre = at(row, column);
    const auto alongRow = [&](int64_t k) -> const PendingPoint* {
        const int64_t c = column + k;
        return c >= 0 && c < columns_ ? &at(row, c) : nullptr;
    };
    const auto alongColumn = [&](int64_t k) -> const PendingPoint* {
        const int64_t r = row + k;
        return r >= 0 && r < rows_ && r * columns_ + column < received_ ? &at(r, column) : nullptr;
    };
    double du[3], dv[3];
    if (!difference(centre, reach_, alongRow, du) || !difference(centre, reach_, alongColumn, dv))
        return false;
    const double n[3] = {du[1] * dv[2] - du[2] * dv[1], du[2] * dv[0] - du[0] * dv[2],
                         du[0] * dv[1] - du[1] * dv[0]};
    const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (!(length > 0)) return false;
    const double toScanner[3] = {scanner_[0] - centre.xyz[0], scanner_[1] - centre.xyz[1],
                                 scanner_[2] - centre.xyz[2]};
    const double sign =
        n[0] * toScanner[0] + n[1] * toScanner[1] + n[2] * toScanner[2] < 0 ? -1.0 : 1.0;
    for (int a = 0; a < 3; ++a) normal[a] = static_cast<float>(sign * n[a] / length);
    return true;
}

void GridNormals::emitRow(int64_t row) {
    for (int64_t column = 0; column < columns_ && row * columns_ + column < received_; ++column) {
        PendingPoint point = at(row, column);
        if (!point.isNull && !estimate(row, column, point.normal))
            normalTowardScanner(point.xyz, scanner_, point.normal);
        sink_(point);
    }
}

}  // namespace noxwriter
