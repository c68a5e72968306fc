#include "ks_formats/import_batch.h"

#include "api/writer_library.h"
#include "batch/batch_diagnostics.h"
#include "batch/current_batch.h"
#include "batch/overlong_names.h"
#include "batch/progress_channel.h"
#include "ks_common/fixed_text.h"
#include "ks_common/text_encoding.h"

namespace ks_formats {

ImportBatch::ImportBatch(const WideChar* creatorApp)
    : compressionTolerance(0.001f),
      spatialFiltering(-1.0f),
      generateNormals(false),
      includeIntensityFlag(true),
      includeRGBFlag(true),
      includeNormalsFlag(true),
      includeClassificationFlag(false),
      combineClouds(false),
      normalizeIntensities(false),
      recursiveSearch(false),
      minimumScanToImport(16),
      metresPerUnit(1.0),
      autoCompressTolerance(false),
      searchPathsExtracted(false),
      colourBits(ColorBit16),
      batchMode(BatchModeSingleFile),
      outputFilename{},
      currentFilename{},
      currentOutputFilename{},
      currentFileIndex(0),
      errorCount(0),
      feedback(nullptr),
      feedbackCount(50000),
      totalProgressPercentage(0),
      lastOverallPercentage(0),
      readPhasePercentagePerFile(0),
      numScans(0),
      cancelRequested(false),
      pointsFilter(nullptr),
      formatsFolder32{} {
    // The tag is writer state, not batch state. Before the writer is bound there is no one to
    // hand it to, and the batch is otherwise fully usable.
    const WriterLibrary& writer = writerLibrary();
    if (writer.bound) {
        const WideString tag = ks_common::asciiToWide("Audit.CreatorApp");
        const WideChar empty[] = {0};
        writer.setMetaTag(tag.c_str(), creatorApp ? creatorApp : empty);
    }
    progressChannel().open();
}

ImportBatch::ImportBatch(const ImportBatch& other) : cancelRequested(false) { copyFrom(other); }

ImportBatch& ImportBatch::operator=(const ImportBatch& other) {
    if (this != &other) copyFrom(other);
    return *this;
}

ImportBatch::~ImportBatch() {
    forgetBatch(this);
    diagnostics::forgetBatchDiagnostics(this);
    forgetOverlongOutputName(this);
    progressChannel().close();
}

void ImportBatch::copyFrom(const ImportBatch& other) {
    compressionTolerance = other.compressionTolerance;
    spatialFiltering = other.spatialFiltering;
    generateNormals = other.generateNormals;
    includeIntensityFlag = other.includeIntensityFlag;
    includeRGBFlag = other.includeRGBFlag;
    includeNormalsFlag = other.includeNormalsFlag;
    includeClassificationFlag = other.includeClassificationFlag;
    combineClouds = other.combineClouds;
    normalizeIntensities = other.normalizeIntensities;
    recursiveSearch = other.recursiveSearch;
    minimumScanToImport = other.minimumScanToImport;
    metresPerUnit = other.metresPerUnit;
    autoCompressTolerance = other.autoCompressTolerance;
    searchPathsExtracted = other.searchPathsExtracted;
    colourBits = other.colourBits;
    batchMode = other.batchMode;
    ks_common::copyToFixed(outputFilename, other.outputFilename);
    ks_common::copyToFixed(currentFilename, other.currentFilename);
    ks_common::copyToFixed(currentOutputFilename, other.currentOutputFilename);
    currentFileIndex = other.currentFileIndex;
    errorCount = other.errorCount;
    importFiles = other.importFiles;
    exportedFiles = other.exportedFiles;
    searchPaths = other.searchPaths;
    feedback = other.feedback;
    feedbackCount = other.feedbackCount;
    totalProgressPercentage = other.totalProgressPercentage;
    lastOverallPercentage = other.lastOverallPercentage;
    readPhasePercentagePerFile = other.readPhasePercentagePerFile;
    numScans = other.numScans;
    genericAscii = other.genericAscii;
    rspOptions = other.rspOptions;
    cancelRequested.store(other._getCancel(), std::memory_order_relaxed);
    pointsFilter = other.pointsFilter;
    ks_common::copyToFixed(formatsFolder32, other.formatsFolder32);
}

void ImportBatch::setCompressionTolerance(float tolerance) {
    compressionTolerance = static_cast<double>(tolerance) < 1e-6 ? 0.0f : tolerance;
    autoCompressTolerance = false;
}

void ImportBatch::setUnitsPerMeter(double unitsPerMeter) {
    metresPerUnit = unitsPerMeter >= 1e-8 ? 1.0 / unitsPerMeter : 1.0;
}

double ImportBatch::getUnitsPerMeter() const {
    return metresPerUnit >= 1e-8 ? 1.0 / metresPerUnit : 1.0;
}

void* ImportBatch::_getScanInfo(unsigned int index) {
    return index < importFiles.size() ? &importFiles[index] : nullptr;
}

bool ImportBatch::_initializeConvert() {
    diagnostics::beginConversion(this);
    _setCancel(false);
    numScans = 0;
    totalProgressPercentage = 0;
    lastOverallPercentage = 0;
    return true;
}

}  // namespace ks_formats
