#include "ks_formats/import_batch.h"

#include "batch/batch_diagnostics.h"
#include "batch/current_batch.h"
#include "batch/progress_channel.h"
#include "ks_common/text_encoding.h"
#include "writer/writer_library.h"

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

// Generated in the library, where hosts expect them: every field is a value or owns its copy.
ImportBatch::ImportBatch(const ImportBatch& other) = default;
ImportBatch& ImportBatch::operator=(const ImportBatch& other) = default;

ImportBatch::~ImportBatch() {
    forgetCurrentBatch(this);
    diagnostics::forgetBatch(this);
    progressChannel().close();
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
