// The list of output files a conversion has written, in wide and narrow form.
#include <cstring>

#include "ks_common/text_encoding.h"
#include "ks_formats/import_batch.h"

namespace ks_formats {
namespace {

// Narrow results are handed out in this one process-wide buffer, overwritten by the next call.
constexpr size_t kNarrowResultBytes = 260;
char narrowResult[kNarrowResultBytes];

// Length of the longest prefix of utf8 that fits in limit bytes without splitting a sequence.
size_t fittingLength(const std::string& utf8, size_t limit) {
    if (utf8.size() <= limit) return utf8.size();
    size_t length = limit;
    while (length > 0 && (static_cast<unsigned char>(utf8[length]) & 0xC0) == 0x80) --length;
    return length;
}

}  // namespace

void ImportBatch::_addExportedFile(const WideChar* name) {
    exportedFiles.emplace_back(ks_common::wideView(name));
}

// An index outside the list answers null, as getImportFilename does.
const WideChar* ImportBatch::getExportedFilenameW(int index) const {
    if (index < 0 || index >= numExportedFiles()) return nullptr;
    return exportedFiles[index].c_str();
}

// The name as UTF-8. A name whose UTF-8 form needs more than 259 bytes is cut to the longest
// run of whole characters that fits, so the buffer always holds valid, terminated UTF-8; the
// wide form keeps the full name.
const char* ImportBatch::getExportedFilenameA(int index) const {
    const WideChar* wide = getExportedFilenameW(index);
    if (!wide) return nullptr;
    const std::string utf8 = ks_common::toUtf8(wide);
    const size_t length = fittingLength(utf8, kNarrowResultBytes - 1);
    std::memcpy(narrowResult, utf8.data(), length);
    narrowResult[length] = '\0';
    return narrowResult;
}

}  // namespace ks_formats
