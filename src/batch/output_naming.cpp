// Output file names derived from the raw output name, the batch mode and the import name, and
// the list of output files a conversion has written, in wide and narrow form.
#include <cstring>
#include <string>

#include "batch/batch_diagnostics.h"
#include "ks_common/fixed_text.h"
#include "ks_common/narrow_text.h"
#include "ks_common/text_encoding.h"
#include "ks_formats/import_batch.h"
#include "platform/paths.h"

namespace ks_formats {
namespace {

using platform::WideView;

// Results handed out by pointer: each stays valid until the next call of the same operation,
// from any batch. Each result is copied into its buffer, which has room for any name built from
// the fixed name fields, so one operation keeps handing out the same address.
struct SharedResult {
    SharedResult() { text.reserve(4 * kPathBufferUnits); }
    const WideChar* publish(const WideString& result) {
        text.assign(result);
        return text.c_str();
    }
    WideString text;
};

SharedResult& outputNameResult() {
    static SharedResult result;
    return result;
}

SharedResult& strippedNameResult() {
    static SharedResult result;
    return result;
}

WideString toWide(std::string_view ascii) { return ks_common::asciiToWide(ascii); }

// Narrow exported names are handed out in this one process-wide buffer, overwritten by the next
// call.
constexpr size_t kNarrowResultBytes = 260;
char narrowResult[kNarrowResultBytes];

}  // namespace

void ImportBatch::setOutputFilename(const WideChar* name) {
    diagnostics::noteOutputNameLength(this, ks_common::wideView(name).size());
    ks_common::copyToFixed(outputFilename, name);
}

void ImportBatch::setOutputFilename(const char* name) {
    const WideString wide = ks_common::fromNarrow(name);
    setOutputFilename(wide.c_str());
}

bool ImportBatch::_isOutputFileADirectory() const {
    // Only a name whose last "." stands after its last "/" names a file; a name without any
    // "/" counts as a folder even when it has a ".".
    const WideView name(outputFilename);
    const size_t dot = name.rfind(KS_WIDE('.'));
    const size_t slash = name.rfind(platform::kSeparator);
    return dot == WideView::npos || slash == WideView::npos || dot < slash;
}

const WideChar* ImportBatch::_getOutputFilename(const WideChar* inputName, int index) const {
    // Take the input apart before the result is touched: it may point into the previous result.
    const WideString input(batchMode == BatchModeSingleFile ? WideView()
                                                            : ks_common::wideView(inputName));
    if (batchMode != BatchModePerScan) index = -1;
    WideString suffix;
    if (index >= 0) suffix = KS_WIDE('_') + toWide(std::to_string(index));
    const WideString stem(platform::stem(input));
    const WideString extension = toWide(".nox");

    const WideView raw(outputFilename);
    WideString result;
    if (_isOutputFileADirectory()) {
        result = WideString(raw) + platform::kSeparator + stem;
    } else if (const size_t star = raw.find(KS_WIDE('*')); star != WideView::npos) {
        result = WideString(raw.substr(0, star)) + stem + WideString(raw.substr(star + 1));
    } else {
        result = WideString(raw.substr(0, raw.rfind(KS_WIDE('.'))));
        if (!stem.empty()) result += KS_WIDE('_') + stem;
    }
    result += suffix + extension;
    return outputNameResult().publish(result);
}

const WideChar* ImportBatch::_getStrippedFilename(const WideChar* path) {
    const WideString stem(platform::stem(ks_common::wideView(path)));
    return strippedNameResult().publish(stem);
}

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
