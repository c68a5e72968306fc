#pragma once
// A handler for ".tst" names. Header only: it derives from the library's internal handler
// base, which the program links (the internal archive), not the support library.
#include <atomic>
#include <functional>

#include "api/handler_registry.h"
#include "handlers/scan_import.h"

namespace ks_test {

// Emits a fixed number of synthetic points through the shared import flow: point i is
// (i, 2i, 3i) metres with intensity i and colour (i, 0, 255).
class TestHandler final : public ks_formats::FileTypeHandler {
public:
    TestHandler() : FileTypeHandler(KS_WIDE("test handler"), KS_WIDE("tst")) {}

    ks_formats::FormatID getFormatID() override { return ks_formats::FormatGenericText; }
    bool acceptsExtension(const ks_formats::WideString& extension) override {
        return extension == KS_WIDE("tst");
    }
    bool import(ks_formats::ImportBatch* batch, ks_formats::ScanInfo* scan) override {
        using namespace ks_formats;
        if (!batch) return false;
        ++imports;
        if (instead) return instead(*batch, *scan);
        ScanImport flow(*batch, *this, *scan->getMatrix());
        SyntheticPoints points(pointsPerFile, flow.scale(), atFeedbackPoint);
        return guardedImport(*batch, scan->getFilename(), [&] {
            return flow.run({.outputInputName = scan->getFilename(),
                             .outputIndex = outputIndex,
                             .cloudFlags = KSIO_CLOUD_INTENSITY,
                             .cloudName = nullptr},
                            points);
        });
    }

    // Point i is (i, 2i, 3i) metres, scaled; the hook runs at every feedback point, before the
    // progress report.
    class SyntheticPoints : public ks_formats::PointSource {
    public:
        SyntheticPoints(int count, double scale, const std::function<void()>& atFeedback)
            : count_(count), scale_(scale), atFeedback_(atFeedback) {}
        bool readSome(ks_formats::PointOutput& out) override {
            for (; next_ < count_;) {
                const int i = next_++;
                double xyz[3] = {i * scale_, 2 * i * scale_, 3 * i * scale_};
                uint8_t rgb[3] = {static_cast<uint8_t>(i), 0, 255};
                if (!out.point(xyz, rgb, static_cast<int16_t>(i), nullptr, 0)) return false;
            }
            return false;
        }
        int filePercent() const override {
            if (atFeedback_) atFeedback_();
            return 50;
        }

    private:
        int count_;
        double scale_;
        const std::function<void()>& atFeedback_;
        int next_ = 0;
    };

    // Back to the settings of a new handler: the registry keeps one object for the whole test
    // program, and each test starts from these.
    void reset() {
        pointsPerFile = 3;
        outputIndex = -1;
        imports = 0;
        atFeedbackPoint = nullptr;
        instead = nullptr;
    }

    int pointsPerFile = 3;
    int outputIndex = -1;
    std::atomic<int> imports{0};
    // Called at every feedback point (for instance to cancel from a test).
    std::function<void()> atFeedbackPoint;
    // When set, import answers this instead of importing (for files that fail).
    std::function<bool(ks_formats::ImportBatch&, const ks_formats::ScanInfo&)> instead;
};

// The one TestHandler of the test program, registered on first use, with the settings of a new
// handler.
inline TestHandler& freshTestHandler() {
    static TestHandler* handler = [] {
        auto* created = new TestHandler();
        ks_formats::registerHandler(created);
        return created;
    }();
    handler->reset();
    return *handler;
}

}  // namespace ks_test
