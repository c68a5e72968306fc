#pragma once

#include <vector>

#include "ks_formats/batch_options.h"
#include "ks_formats/cancel_flag.h"
#include "ks_formats/feedback.h"
#include "ks_formats/scan_info.h"
#include "ks_formats/types.h"

namespace ks_formats {

// The one object a host builds, fills and hands to ConvertBatchToNOX: the settings, the import
// files, the search paths, the output name, the written files and the progress state.
//
// Fixed name fields hold at most 511 UTF-16 units; longer names are cut at 511 units (never in
// the middle of a surrogate pair).
class KS_API ImportBatch {
public:
    // Hands the writer library the meta tag "Audit.CreatorApp" and opens the progress channel.
    explicit ImportBatch(const WideChar* creatorApp);
    // Copies every field, the cancel flag's value included; sets no tag.
    ImportBatch(const ImportBatch& other);
    ImportBatch& operator=(const ImportBatch& other);
    virtual ~ImportBatch();

    // --- settings ---
    void setCompressionTolerance(float tolerance);
    float getCompressionTolerance() const { return compressionTolerance; }
    void useAutoCompressTolerance(bool on) { autoCompressTolerance = on; }
    bool useAutoCompressTolerance() const { return autoCompressTolerance; }
    void setSpatialFiltering(float value) { spatialFiltering = value; }
    float getSpatialFiltering() const { return spatialFiltering; }
    void setUnitsPerMeter(double unitsPerMeter);
    double getUnitsPerMeter() const;

    void includeRGB(bool on) { includeRGBFlag = on; }
    void includeIntensity(bool on) { includeIntensityFlag = on; }
    void includeNormals(bool on) { includeNormalsFlag = on; }
    void includeClassification(bool on) { includeClassificationFlag = on; }
    bool getIncludeRGB() const { return includeRGBFlag; }
    bool getIncludeIntensity() const { return includeIntensityFlag; }
    bool getIncludeNormals() const { return includeNormalsFlag; }
    bool getIncludeClassification() const { return includeClassificationFlag; }

    void setGenerateNormals(bool on) { generateNormals = on; }
    bool getGenerateNormals() const { return generateNormals; }
    void setCombineClouds(bool on) { combineClouds = on; }
    bool getCombineClouds() const { return combineClouds; }
    void setNormalizeIntensities(bool on) { normalizeIntensities = on; }
    bool getNormalizeIntensities() const { return normalizeIntensities; }
    void setMinimumScanToImport(int value) { minimumScanToImport = value; }
    int getMinimumScanToImport() const { return minimumScanToImport; }
    void set8BitColour(ColorBit bits) { colourBits = bits; }
    ColorBit get8BitColour() const { return colourBits; }
    void setBatchMode(BatchMode mode) { batchMode = mode; }
    BatchMode getBatchMode() const { return batchMode; }
    void setNumScans(int value) { numScans = value; }
    int getNumScans() const { return numScans; }
    void incrementNumScans() { ++numScans; }

    GenericAsciiOpt& genericAsciiSettings() { return genericAscii; }
    RSPOpt& RSPSettings() { return rspOptions; }

    void setPointsFilterCallback(const PointsFilterCallback& filter) { pointsFilter = filter; }
    const PointsFilterCallback& getPointsFilterCallback() const { return pointsFilter; }
    void removePointsFilterCallback() { pointsFilter = nullptr; }

    // A count of 0 is stored as 1: the handlers report every count points.
    void _setFeedbackCount(unsigned long count) { feedbackCount = count == 0 ? 1 : count; }
    unsigned long _getFeedbackCount() const { return feedbackCount; }
    void* _getScanInfo(unsigned int index);
    bool _initializeConvert();

    // --- import files and search paths ---
    void useRecursiveSearch(bool on) { recursiveSearch = on; }
    void addSearchPath(const char* path);
    void addSearchPath(const WideChar* path);
    void addImportFile(const char* name);
    void addImportFile(const WideChar* name);
    void removeImportFiles();
    int extractFilePaths();
    void setIncludeFile(int index, bool on);
    bool getIncludeFile(int index) const;
    int numImportFiles() const { return static_cast<int>(importFiles.size()); }
    const WideChar* getImportFilename(int index) const;

    // --- output names and written files ---
    void setOutputFilename(const WideChar* name);
    void setOutputFilename(const char* name);
    const WideChar* _getRawOutputFilename() const { return outputFilename; }
    bool _isOutputFileADirectory() const;
    const WideChar* _getOutputFilename(const WideChar* inputName, int index) const;
    const WideChar* _getStrippedFilename(const WideChar* path);
    void _addExportedFile(const WideChar* name);
    int numExportedFiles() const { return static_cast<int>(exportedFiles.size()); }
    const WideChar* getExportedFilenameW(int index) const;
    const char* getExportedFilenameA(int index) const;
    void set32BitNoxFormatsFolder(const WideChar* folder);
    const WideChar* get32BitNoxFormatsFolder();

    // --- progress, cancellation and errors ---
    void setFeedbackObject(Feedback* f) { feedback = f; }
    void _progress(int filePercent);
    void _progressWrite(int filePercent);
    void _progressDirect(const WideChar* name, int overall, int filePercent, int fileIndex);
    void _progressWriteDirect(const WideChar* name, int overall, int filePercent, int fileIndex);
    void _error(Result result, ConvertPhase phase);
    // How many errors this batch has reported, so the driver can tell a file that failed
    // quietly from one whose handler said why.
    unsigned long _getErrorCount() const { return errorCount; }
    void _setCancel(bool on) { cancelRequested.set(on); }
    bool _getCancel() const { return cancelRequested.get(); }
    void _setCurrentFilename(const WideChar* name);
    const WideChar* _getCurrentFilename() const { return currentFilename; }
    void _setCurrentOutputFilename(const WideChar* name);
    const WideChar* _getCurrentOutputFilename() const { return currentOutputFilename; }
    void _setCurrentFileIndex(int index) { currentFileIndex = index; }
    int _getCurrentFileIndex() const { return currentFileIndex; }
    void _setTotalProgressPercentage(int value) { totalProgressPercentage = value; }
    int _getTotalProgressPercentage() const { return totalProgressPercentage; }
    void _setReadPhasePercentagePerFile(int value) { readPhasePercentagePerFile = value; }
    int _getReadPhasePercentagePerFile() const { return readPhasePercentagePerFile; }

    // --- settings dump ---
    bool _write(const char* filename, const WideChar* header);

private:
    int extractFilesFromPath(const WideChar* path);
    void makeImportFilesUnique();

    float compressionTolerance;
    float spatialFiltering;
    bool generateNormals;
    bool includeIntensityFlag;
    bool includeRGBFlag;
    bool includeNormalsFlag;
    bool includeClassificationFlag;
    bool combineClouds;
    bool normalizeIntensities;
    bool recursiveSearch;
    int minimumScanToImport;
    double metresPerUnit;
    bool autoCompressTolerance;
    bool searchPathsExtracted;
    ColorBit colourBits;
    BatchMode batchMode;
    WideChar outputFilename[kPathBufferUnits];
    WideChar currentFilename[kPathBufferUnits];
    WideChar currentOutputFilename[kPathBufferUnits];
    int currentFileIndex;
    unsigned long errorCount;
    std::vector<ScanInfo> importFiles;
    std::vector<WideString> exportedFiles;
    std::vector<WideString> searchPaths;
    Feedback* feedback;
    unsigned long feedbackCount;
    int totalProgressPercentage;
    int lastOverallPercentage;
    int readPhasePercentagePerFile;
    int numScans;
    GenericAsciiOpt genericAscii;
    RSPOpt rspOptions;
    CancelFlag cancelRequested;
    PointsFilterCallback pointsFilter;
    WideChar formatsFolder32[kPathBufferUnits];
};

}  // namespace ks_formats
