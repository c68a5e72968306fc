#pragma once

#include "handlers/handler_rxp.h"

// Scans of a project's point database (.rdb names mapped to the P3D data files).
class _RDBHandler : public _RXPHandler {
public:
    _RDBHandler();

    ks_formats::FormatID getFormatID() override { return ks_formats::FormatRieglRDB; }
    bool acceptsExtension(const ks_formats::WideString& extension) override;
    bool import(ks_formats::ImportBatch* batch, ks_formats::ScanInfo* scan) override;
};
