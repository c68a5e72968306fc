#pragma once

#include <cstdint>

#include "handlers/file_type_handler.h"

namespace ks_formats {

// What every point-reading handler does around its own reading, kept in one place: the output
// stream of its own in per-scan mode, the cloud with the unit-scaled scan matrix, the feedback
// cadence with the cancel check, and the finish.
class ScanImport {
public:
    ScanImport(ImportBatch& batch, const Matrix4d& scanMatrix);

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
    };
    // In per-scan mode starts the handler's own stream with its group; then adds the cloud.
    // False when the per-scan output name does not fit a name field: that is reported, and
    // nothing is written for the scan.
    [[nodiscard]] bool beginCloud(const CloudSetup& setup);

    // Counts one handled point (written or null); true when it lands on a feedback point.
    bool countPoint() { return ++handled_ % feedbackEvery_ == 0; }
    uint64_t handledPoints() const { return handled_; }
    // At a feedback point: reports the file percentage, then reads the cancel flag.
    // True when the import must stop.
    bool reportAndCheckCancel(int filePercent);
    // The same in the other order, for readers that poll the flag before they report: reads the
    // cancel flag, then reports the file percentage. True when the import must stop.
    bool checkCancelThenReport(int filePercent);
    bool cancelled() const { return cancelled_; }

    // Reports the cancel through the batch; per-scan output stays unbuilt. Answers false.
    bool finishCancelled();
    // Per-scan mode: ends and builds the handler's own stream and records the file under
    // exportedName, or reports the writer's code in the write phase when the build fails.
    // Does nothing in the other modes.
    void finishOutput(const WideChar* exportedName);
    bool ownsOutput() const { return ownsOutput_; }
    const WideChar* outputName() const { return batch_._getCurrentOutputFilename(); }

private:
    ImportBatch& batch_;
    double scale_;
    Matrix4d cloudMatrix_;
    unsigned long feedbackEvery_;
    uint64_t handled_ = 0;
    bool cancelled_ = false;
    bool ownsOutput_ = false;
};

}  // namespace ks_formats
