#pragma once

#include "handlers/handler_rdb.h"

// Project files (.rsp): they are not imported themselves but expand into a batch of their scans.
class RSPHandler final : public _RDBHandler {
public:
    RSPHandler();

    ks_formats::FormatID getFormatID() override { return ks_formats::FormatRieglRSP; }
    bool acceptsExtension(const ks_formats::WideString& extension) override;
    // A project is never imported as such.
    bool import(ks_formats::ImportBatch* batch, ks_formats::ScanInfo* scan) override;
    // Fills the batch with the project's single scans, each carrying the registration matrix of
    // its scan position. False when the project file cannot be read; the batch is then unchanged.
    bool createBatch(ks_formats::ImportBatch* batch, const ks_formats::WideString& path) override;
};
