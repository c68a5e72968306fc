#pragma once

#include "handlers/handler_3dd.h"

// Point streams (.rxp) read through the scanifc library.
class _RXPHandler : public _3DDHandler {
public:
    _RXPHandler();

    ks_formats::FormatID getFormatID() override { return ks_formats::FormatRieglRXP; }
    bool acceptsExtension(const ks_formats::WideString& extension) override;
    bool import(ks_formats::ImportBatch* batch, ks_formats::ScanInfo* scan) override;
};
