// ConvertBatchToNOX: expands the batch, opens the output streams the batch mode asks for, hands
// every included import file to its handler, sets the audit tags and builds the files.
#include <new>
#include <string>

#include "api/output_stream.h"
#include "api/writer_library.h"
#include "batch/current_batch.h"
#include "handlers/handler_registry.h"
#include "ks_common/text_encoding.h"
#include "ks_formats/api.h"

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

// A handler reports its own failures, but several of them fail quietly (an unreadable or
// damaged file, a name they cannot reach): such a file is reported here as (2, 2), so a host
// never sees a file that was not converted pass as converted. One that throws has failed its
// file too. Either way the conversion goes on with the next file.
void runImport(FileTypeHandler& handler, ImportBatch& batch, ScanInfo& scan) {
    handler.setPointsFilter(batch.getPointsFilterCallback());
    const unsigned long errorsBefore = batch._getErrorCount();
    bool imported = false;
    try {
        imported = handler.import(&batch, &scan);
    } catch (...) {
    }
    if (!imported && batch._getErrorCount() == errorsBefore) batch._error(ResultFailed, PhaseRead);
    handler.setPointsFilter(nullptr);
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

    Result fail(Result code, ConvertPhase phase) {
        batch_._error(code, phase);
        return code;
    }

    Result setUp() {
        const float filtering = batch_.getSpatialFiltering();
        Result r = Result(writer_.spatialFiltering(filtering > 0 ? filtering : -1.0f, 1));
        if (r != ResultSuccess) return r;
        r = Result(writer_.setCompressionTolerance(batch_.getCompressionTolerance()));
        if (r != ResultSuccess) return r;
        if (mode_ == BatchModeSingleFile) {
            batch_._setCurrentOutputFilename(batch_._getOutputFilename(kNoInputName, -1));
            r = Result(startOutputStream(batch_._getCurrentOutputFilename()));
            if (r != ResultSuccess) return r;
            r = Result(writer_.addGroup(groupFlags(batch_), u"Group"));
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
        if (!scan || !scan->getIncluded()) return ResultSuccess;

        const WideString fileName(scan->getFilename());
        FileTypeHandler* handler = findHandlerForName(fileName.c_str());
        if (!handler) {
            batch_._error(ResultUnsupportedFileType, PhaseRead);
            return ResultSuccess;
        }
        if (mode_ == BatchModePerFile) {
            batch_._setCurrentOutputFilename(batch_._getOutputFilename(fileName.c_str(), -1));
            if (startOutputStream(batch_._getCurrentOutputFilename()) != ResultSuccess)
                return fail(ResultOutputFailed, PhaseRead);
            writer_.addGroup(groupFlags(batch_), u"Point Cloud");
        }
        writer_.setMetaTag(u"Audit.ScanPaths", fileName.c_str());
        runImport(*handler, batch_, *scan);
        if (batch_._getCancel()) return ResultSuccess;

        const WideString numScans = ks_common::asciiToWide(std::to_string(batch_.getNumScans()));
        writer_.setMetaTag(u"Audit.OriginalNumScans", numScans.c_str());
        if (mode_ == BatchModePerFile) {
            endOutputStream();
            const Result built = Result(buildOutputFile());
            if (built != ResultSuccess) return fail(built, PhaseRead);
            batch_._addExportedFile(batch_._getOutputFilename(fileName.c_str(), -1));
        }
        return ResultSuccess;
    }

    Result finish() {
        batch_._setTotalProgressPercentage(readBudget_);
        batch_._progressWrite(readBudget_);
        if (mode_ == BatchModeSingleFile) {
            Result r = Result(endOutputStream());
            if (r == ResultSuccess) r = Result(buildOutputFile());
            if (r != ResultSuccess) {
                batch_._error(r, PhaseWrite);
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
    BatchMode mode_ = BatchModeSingleFile;
    int readBudget_ = 100;
    float share_ = 0;
};

}  // namespace

Result ConvertBatchToNOX(ImportBatch* batch) {
    if (!batch) return ResultInvalidBatch;
    if (!writerLibrary().bound) return ResultFailed;
    try {
        return Conversion(*batch).run();
    } catch (...) {
        // Out of memory or another fault outside the handlers: the conversion fails as a whole.
        batch->_error(ResultFailed, PhaseRead);
        return ResultFailed;
    }
}

}  // namespace ks_formats
