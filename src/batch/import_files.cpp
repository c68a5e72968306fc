// The batch's lists of import files and search paths.
#include "ks_common/narrow_text.h"
#include "ks_common/text_encoding.h"
#include "ks_formats/import_batch.h"

namespace ks_formats {

void ImportBatch::addSearchPath(const char* path) {
    searchPaths.push_back(ks_common::fromNarrow(path));
}

void ImportBatch::addSearchPath(const WideChar* path) {
    searchPaths.emplace_back(ks_common::wideView(path));
}

void ImportBatch::addImportFile(const WideChar* name) {
    ScanInfo info;
    info.setFilename(name);
    info.setIncluded(true);
    importFiles.push_back(std::move(info));
}

void ImportBatch::addImportFile(const char* name) {
    ScanInfo info;
    info.setFilename(name);
    info.setIncluded(true);
    importFiles.push_back(std::move(info));
}

void ImportBatch::removeImportFiles() { importFiles.clear(); }

void ImportBatch::setIncludeFile(int index, bool on) {
    if (index >= 0 && index < numImportFiles()) importFiles[index].setIncluded(on);
}

bool ImportBatch::getIncludeFile(int index) const {
    return index >= 0 && index < numImportFiles() && importFiles[index].getIncluded();
}

const WideChar* ImportBatch::getImportFilename(int index) const {
    if (index < 0 || index >= numImportFiles()) return nullptr;
    return importFiles[index].getFilename();
}

}  // namespace ks_formats
