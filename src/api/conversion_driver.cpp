// ConvertBatchToNOX: expands the batch, opens the output streams the batch mode asks for, hands
// every included import file to its handler, sets the audit tags and builds the files.
#include <exception>
#include <new>
#include <string>

#include "api/handler_registry.h"
#include "batch/batch_diagnostics.h"
#include "batch/current_batch.h"
#include "batch/overlong_names.h"
#include "ks_common/text_encoding.h"
#include "ks_formats/api.h"
#include "platform/input_file.h"
#include "writer/output_stream.h"
#include "writer/writer_library.h"

namespace ks_formats {
namespace {

constexpr WideChar kNoInputName[] = {0};

uint32_t groupFlags(const ImportBatch& batch) {
    uint32_t flags = 0;
    if (batch.getCombineClouds()) flags |= KSIO_GROUP_COMBINE;
    if (batch.getGenerateNormals()) flags |= KSIO_GROUP_NORMALS;
    if (batch.getNormalizeIntensities()) flags |= KSIO_GROUP_NORMALISE;
    return flags;
}

// A batch holding exactly one import file is offered as a project; a file that is no project
// comes back as a fresh entry.
void expandProject(ImportBatch& batch) {
    if (batch.numImportFiles() != 1) return;
    const WideString name(batch.getImportFilename(0));
    batch.removeImportFiles();
    if (CreateBatchFromProject(&batch, name.c_str()) != ResultSuccess)
        batch.addImportFile(name.c_str());
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

std::string overlongName(const WideChar* name) {
    return "the output name " + utf8(name) + " is " +
           std::to_string(ks_common::wideView(name).size()) + " units long; at most " +
           std::to_string(kPathBufferUnits - 1) + " fit";
}

class Conversion {
public:
    Conversion(ImportBatch& batch) : batch_(batch), writer_(writerLibrary()) {}

    Result run() {
        const Result result = convert();
        // A conversion that stopped early (cancelled, or a failure) leaves its stream unbuilt;
        // discarding it now removes the writer's partial file instead of leaving it until the
        // next conversion.
        discardOutputStream();
        return result;
    }

private:
    Result convert() {
        setCurrentBatch(&batch_);
        diagnostics::beginConversion(&batch_);
        if (const Result r = refuseUnusableBatch(); r != ResultSuccess) return r;
        expandProject(batch_);
        batch_._initializeConvert();
        batch_.extractFilePaths();
        mode_ = batch_.getBatchMode();

        if (const Result r = setUp(); r != ResultSuccess) return fail(r, PhaseRead);
        for (int index = 0; index < batch_.numImportFiles(); ++index) {
            if (batch_._getCancel()) break;
            if (const Result r = convertFile(index); r != ResultSuccess) return r;
        }
        if (batch_._getCancel()) return ResultCancelled;
        return finish();
    }

    // Reports the failure with the reason the failing step left, and answers its code.
    Result fail(Result code, ConvertPhase phase) {
        diagnostics::reportFailureUtf8(&batch_, code, phase, reason_);
        reason_.clear();
        return code;
    }

    Result failWith(Result code, ConvertPhase phase, std::string reason) {
        reason_ = std::move(reason);
        return fail(code, phase);
    }

    // Keeps the writer's own words when one of its calls fails.
    Result checkWriter(const char* call, int32_t code) {
        if (code != ResultSuccess) {
            const WideChar* text = writer_.getLastError ? writer_.getLastError() : nullptr;
            reason_ = std::string("the writer's ") + call + " failed with code " +
                      std::to_string(code) + ": " +
                      (text && *text ? utf8(text) : std::string("no further text"));
        }
        return Result(code);
    }

    // A batch that cannot convert as asked is refused before anything is opened or written.
    Result refuseUnusableBatch() {
        const int mode = batch_.getBatchMode();
        if (mode != BatchModePerScan && mode != BatchModePerFile && mode != BatchModeSingleFile)
            return failWith(ResultFailed, PhaseRead,
                            "batch mode " + std::to_string(mode) + " is none of 1 (" +
                                batchModeWords(1) + "), 2 (" + batchModeWords(2) + ") and 3 (" +
                                batchModeWords(3) + ")");
        if (const size_t units = overlongOutputNameUnits(&batch_))
            return failWith(ResultOutputFailed, PhaseRead,
                            "the output name given is " + std::to_string(units) +
                                " units long; at most " + std::to_string(kPathBufferUnits - 1) +
                                " fit");
        return ResultSuccess;
    }

    // The output name for an import file (or the batch), refused when it does not fit the
    // current-output field instead of being cut to somewhere else.
    bool setOutputName(const WideChar* inputName) {
        const WideChar* name = batch_._getOutputFilename(inputName, -1);
        if (!fitsNameField(ks_common::wideView(name).size())) {
            reason_ = overlongName(name);
            return false;
        }
        batch_._setCurrentOutputFilename(name);
        return true;
    }

    Result setUp() {
        const float filtering = batch_.getSpatialFiltering();
        Result r = checkWriter("ksioSpatialFiltering",
                               writer_.spatialFiltering(filtering > 0 ? filtering : -1.0f, 1));
        if (r != ResultSuccess) return r;
        r = checkWriter("ksioSetCompressionTolerance",
                        writer_.setCompressionTolerance(batch_.getCompressionTolerance()));
        if (r != ResultSuccess) return r;
        if (mode_ == BatchModeSingleFile) {
            if (!setOutputName(kNoInputName)) return ResultOutputFailed;
            r = checkWriter("ksioStartStreamW",
                            startOutputStream(batch_._getCurrentOutputFilename()));
            if (r != ResultSuccess) return r;
            r = checkWriter("ksioAddGroupW",
                            writer_.addGroup(groupFlags(batch_), KS_WIDE("Group")));
            if (r != ResultSuccess) return r;
        }
        // The read phase gets the whole bar, or 70 percent when a final build follows.
        readBudget_ = mode_ == BatchModeSingleFile ? 70 : 100;
        if (batch_.numImportFiles() > 0)
            batch_._setReadPhasePercentagePerFile(readBudget_ / batch_.numImportFiles());
        share_ = static_cast<float>(batch_._getReadPhasePercentagePerFile());
        return ResultSuccess;
    }

    // Converts one import file; anything but success ends the conversion with that result.
    Result convertFile(int index) {
        batch_._setCurrentFilename(batch_.getImportFilename(index));
        batch_._setTotalProgressPercentage(static_cast<int>(index * share_));
        batch_._setCurrentFileIndex(index);
        auto* scan = static_cast<ScanInfo*>(batch_._getScanInfo(static_cast<unsigned>(index)));
        if (!scan) return ResultSuccess;
        if (!scan->getIncluded()) {
            diagnostics::recordSkip(&batch_, SkipExcluded,
                                    "left out: the input is marked as not included");
            return ResultSuccess;
        }

        const WideString fileName(scan->getFilename());
        FileTypeHandler* handler = findHandlerForName(fileName.c_str());
        if (!handler) {
            const auto name = ks_common::wideView(fileName.c_str());
            fail(ResultUnsupportedFileType, PhaseRead,
                 utf8(fileName.c_str()) + ": no reader converts files ending in \"" +
                     ks_common::encodeUtf8(name.substr(name.size() < 3 ? 0 : name.size() - 3)) +
                     "\" (point streams end in rxp, grid scans in 3dd, point databases in rdb, "
                     "projects in rsp)");
            return ResultSuccess;
        }
        if (std::string why = platform::describeNonRegularFile(utf8(fileName.c_str()));
            !why.empty()) {
            fail(ResultCannotOpenFile, PhaseRead, std::move(why));
            return ResultSuccess;
        }
        if (mode_ == BatchModePerFile) {
            if (!setOutputName(fileName.c_str())) return fail(ResultOutputFailed, PhaseRead);
            if (const int32_t started = startOutputStream(batch_._getCurrentOutputFilename());
                started != ResultSuccess) {
                checkWriter("ksioStartStreamW", started);
                return fail(ResultOutputFailed, PhaseRead);
            }
            writer_.addGroup(groupFlags(batch_), KS_WIDE("Point Cloud"));
        }
        writer_.setMetaTag(KS_WIDE("Audit.ScanPaths"), fileName.c_str());
        const int skipsBefore = GetNumSkippedInputs(&batch_);
        const bool converted = runImport(*handler, batch_, *scan);
        const bool leftOut = GetNumSkippedInputs(&batch_) != skipsBefore;
        if (batch_._getCancel()) return ResultSuccess;

        const WideString numScans = ks_common::asciiToWide(std::to_string(batch_.getNumScans()));
        writer_.setMetaTag(KS_WIDE("Audit.OriginalNumScans"), numScans.c_str());
        if (mode_ == BatchModePerFile) {
            // A file whose import failed gets no output file: its failure is reported already,
            // and an empty or partial file beside the good ones would pass for a conversion. One
            // left out on purpose (a grid scan below the minimum size) gets none either.
            if (!converted || leftOut) {
                discardOutputStream();
                return ResultSuccess;
            }
            endOutputStream();
            const Result built = checkWriter("ksioBuildNOXFile", buildOutputFile());
            if (built != ResultSuccess) return fail(built, PhaseRead);
            batch_._addExportedFile(batch_._getOutputFilename(fileName.c_str(), -1));
        }
        return ResultSuccess;
    }

    // Reports a failure of the current file and lets the conversion go on.
    void fail(Result code, ConvertPhase phase, std::string reason) {
        failWith(code, phase, std::move(reason));
    }

    Result finish() {
        batch_._setTotalProgressPercentage(readBudget_);
        batch_._progressWrite(readBudget_);
        if (mode_ == BatchModeSingleFile) {
            Result r = checkWriter("ksioEndStream", endOutputStream());
            if (r == ResultSuccess) r = checkWriter("ksioBuildNOXFile", buildOutputFile());
            if (r != ResultSuccess) {
                fail(r, PhaseWrite);
                setCurrentBatch(nullptr);
                return r;
            }
            batch_._addExportedFile(batch_._getOutputFilename(kNoInputName, -1));
            setCurrentBatch(nullptr);
        }
        batch_._setTotalProgressPercentage(100);
        batch_._progressWrite(100);
        return ResultSuccess;
    }

    ImportBatch& batch_;
    const WriterLibrary& writer_;
    std::string reason_;  // why the step that failed last failed
    BatchMode mode_ = BatchModeSingleFile;
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
