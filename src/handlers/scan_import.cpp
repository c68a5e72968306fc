#include "handlers/scan_import.h"

#include "batch/batch_diagnostics.h"
#include "ks_common/text_encoding.h"

namespace ks_formats {

namespace detail {

void reportImportFailure(ImportBatch& batch, const WideChar* path, const std::exception* failure) {
    if (const auto* raised = dynamic_cast<const ConversionFailure*>(failure))
        diagnostics::reportFailureUtf8(&batch, raised->result(), raised->phase(), raised->what());
    else
        diagnostics::reportFailureUtf8(&batch, ResultFailed, PhaseRead,
                                       ks_common::toUtf8(path) + ": out of memory");
}

}  // namespace detail

ScanImport::ScanImport(ImportBatch& batch, FileTypeHandler& handler, const Matrix4d& scanMatrix)
    : batch_(batch),
      handler_(handler),
      plan_(batch),
      scale_(1.0 / batch.getUnitsPerMeter()),
      cloudMatrix_(scanMatrix),
      feedbackEvery_(batch._getFeedbackCount() ? batch._getFeedbackCount() : 1) {
    for (int row = 0; row < 3; ++row) cloudMatrix_(row, 3) *= scale_;
}

void ScanImport::feedback() {
    if (cancelBeforeReport_) cancelled_ = batch_._getCancel();
    batch_._progress(source_->filePercent());
    if (!cancelBeforeReport_) cancelled_ = batch_._getCancel();
}

bool ScanImport::run(const CloudSetup& setup, PointSource& source) {
    source_ = &source;
    cancelBeforeReport_ = setup.cancelBeforeReport;
    plan_.beginScan({.inputName = setup.outputInputName,
                     .index = setup.outputIndex,
                     .groupName = setup.groupName,
                     .groupFlags = setup.extraGroupFlags,
                     .autoTolerance = setup.autoTolerance});
    writerLibrary().addCloud(setup.cloudFlags, setup.cloudName,
                             setup.withMatrix ? cloudMatrix_.data() : nullptr, setup.rows,
                             setup.columns);

    PointOutput out(*this, handler_);
    while (!cancelled_ && source.readSome(out)) {
    }
    source.endReading();
    if (cancelled_) {
        batch_._error(ResultCancelled, PhaseRead);
        return false;
    }
    bool built = true;
    try {
        plan_.finishScan();
    } catch (const ConversionFailure& failure) {
        // A failed build is the scan's output failing; its reading may have failed as well.
        diagnostics::reportFailureUtf8(&batch_, failure.result(), failure.phase(), failure.what());
        built = false;
    }
    source.checkWholeRead();
    return built;
}

}  // namespace ks_formats
