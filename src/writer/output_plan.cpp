#include "writer/output_plan.h"

#include <string>

#include "ks_common/text_encoding.h"
#include "writer/conversion_failure.h"
#include "writer/writer_library.h"

namespace ks_formats {
namespace {

constexpr WideChar kNoInputName[] = {0};

// The writer's one current stream: started and not yet built or discarded.
bool currentStreamOpen = false;

int32_t startStream(const WideChar* path) {
    const WriterLibrary& writer = writerLibrary();
    if (currentStreamOpen) writer.discardStream();
    currentStreamOpen = false;
    const int32_t result = writer.startStream(path);
    currentStreamOpen = result == ResultSuccess;
    return result;
}

int32_t buildStream() {
    currentStreamOpen = false;
    return writerLibrary().buildNOXFile();
}

// The writer's own words when one of its calls failed.
std::string writerFailure(const char* call, int32_t code) {
    const WriterLibrary& writer = writerLibrary();
    const WideChar* text = writer.getLastError ? writer.getLastError() : nullptr;
    return std::string("the writer's ") + call + " failed with code " + std::to_string(code) +
           ": " + (text && *text ? ks_common::toUtf8(text) : std::string("no further text"));
}

// Raises a writer result other than success with the writer's code, or with `as` when given.
void check(const char* call, int32_t code, ConvertPhase phase, Result as = Result(0)) {
    if (code != ResultSuccess)
        throw ConversionFailure(as ? as : Result(code), phase, writerFailure(call, code));
}

}  // namespace

OutputPlan::OutputPlan(ImportBatch& batch) : batch_(&batch), mode_(batch.getBatchMode()) {}

uint32_t OutputPlan::groupFlags() const {
    uint32_t flags = 0;
    if (batch_->getCombineClouds()) flags |= KSIO_GROUP_COMBINE;
    if (batch_->getGenerateNormals()) flags |= KSIO_GROUP_NORMALS;
    if (batch_->getNormalizeIntensities()) flags |= KSIO_GROUP_NORMALISE;
    return flags;
}

void OutputPlan::nameOutput(const WideChar* inputName, int index) {
    const WideChar* name = batch_->_getOutputFilename(inputName, index);
    const size_t units = ks_common::wideView(name).size();
    if (!fitsNameField(units))
        throw ConversionFailure(ResultOutputFailed, PhaseRead,
                                "the output name " + ks_common::toUtf8(name) + " is " +
                                    std::to_string(units) + " units long; at most " +
                                    std::to_string(kPathBufferUnits - 1) + " fit");
    batch_->_setCurrentOutputFilename(name);
}

void OutputPlan::beginConversion() {
    const WriterLibrary& writer = writerLibrary();
    const float filtering = batch_->getSpatialFiltering();
    check("ksioSpatialFiltering", writer.spatialFiltering(filtering > 0 ? filtering : -1.0f, 1),
          PhaseRead);
    check("ksioSetCompressionTolerance",
          writer.setCompressionTolerance(batch_->getCompressionTolerance()), PhaseRead);
    if (mode_ != BatchModeSingleFile) return;
    nameOutput(kNoInputName, -1);
    check("ksioStartStreamW", startStream(batch_->_getCurrentOutputFilename()), PhaseRead);
    check("ksioAddGroupW", writer.addGroup(groupFlags(), KS_WIDE("Group")), PhaseRead);
}

void OutputPlan::beginFile(const WideChar* fileName) {
    if (mode_ != BatchModePerFile) return;
    nameOutput(fileName, -1);  // an overlong name is raised as ResultOutputFailed already
    check("ksioStartStreamW", startStream(batch_->_getCurrentOutputFilename()), PhaseRead,
          ResultOutputFailed);
    // The file's group cannot fail alone: a writer that refuses it refuses the build too.
    writerLibrary().addGroup(groupFlags(), KS_WIDE("Point Cloud"));
}

void OutputPlan::tagScanPath(const WideChar* fileName) {
    writerLibrary().setMetaTag(KS_WIDE("Audit.ScanPaths"), fileName);
}

void OutputPlan::tagScanCount() {
    const WideString count = ks_common::asciiToWide(std::to_string(batch_->getNumScans()));
    writerLibrary().setMetaTag(KS_WIDE("Audit.OriginalNumScans"), count.c_str());
}

void OutputPlan::finishFile(const WideChar* fileName, bool withOutput) {
    if (mode_ != BatchModePerFile) return;
    // An empty or partial file beside the good ones would pass for a conversion.
    if (!withOutput) {
        abandon();
        return;
    }
    writerLibrary().endStream();
    check("ksioBuildNOXFile", buildStream(), PhaseRead);
    batch_->_addExportedFile(batch_->_getOutputFilename(fileName, -1));
}

void OutputPlan::finishConversion() {
    if (mode_ != BatchModeSingleFile) return;
    check("ksioEndStream", writerLibrary().endStream(), PhaseWrite);
    check("ksioBuildNOXFile", buildStream(), PhaseWrite);
    batch_->_addExportedFile(batch_->_getOutputFilename(kNoInputName, -1));
}

void OutputPlan::beginScan(const ScanStream& scan) {
    if (mode_ != BatchModePerScan) return;
    nameOutput(scan.inputName, scan.index);
    const WriterLibrary& writer = writerLibrary();
    // The scan's stream takes what the writer gives: a refused start shows as a failed build.
    startStream(batch_->_getCurrentOutputFilename());
    writer.setCompressionTolerance(batch_->useAutoCompressTolerance()
                                       ? scan.autoTolerance
                                       : batch_->getCompressionTolerance());
    uint32_t flags = scan.groupFlags;
    if (batch_->getNormalizeIntensities()) flags |= KSIO_GROUP_NORMALISE;
    writer.addGroup(flags, scan.groupName);
}

void OutputPlan::finishScan() {
    if (mode_ != BatchModePerScan) return;
    writerLibrary().endStream();
    // Only a file the writer built is recorded as written.
    check("ksioBuildNOXFile", buildStream(), PhaseWrite);
    batch_->_addExportedFile(batch_->_getCurrentOutputFilename());
}

void OutputPlan::abandon() {
    if (currentStreamOpen) writerLibrary().discardStream();
    currentStreamOpen = false;
}

bool OutputPlan::streamOpen() { return currentStreamOpen; }

}  // namespace ks_formats
