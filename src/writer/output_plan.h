#pragma once

#include <cstdint>

#include "ks_formats/import_batch.h"

namespace ks_formats {

// True when a name of this many units fits a 512-unit name field with its terminating zero.
constexpr bool fitsNameField(size_t units) { return units < size_t(kPathBufferUnits); }

// The one owner of a conversion's output files. Built from the batch, it alone starts, names,
// tags, builds and discards the writer's streams and records the files written; the driver and
// the handlers ask it at their steps and it acts for the batch mode:
//   whole batch: one stream for the conversion, started before the first file, group "Group";
//   per file:    one stream for each import file, group "Point Cloud";
//   per scan:    one stream for each scan, started when the scan's import begins, with the group
//                that import names.
// The writer holds one current stream for the whole process; a stream an earlier conversion left
// open (cancelled, or failed) is discarded before the next one starts, so none of its clouds
// leak into another file. Failures are raised as ConversionFailure with the writer's own words.
class OutputPlan {
public:
    explicit OutputPlan(ImportBatch& batch);

    BatchMode mode() const { return mode_; }

    // Before the file loop: the writer's spatial filtering and compression tolerance, and the
    // whole batch's stream with its group. Raised in the read phase.
    void beginConversion();
    // Per file: the file's stream and its group. Any failure is raised as ResultOutputFailed.
    void beginFile(const WideChar* fileName);
    // The audit tags, in every mode, into whichever stream is open.
    void tagScanPath(const WideChar* fileName);
    void tagScanCount();
    // Per file: builds the file's stream and records it, or discards it when the file gave no
    // output (its import failed, or it was left out on purpose).
    void finishFile(const WideChar* fileName, bool withOutput);
    // After the loop: ends and builds the whole batch's stream and records it (write phase).
    void finishConversion();

    // What a scan's own stream needs in per-scan mode.
    struct ScanStream {
        const WideChar* inputName;  // the input the output is named after
        int index;                  // scan number in the output name, -1 none
        const WideChar* groupName;
        uint32_t groupFlags;  // beyond normalise intensities, which the batch decides
        float autoTolerance;  // the tolerance when the batch asks for the automatic one
    };
    // Per scan: names and starts the scan's stream and adds its group; nothing in the other
    // modes. An output name that does not fit is raised as ResultOutputFailed.
    void beginScan(const ScanStream& scan);
    // Per scan: ends and builds the scan's stream and records it under the current output name;
    // a failed build is raised in the write phase. Nothing in the other modes.
    void finishScan();
    bool ownsScanStreams() const { return mode_ == BatchModePerScan; }

    // Discards a stream that was started but not built (a cancel, a failure): its partial file
    // goes with it.
    static void abandon();
    // True while a stream that was started is neither built nor discarded.
    static bool streamOpen();

private:
    // Computes the output name for an input (or the batch), refused when it does not fit the
    // current-output field rather than being cut to somewhere else, and makes it current.
    void nameOutput(const WideChar* inputName, int index);
    uint32_t groupFlags() const;

    ImportBatch* batch_;
    BatchMode mode_;
};

}  // namespace ks_formats
