#pragma once

#include <atomic>
#include <functional>

#include "handlers/handler_registry.h"
#include "handlers/scan_import.h"

namespace ks_test {

// A handler for ".tst" names that emits a fixed number of synthetic points through the shared
// import flow: point i is (i, 2i, 3i) metres with intensity i and colour (i, 0, 255).
class TestHandler final : public ks_formats::FileTypeHandler {
public:
    TestHandler() : FileTypeHandler(u"test handler", u"tst") {}

    ks_formats::FormatID getFormatID() override { return ks_formats::FormatGenericText; }
    bool acceptsExtension(const ks_formats::WideString& extension) override {
        return extension == u"tst";
    }
    bool import(ks_formats::ImportBatch* batch, ks_formats::ScanInfo* scan) override;

    int pointsPerFile = 3;
    int outputIndex = -1;
    std::atomic<int> imports{0};
    // Called at every feedback point (for instance to cancel from a test).
    std::function<void()> atFeedbackPoint;
    // When set, import answers this instead of importing (for files that fail).
    std::function<bool(ks_formats::ImportBatch&, const ks_formats::ScanInfo&)> instead;
};

// Registers one TestHandler for the life of the test program.
TestHandler& registeredTestHandler();

}  // namespace ks_test
