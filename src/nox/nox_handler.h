#pragma once

#include "handlers/file_type_handler.h"

namespace ks_formats {

// Existing NOX files, read through the viewer library. Not registered for conversion.
class NOXHandler : public FileTypeHandler {
public:
    NOXHandler();

    FormatID getFormatID() override { return FormatNOX; }
    bool acceptsExtension(const WideString& extension) override;
    bool import(ImportBatch* batch, ScanInfo* scan) override;
};

}  // namespace ks_formats
