#include "nox/nox_handler.h"

#include <algorithm>
#include <memory>
#include <new>

#include "handlers/scan_import.h"
#include "ks_common/fixed_text.h"
#include "ks_common/text_encoding.h"
#include "lyrant_handle.h"
#include "platform/paths.h"

namespace ks_formats {
namespace {

constexpr uint32_t kBlockPoints = 500000;
constexpr float kAutoTolerance = 0.0025f;  // NOX input was already thinned once
constexpr float kEveryPoint = 1.0f;        // the density factor that keeps every point
constexpr size_t kCloudNameUnits = 260;    // 259 units and the terminator

// The four point buffers of one import, allocated once per file.
struct PointBlock {
    std::unique_ptr<double[]> xyz;
    std::unique_ptr<uint8_t[]> rgb;
    std::unique_ptr<int16_t[]> intensity;
    std::unique_ptr<uint8_t[]> classes;

    bool allocate() {
        xyz.reset(new (std::nothrow) double[3 * kBlockPoints]);
        rgb.reset(new (std::nothrow) uint8_t[3 * kBlockPoints]);
        intensity.reset(new (std::nothrow) int16_t[kBlockPoints]);
        classes.reset(new (std::nothrow) uint8_t[kBlockPoints]);
        return xyz && rgb && intensity && classes;
    }
};

// The folder that holds the file. Longer than 259 units it is cut there (never inside a
// surrogate pair), so an overlong name only shortens the cloud name.
WideString cloudNameOf(const WideChar* fileName) {
    WideChar name[kCloudNameUnits];
    ks_common::copyToFixed(name, platform::parentFolder(ks_common::wideView(fileName)).c_str());
    return name;
}

// What the scene holds and the batch asks for.
uint32_t cloudFlagsFor(const ImportBatch& batch, uint32_t content) {
    uint32_t flags = 0;
    if (batch.getIncludeIntensity() && (content & KS_CONTENT_INTENSITY))
        flags |= KSIO_CLOUD_INTENSITY;
    if (batch.getIncludeClassification() && (content & KS_CONTENT_CLASS)) flags |= KSIO_CLOUD_CLASS;
    if (batch.getIncludeRGB() && (content & KS_CONTENT_COLOUR)) flags |= KSIO_CLOUD_COLOUR;
    return flags;
}

// The points of a scene, fetched a block at a time through a point query. A cancel seen at a
// feedback point ends the import after the whole block.
class SceneQueryPoints : public PointSource {
public:
    SceneQueryPoints(ImportBatch& batch, const LyrantLibrary& viewer, uint64_t query,
                     PointBlock& block, const ScanImport& flow, uint64_t totalPoints)
        : batch_(batch),
          viewer_(viewer),
          query_(query),
          block_(block),
          flow_(flow),
          total_(totalPoints) {}

    bool readSome(PointOutput& out) override {
        uint32_t n =
            viewer_.getQueryPointsd(query_, kBlockPoints, block_.xyz.get(), block_.rgb.get(),
                                    block_.intensity.get(), nullptr, block_.classes.get());
        n = std::min(n, kBlockPoints);  // never trust a count beyond the buffers
        bool go = true;
        for (uint32_t i = 0; i < n; ++i)
            go = out.point(&block_.xyz[3 * i], &block_.rgb[3 * i], block_.intensity[i], nullptr,
                           block_.classes[i]) &&
                 go;
        return n != 0 && go;
    }

    int filePercent() const override {
        return ks_formats::filePercent(flow_.handledPoints(), total_);
    }

    // A scene that claims no points still ends its file at 100 percent.
    void endReading() override {
        if (total_ == 0 && !flow_.cancelled()) batch_._progress(100);
    }

private:
    ImportBatch& batch_;
    const LyrantLibrary& viewer_;
    uint64_t query_;
    PointBlock& block_;
    const ScanImport& flow_;
    uint64_t total_;
};

}  // namespace

NOXHandler::NOXHandler() : FileTypeHandler(KS_WIDE("NOX importer"), KS_WIDE("nox")) {}

bool NOXHandler::acceptsExtension(const WideString& extension) {
    return extensionIsOneOf(extension, KS_WIDE("nox"), KS_WIDE("NOX"));
}

platform::BindOutcome NOXHandler::bindLyrant(const WideChar* libraryPath) {
    if (lyrant_.bound) return platform::BindOutcome::Bound;
    return bindLyrantLibrary(libraryPath, lyrant_);
}

bool NOXHandler::import(ImportBatch* batch, ScanInfo* scan) {
    if (!batch || !scan) return false;
    // A copy: a host that adds import files from a callback may move the entry scan points to.
    const WideString fileNameCopy(ks_common::wideView(scan->getFilename()));
    const WideChar* fileName = fileNameCopy.c_str();
    return guardedImport(*batch, fileName, [&] {
        if (bindLyrant(nullptr) != platform::BindOutcome::Bound)
            throw ConversionFailure(
                ResultFailed, PhaseSetup,
                "the viewer library cannot be used: " + std::string(lyrant_.loadError()));
        const LyrantLibrary& viewer = lyrant_;
        const std::string name = ks_common::toUtf8(fileName);
        const lyrant::ScopedHandle scene(viewer.removeScene, viewer.openNOX(fileName));
        if (!scene.get())
            throw ConversionFailure(ResultCannotOpenFile, PhaseRead, name,
                                    "the viewer library cannot open it as a NOX file");
        batch->_progress(0);

        WideChar sceneName[KS_NAME_UNITS] = {};
        int32_t clouds = 0;
        uint64_t totalPoints = 0;
        uint32_t content = 0;
        uint8_t flagA = 0, flagB = 0;
        viewer.sceneInfo(scene.get(), sceneName, &clouds, &totalPoints, &content, &flagA, &flagB);

        // Buffers and query come before any writer call, so that neither failing leaves a
        // half-started output behind.
        PointBlock block;
        const lyrant::ScopedHandle query(viewer.deleteQuery, viewer.createVisPointsQuery());
        if (!query.get())
            throw ConversionFailure(ResultFailed, PhaseRead, name,
                                    "the viewer library made no point query");
        if (!block.allocate())
            throw ConversionFailure(ResultFailed, PhaseRead, name,
                                    "out of memory for the point buffers");
        viewer.setQueryScope(query.get(), scene.get());
        viewer.setQueryDensity(query.get(), KS_DENSITY_EVEN_SHARE, kEveryPoint);
        viewer.setQueryRGBMode(query.get(), KS_COLOUR_STORED);

        // Positions go out as the viewer delivers them: no unit scaling, no matrix.
        ScanImport flow(*batch, *this, Matrix4d::identity());
        SceneQueryPoints points(*batch, viewer, query.get(), block, flow, totalPoints);
        const WideString cloudName = cloudNameOf(fileName);
        return flow.run({.outputInputName = fileName,
                         .outputIndex = -1,
                         .cloudFlags = cloudFlagsFor(*batch, content),
                         .cloudName = cloudName.c_str(),
                         .autoTolerance = kAutoTolerance,
                         .groupName = batch->_getStrippedFilename(fileName),
                         .withMatrix = false},
                        points);
    });
}

}  // namespace ks_formats
