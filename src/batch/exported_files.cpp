// The list of output files a conversion has written, in wide and narrow form.
#include <cstring>

#include "ks_common/narrow_text.h"
#include "ks_common/text_encoding.h"
#include "ks_formats/import_batch.h"

namespace ks_formats {
namespace {

// Narrow results are handed out in this one process-wide buffer, overwritten by the next call.
constexpr size_t kNarrowResultBytes = 260;
char narrowResult[kNarrowResultBytes];

}  // namespace

void ImportBatch::_addExportedFile(const WideChar* name) {
    exportedFiles.emplace_back(ks_common::wideView(name));
}

// An index outside the list answers null, as getImportFilename does.
const WideChar* ImportBatch::getExportedFilenameW(int index) const {
    if (index < 0 || index >= numExportedFiles()) return nullptr;
    return exportedFiles[index].c_str();
}

// The name in the system's narrow encoding (the ANSI code page on Windows, UTF-8 elsewhere). A
// name whose narrow form needs more than 259 bytes is cut to the longest run of whole characters
// that fits, so the buffer always holds whole, terminated characters; the wide form keeps the
// full name.
const char* ImportBatch::getExportedFilenameA(int index) const {
    const WideChar* wide = getExportedFilenameW(index);
    if (!wide) return nullptr;
    const std::string narrow =
        ks_common::encodeNarrowFitting(ks_common::wideView(wide), kNarrowResultBytes - 1);
    std::memcpy(narrowResult, narrow.data(), narrow.size());
    narrowResult[narrow.size()] = '\0';
    return narrowResult;
}

}  // namespace ks_formats
