#pragma once

#include <cstdint>
#include <string>

#include "handlers/handler_3dd.h"

// Point streams (.rxp) read through the scanifc library.
class _RXPHandler : public _3DDHandler {
public:
    // Records per read: 10 x 2^20. The two read buffers of this size (280 MiB together) are
    // allocated once per file. Fuzzing builds read in small steps: their inputs are small, and
    // the step boundaries fall inside them.
#if defined(KS_FUZZING_BUILD)
    static constexpr uint32_t kPointsPerRead = 1024;
#else
    static constexpr uint32_t kPointsPerRead = 0xA00000;
#endif

    _RXPHandler() = default;

    ks_formats::FormatID getFormatID() override { return ks_formats::FormatRieglRXP; }
    bool acceptsExtension(const ks_formats::WideString& extension) override;
    bool import(ks_formats::ImportBatch* batch, ks_formats::ScanInfo* scan) override;

    // Reads one stream and writes its points as one cloud. True when the whole stream was
    // written; a stream that cannot be opened or read answers false without a report, a
    // cancel answers false with one.
    bool readPointStream(ks_formats::ImportBatch* batch, const std::string& uri,
                         const ks_formats::WideChar* path, const ks_formats::WideChar* cloudName,
                         uint32_t pointsPerRead, int scanNumber);

protected:
    ~_RXPHandler() = default;
};

// The stream URI of a path: "file://" and the path as UTF-8. Empty for a path holding a
// character above U+00FF, which the stream reader is never asked for.
std::string rxpStreamUri(const ks_formats::WideChar* path);
