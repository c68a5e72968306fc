#pragma once

#include "handlers/file_type_handler.h"
#include "nox/lyrant_library.h"

namespace ks_formats {

// Existing NOX files, read through the viewer library and written again as one cloud of the
// output. Not registered for conversion: reached only through the handler interface, with the
// viewer bound by LoadLyrantAPI or on the first import.
class NOXHandler final : public FileTypeHandler {
public:
    NOXHandler();

    FormatID getFormatID() override { return FormatNOX; }
    bool acceptsExtension(const WideString& extension) override;
    bool import(ImportBatch* batch, ScanInfo* scan) override;

    // Binds the viewer library unless it is bound already (see bindLyrantLibrary); why an
    // attempt failed is in lyrant().loadError().
    platform::BindOutcome bindLyrant(const WideChar* libraryPath);
    const LyrantLibrary& lyrant() const { return lyrant_; }

private:
    LyrantLibrary lyrant_;
};

}  // namespace ks_formats
