#pragma once

#include "handlers/handler_rdb.h"

// Project files (.rsp): they are not imported themselves but expand into a batch of their scans.
class RSPHandler : public _RDBHandler {
public:
    RSPHandler();

    ks_formats::FormatID getFormatID() override { return ks_formats::FormatRieglRSP; }
    bool acceptsExtension(const ks_formats::WideString& extension) override;
    // A project is never imported as such.
    bool import(ks_formats::ImportBatch* batch, ks_formats::ScanInfo* scan) override;
    bool createBatch(ks_formats::ImportBatch* batch, const ks_formats::WideString& path) override;
};
