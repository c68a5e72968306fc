#pragma once

#include "ks_common/fixed_text.h"
#include "ks_formats/import_batch.h"
#include "ks_formats/types.h"

namespace ks_formats {

// A fixed buffer of 512 UTF-16 units; a default one holds "(empty)". Longer text is cut at 511
// units (see copyToFixed).
class PathBuffer {
public:
    PathBuffer() { ks_common::copyToFixed(text_, KS_WIDE("(empty)")); }
    explicit PathBuffer(const WideChar* text) { ks_common::copyToFixed(text_, text); }
    PathBuffer(const PathBuffer& other) { ks_common::copyToFixed(text_, other.text_); }
    PathBuffer& operator=(const PathBuffer& other) {
        if (this != &other) ks_common::copyToFixed(text_, other.text_);
        return *this;
    }

    // True when text fits whole (at most 511 units); handlers refuse longer names rather than
    // work on a cut one.
    static bool fits(const WideChar* text) {
        for (int i = 0; i < kPathBufferUnits; ++i)
            if (!text || text[i] == 0) return true;
        return false;
    }

    const WideChar* c_str() const { return text_; }
    WideChar* data() { return text_; }
    static constexpr int capacity() { return kPathBufferUnits; }

private:
    WideChar text_[kPathBufferUnits];
};

// Every handler's answer to an import name that does not fit a path buffer: it is refused rather
// than cut into some other path, and reported once through the batch (when there is one) as
// (ResultCannotOpenFile, PhaseRead) with the name's length. True when the name fits.
bool pathFitsOrReport(ImportBatch* batch, const WideChar* name);

}  // namespace ks_formats
