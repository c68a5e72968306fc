// ConvertBatchToNOX: expands the batch, opens the output streams the batch mode asks for, hands
// every included import file to its handler, sets the audit tags and builds the files.
#include <exception>
#include <new>
#include <string>

#include "api/handler_registry.h"
#include "batch/batch_diagnostics.h"
#include "batch/current_batch.h"
#include "ks_common/text_encoding.h"
#include "ks_formats/api.h"
#include "platform/input_file.h"
#include "writer/conversion_failure.h"
#include "writer/output_plan.h"
#include "writer/writer_library.h"

namespace ks_formats {
namespace {

// A batch holding exactly one import file is offered as a project. When the file is no project
// (or one that cannot be read) it keeps its entry as the host left it: its include flag and its
// registration matrix still apply.
void expandProject(ImportBatch& batch) {
    if (batch.numImportFiles() != 1) return;
    const ScanInfo entry = *static_cast<const ScanInfo*>(batch._getScanInfo(0));
    const WideString name(entry.getFilename());
    batch.removeImportFiles();
    if (CreateBatchFromProject(&batch, name.c_str()) == ResultSuccess) return;
    batch.addImportFile(name.c_str());
    auto* restored = static_cast<ScanInfo*>(
        batch._getScanInfo(static_cast<unsigned>(batch.numImportFiles() - 1)));
    if (restored) *restored = entry;
}

std::string utf8(const WideChar* text) { return ks_common::toUtf8(text); }

// A handler reports its own failures, but one that throws, or answers false without a word, has
// failed its file too: such a file is reported here as (2, 2), so a host never sees a file that
// was not converted pass as converted. Either way the conversion goes on with the next file.
// True when the file converted without a failure.
bool runImport(FileTypeHandler& handler, ImportBatch& batch, ScanInfo& scan) {
    // Taken before the import: a host that adds import files from a callback may move the entry.
    const std::string name = utf8(scan.getFilename());
    handler.setPointsFilter(batch.getPointsFilterCallback());
    const unsigned long errorsBefore = batch._getErrorCount();
    bool imported = false;
    std::string thrown;
    try {
        imported = handler.import(&batch, &scan);
    } catch (const std::bad_alloc&) {
        thrown = "out of memory while converting " + name;
    } catch (const std::exception& error) {
        thrown = name + ": the reader stopped: " + error.what();
    } catch (...) {
        thrown = name + ": the reader stopped on an unknown exception";
    }
    handler.setPointsFilter(nullptr);
    const bool reported = batch._getErrorCount() != errorsBefore;
    if (!thrown.empty())
        diagnostics::reportFailureUtf8(&batch, ResultFailed, PhaseRead, thrown);
    else if (!imported && !reported)
        diagnostics::reportFailureUtf8(&batch, ResultFailed, PhaseRead,
                                       name + ": the reader gave up without saying why");
    return imported && thrown.empty() && !reported;
}

const char* batchModeWords(int mode) {
    switch (mode) {
        case BatchModePerScan:
            return "one file per scan";
        case BatchModePerFile:
            return "one file per input file";
        default:
            return "one file for the whole batch";
    }
}

void report(ImportBatch& batch, const ConversionFailure& failure) {
    diagnostics::reportFailureUtf8(&batch, failure.result(), failure.phase(), failure.what());
}

// A batch that cannot convert as asked is refused before anything is opened or written.
void refuseUnusableBatch(const ImportBatch& batch) {
    const int mode = batch.getBatchMode();
    if (mode != BatchModePerScan && mode != BatchModePerFile && mode != BatchModeSingleFile)
        throw ConversionFailure(ResultFailed, PhaseRead,
                                "batch mode " + std::to_string(mode) + " is none of 1 (" +
                                    batchModeWords(1) + "), 2 (" + batchModeWords(2) + ") and 3 (" +
                                    batchModeWords(3) + ")");
    if (const size_t units = diagnostics::overlongOutputNameUnits(&batch))
        throw ConversionFailure(ResultOutputFailed, PhaseRead,
                                "the output name given is " + std::to_string(units) +
                                    " units long; at most " + std::to_string(kPathBufferUnits - 1) +
                                    " fit");
}

// One conversion of a batch. Failures that end it are raised as ConversionFailure and reported
// once, in run(); a failure of one import file is reported where it is found and the loop goes
// on with the next file.
class Conversion {
public:
    explicit Conversion(ImportBatch& batch) : batch_(batch), plan_(batch) {}

    Result run() {
        Result result;
        try {
            result = convert();
        } catch (const ConversionFailure& failure) {
            report(batch_, failure);
            // The whole batch's build failing ends the conversion the same way as its success.
            if (failure.phase() == PhaseWrite) setCurrentBatch(nullptr);
            result = failure.result();
        }
        // A conversion that stopped early (cancelled, or a failure) leaves its stream unbuilt;
        // discarding it now removes the writer's partial file instead of leaving it until the
        // next conversion.
        OutputPlan::abandon();
        return result;
    }

private:
    Result convert() {
        setCurrentBatch(&batch_);
        diagnostics::beginConversion(&batch_);
        refuseUnusableBatch(batch_);
        expandProject(batch_);
        batch_._initializeConvert();
        batch_.extractFilePaths();
        plan_ = OutputPlan(batch_);

        plan_.beginConversion();
        // The read phase gets the whole bar, or 70 percent when a final build follows.
        readBudget_ = plan_.mode() == BatchModeSingleFile ? 70 : 100;
        if (batch_.numImportFiles() > 0)
            batch_._setReadPhasePercentagePerFile(readBudget_ / batch_.numImportFiles());
        share_ = static_cast<float>(batch_._getReadPhasePercentagePerFile());

        for (int index = 0; index < batch_.numImportFiles(); ++index) {
            if (batch_._getCancel()) break;
            convertFile(index);
        }
        if (batch_._getCancel()) return ResultCancelled;
        return finish();
    }

    // Converts one import file. A failure of the file alone is reported and the loop goes on;
    // one of its output stream ends the conversion.
    void convertFile(int index) {
        batch_._setCurrentFilename(batch_.getImportFilename(index));
        batch_._setTotalProgressPercentage(static_cast<int>(index * share_));
        batch_._setCurrentFileIndex(index);
        auto* scan = static_cast<ScanInfo*>(batch_._getScanInfo(static_cast<unsigned>(index)));
        if (!scan) return;
        if (!scan->getIncluded()) {
            diagnostics::recordSkip(&batch_, SkipExcluded,
                                    "left out: the input is marked as not included");
            return;
        }

        const WideString fileName(scan->getFilename());
        FileTypeHandler* handler = findHandlerForName(fileName.c_str());
        if (!handler) {
            const auto name = ks_common::wideView(fileName.c_str());
            report(
                batch_,
                ConversionFailure(
                    ResultUnsupportedFileType, PhaseRead, utf8(fileName.c_str()),
                    "no reader converts files ending in \"" +
                        ks_common::encodeUtf8(name.substr(name.size() < 3 ? 0 : name.size() - 3)) +
                        "\" (point streams end in rxp, grid scans in 3dd, point databases in rdb, "
                        "projects in rsp)"));
            return;
        }
        if (std::string why = platform::describeNonRegularFile(utf8(fileName.c_str()));
            !why.empty()) {
            report(batch_, ConversionFailure(ResultCannotOpenFile, PhaseRead, why));
            return;
        }
        plan_.beginFile(fileName.c_str());
        plan_.tagScanPath(fileName.c_str());
        const int skipsBefore = GetNumSkippedInputs(&batch_);
        const bool converted = runImport(*handler, batch_, *scan);
        const bool leftOut = GetNumSkippedInputs(&batch_) != skipsBefore;
        if (batch_._getCancel()) return;

        plan_.tagScanCount();
        // A file whose import failed gets no output file: its failure is reported already. One
        // left out on purpose (a grid scan below the minimum size) gets none either.
        plan_.finishFile(fileName.c_str(), converted && !leftOut);
    }

    Result finish() {
        batch_._setTotalProgressPercentage(readBudget_);
        batch_._progressWrite(readBudget_);
        plan_.finishConversion();
        if (plan_.mode() == BatchModeSingleFile) setCurrentBatch(nullptr);
        batch_._setTotalProgressPercentage(100);
        batch_._progressWrite(100);
        return ResultSuccess;
    }

    ImportBatch& batch_;
    OutputPlan plan_;  // made again once the batch's settings are final
    int readBudget_ = 100;
    float share_ = 0;
};

}  // namespace

Result ConvertBatchToNOX(ImportBatch* batch) {
    if (!batch) return ResultInvalidBatch;
    if (!writerLibrary().bound) return ResultFailed;
    // Out of memory or another fault outside the handlers: the conversion fails as a whole.
    std::string reason;
    try {
        return Conversion(*batch).run();
    } catch (const std::bad_alloc&) {
        reason = "out of memory";
    } catch (const std::exception& error) {
        reason = std::string("the conversion stopped: ") + error.what();
    } catch (...) {
        reason = "the conversion stopped on an unknown exception";
    }
    diagnostics::reportFailureUtf8(batch, ResultFailed, PhaseRead, reason);
    return ResultFailed;
}

}  // namespace ks_formats
