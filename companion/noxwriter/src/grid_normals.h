#pragma once
// Normals for grid clouds from their grid neighbours. Points arrive row by row (column index
// fastest); a point's normal needs the rows `reach` above and below it, so the estimator holds
// 2*reach+1 rows and hands each row on once the rows below it have arrived. Memory depends on
// the row length only, never on the number of rows.
#include <cstdint>
#include <functional>
#include <vector>

#include "pending_point.h"

namespace noxwriter {

class GridNormals {
public:
    using Sink = std::function<void(const PendingPoint&)>;
    // `scanner` is the scanner position in the stored frame, used to orient normals.
    GridNormals(int32_t rows, int32_t columns, int reach, const double scanner[3], Sink sink);

    void add(const PendingPoint& point);
    // Hands on the rows still held (call once all rows x columns points were added).
    void finish();

private:
    const PendingPoint& at(int64_t row, int64_t column) const;
    void emitRow(int64_t row);
    bool estimate(int64_t row, int64_t column, float normal[3]) const;

    int64_t rows_, columns_;
    int reach_;
    int64_t window_;
    double scanner_[3];
    Sink sink_;
    std::vector<PendingPoint> ring_;
    int64_t received_ = 0;
    int64_t nextRowToEmit_ = 0;
};

}  // namespace noxwriter
