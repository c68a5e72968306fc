#include "handlers/scan_import.h"

#include "batch/batch_diagnostics.h"
#include "batch/overlong_names.h"
#include "ks_common/text_encoding.h"
#include "writer/output_stream.h"

namespace ks_formats {

ScanImport::ScanImport(ImportBatch& batch, const Matrix4d& scanMatrix)
    : batch_(batch),
      scale_(1.0 / batch.getUnitsPerMeter()),
      cloudMatrix_(scanMatrix),
      feedbackEvery_(batch._getFeedbackCount() ? batch._getFeedbackCount() : 1) {
    for (int row = 0; row < 3; ++row) cloudMatrix_(row, 3) *= scale_;
}

bool ScanImport::beginCloud(const CloudSetup& setup) {
    const WriterLibrary& writer = writerLibrary();
    if (batch_.getBatchMode() == BatchModePerScan) {
        const WideChar* name = batch_._getOutputFilename(setup.outputInputName, setup.outputIndex);
        const size_t units = ks_common::wideView(name).size();
        if (!fitsNameField(units)) {
            // Cut to fit, the name would send the file somewhere the host never named.
            diagnostics::reportFailureUtf8(&batch_, ResultOutputFailed, PhaseRead,
                                           "the output name " + ks_common::toUtf8(name) + " is " +
                                               std::to_string(units) + " units long; at most " +
                                               std::to_string(kPathBufferUnits - 1) + " fit");
            return false;
        }
        batch_._setCurrentOutputFilename(name);
        startOutputStream(batch_._getCurrentOutputFilename());
        ownsOutput_ = true;
        writer.setCompressionTolerance(batch_.useAutoCompressTolerance()
                                           ? setup.autoTolerance
                                           : batch_.getCompressionTolerance());
        uint32_t groupFlags = setup.extraGroupFlags;
        if (batch_.getNormalizeIntensities()) groupFlags |= KSIO_GROUP_NORMALISE;
        writer.addGroup(groupFlags, setup.groupName);
    }
    writer.addCloud(setup.cloudFlags, setup.cloudName,
                    setup.withMatrix ? cloudMatrix_.data() : nullptr, setup.rows, setup.columns);
    return true;
}

bool ScanImport::reportAndCheckCancel(int filePercent) {
    batch_._progress(filePercent);
    cancelled_ = batch_._getCancel();
    return cancelled_;
}

bool ScanImport::checkCancelThenReport(int filePercent) {
    cancelled_ = batch_._getCancel();
    batch_._progress(filePercent);
    return cancelled_;
}

bool ScanImport::finishCancelled() {
    batch_._error(ResultCancelled, PhaseRead);
    return false;
}

void ScanImport::finishOutput(const WideChar* exportedName) {
    if (!ownsOutput_) return;
    endOutputStream();
    // Only a file the writer built is recorded as written; a failed build (a full disk, an
    // unwritable folder) is reported with the writer's code instead.
    const int32_t built = buildOutputFile();
    if (built == ResultSuccess)
        batch_._addExportedFile(exportedName);
    else
        batch_._error(static_cast<Result>(built), PhaseWrite);
}

}  // namespace ks_formats
