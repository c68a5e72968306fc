#pragma once

#include <cstdint>
#include <new>
#include <string>

#include "handlers/file_type_handler.h"
#include "writer/conversion_failure.h"
#include "writer/output_plan.h"

namespace ks_formats {

// The file percentage a handler reports: whole percent of `done` out of `total` (points or
// bytes), rounded down. A total of 0, or more done than the total claims, counts as finished
// rather than dividing by zero or passing 100.
//
// 100 x done can pass 64 bits, and 32-bit targets have no 128-bit integer, so the two decimal
// digits are found by long division: each digit adds the remainder ten times modulo the total,
// counting how often it wraps. The remainder stays below the total, so nothing overflows.
inline int filePercent(uint64_t done, uint64_t total) {
    if (total == 0 || done >= total) return 100;
    int percent = 0;
    uint64_t remainder = done;
    for (int digit = 0; digit < 2; ++digit) {
        int times = 0;
        uint64_t next = 0;
        for (int i = 0; i < 10; ++i) {
            if (next >= total - remainder) {
                next -= total - remainder;
                ++times;
            } else {
                next += remainder;
            }
        }
        percent = percent * 10 + times;
        remainder = next;
    }
    return percent;
}

// Runs body, a handler's import, as the handlers' one boundary: a ConversionFailure raised inside
// is reported through the batch with its codes and reason, running out of memory as a read
// failure of the file at path. True when body answered true.
template <typename Body>
bool guardedImport(ImportBatch& batch, const WideChar* path, Body&& body);

class ScanImport;

// Where a point source sends its points: through the handler's point filter to the writer,
// counted for the feedback cadence. Each call answers false when the import must stop (a cancel
// seen at a feedback point); a source stops reading then, or at the end of its block.
class PointOutput {
public:
    bool point(double* xyz, uint8_t* rgb, int16_t intensity, float* normal, uint8_t classification);
    bool nullPoint();

private:
    friend class ScanImport;
    PointOutput(ScanImport& flow, FileTypeHandler& handler) : flow_(flow), handler_(handler) {}
    bool counted();

    ScanImport& flow_;
    FileTypeHandler& handler_;
};

// One scan's points, opened and with its buffers, as the shared import flow reads them.
class PointSource {
public:
    virtual ~PointSource() = default;
    // Sends the next points to out; false when the source has no more.
    virtual bool readSome(PointOutput& out) = 0;
    // How far the reading is, 0 to 100, for the feedback.
    virtual int filePercent() const = 0;
    // The points are all read: buffers go before the output is built (a build needs memory).
    virtual void endReading() {}
    // After the output: raises a ConversionFailure when the source ended before its data did,
    // so a damaged file is reported although its points before the damage were written.
    virtual void checkWholeRead() const {}
};

// The import flow every point-reading handler shares: the scan's own output in per-scan mode
// (OutputPlan), the cloud with the unit-scaled scan matrix, the points with the feedback cadence
// and the cancel check, and the finish.
class ScanImport {
public:
    ScanImport(ImportBatch& batch, FileTypeHandler& handler, const Matrix4d& scanMatrix);

    // Factor from metres to output units, applied to every position and to the translation.
    double scale() const { return scale_; }
    const Matrix4d& cloudMatrix() const { return cloudMatrix_; }

    struct CloudSetup {
        const WideChar* outputInputName;  // input name the per-scan output is named after
        int outputIndex;                  // scan number in the per-scan output name, -1 none
        uint32_t cloudFlags;
        const WideChar* cloudName;  // null: an unnamed cloud
        int32_t rows = 0;           // grid size, 0 x 0 for unstructured sources
        int32_t columns = 0;
        uint32_t extraGroupFlags = 0;  // per-scan group flags beyond normalise intensities
        float autoTolerance = 0.001f;  // tolerance when the batch asks for the automatic one
        const WideChar* groupName = KS_WIDE("Scan(Single)");  // the per-scan output's group
        bool withMatrix = true;  // false: the cloud goes without a matrix
        // At a feedback point the cancel flag is read after the progress report (a cancel
        // from the host's progress callback stops at once), or before it.
        bool cancelBeforeReport = false;
    };
    // Runs the scan: output and cloud, every point of source, then the finish. A cancel is
    // reported through the batch and leaves per-scan output unbuilt. True when the whole scan
    // was written; failures raised inside are left to guardedImport.
    bool run(const CloudSetup& setup, PointSource& source);

    uint64_t handledPoints() const { return handled_; }
    bool cancelled() const { return cancelled_; }

private:
    friend class PointOutput;
    // At a feedback point: reports the file percentage and reads the cancel flag.
    void feedback();

    ImportBatch& batch_;
    FileTypeHandler& handler_;
    OutputPlan plan_;
    double scale_;
    Matrix4d cloudMatrix_;
    unsigned long feedbackEvery_;
    uint64_t handled_ = 0;
    bool cancelBeforeReport_ = false;
    bool cancelled_ = false;
    const PointSource* source_ = nullptr;
};

// --- implementation ---

namespace detail {
// Reports failure through batch, or "path: out of memory" when failure is null.
void reportImportFailure(ImportBatch& batch, const WideChar* path, const std::exception* failure);
}  // namespace detail

template <typename Body>
bool guardedImport(ImportBatch& batch, const WideChar* path, Body&& body) {
    try {
        return body();
    } catch (const ConversionFailure& failure) {
        detail::reportImportFailure(batch, path, &failure);
    } catch (const std::bad_alloc&) {
        detail::reportImportFailure(batch, path, nullptr);
    }
    return false;
}

inline bool PointOutput::counted() {
    if (++flow_.handled_ % flow_.feedbackEvery_ == 0) flow_.feedback();
    return !flow_.cancelled_;
}

inline bool PointOutput::point(double* xyz, uint8_t* rgb, int16_t intensity, float* normal,
                               uint8_t classification) {
    handler_.emitPoint(xyz, rgb, intensity, normal, classification);
    return counted();
}

inline bool PointOutput::nullPoint() {
    writerLibrary().addNullPoint();
    return counted();
}

}  // namespace ks_formats
