#include "handlers/handler_3dd.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "batch/batch_diagnostics.h"
#include "handlers/path_buffer.h"
#include "handlers/scan_import.h"
#include "handlers/value_conversion.h"
#include "ks_common/text_encoding.h"
#include "platform/component.h"
#include "platform/input_file.h"
#include "platform/large_buffer.h"
#include "platform/paths.h"
#include "reader3dd_interface.h"

using namespace ks_formats;
namespace com = ks_formats::com;

namespace {

// Class context: in-process server and handler, local and remote server.
constexpr uint32_t kServerContext = 0x17;
constexpr int32_t kOptionA = 48;
constexpr int32_t kOptionB = 4;
// Below this a channel counts as absent.
constexpr float kChannelThreshold = 0.001f;
constexpr float kNullCoordinate = 1e-6f;
// Intensity 0..1 maps to -32667..32667.
constexpr double kIntensityRange = 65335.0;

std::string hresultText(com::HRESULT result) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(result));
    return text;
}

// Success without reservation. S_OK is a macro of the Windows headers and a constant of the
// component layer elsewhere, so it is named unqualified.
bool isOk(com::HRESULT result) {
    using namespace com;
    return result == S_OK;
}

bool isClassNotRegistered(com::HRESULT result) {
    using namespace com;
    return result == REGDB_E_CLASSNOTREG;
}

bool anyAbove(const float* values, uint64_t count, float threshold) {
    for (uint64_t i = 0; i < count; ++i)
        if (values[i] > threshold) return true;
    return false;
}

template <typename T>
using ScanArray = platform::LargeBuffer<T>;

// A grid scan read whole through the reader component: positions, and the intensity and colour
// channels the batch asks for and the scan has. The scan stays open until the source goes.
class GridPoints : public PointSource {
public:
    GridPoints(ImportBatch& batch, const WideChar* path) : path_(ks_common::toUtf8(path)) {
        createReader();
        const com::OwnedBstr pathText(path);
        const com::OwnedBstr noOptions(KS_WIDE(""));
        if (const com::HRESULT opened = reader_->Open(pathText.get(), noOptions.get(), 0, 0, 0);
            !isOk(opened))
            fail("the grid reader's Open answered HRESULT " + hresultText(opened) +
                 ": the file is missing or no grid scan");
        closer_.reader = reader_.get();
        check(reader_->SetOptionA(kOptionA), "SetOptionA");
        check(reader_->SetOptionB(kOptionB), "SetOptionB");
        check(reader_->GetDimensions(&rows_, &columns_), "GetDimensions");
        checkPlausibleGrid();
        cells_ = static_cast<uint64_t>(rows_) * static_cast<uint64_t>(columns_);
        withRgb_ = batch.getIncludeRGB();
        withIntensity_ = batch.getIncludeIntensity();
    }
    GridPoints(const GridPoints&) = delete;
    GridPoints& operator=(const GridPoints&) = delete;

    int32_t rows() const { return rows_; }
    int32_t columns() const { return columns_; }
    uint64_t cells() const { return cells_; }

    // Loads the scan and fetches its channels. False when the reader has nothing to fetch.
    bool load() {
        positions_ = zeroedArray(cells_ * 3);
        if (withRgb_) colours_ = zeroedArray(cells_ * 3);
        if (withIntensity_) intensities_ = zeroedArray(cells_);
        const com::HRESULT loaded = reader_->LoadData();
        check(loaded, "LoadData");
        if (!isOk(loaded)) return false;
        const int32_t n = static_cast<int32_t>(cells_);
        int32_t delivered = 0;
        check(reader_->GetPoints(&delivered, positions_.get(), com::kReader3DDCartesian,
                                 com::kReader3DDXyz, 0, n),
              "GetPoints");
        if (intensities_) {
            check(reader_->GetIntensities(&delivered, intensities_.get(), 0, n), "GetIntensities");
            if (!anyAbove(intensities_.get(), cells_, kChannelThreshold)) intensities_.reset();
        }
        if (colours_) {
            check(reader_->GetColours(&delivered, colours_.get(), 0, n), "GetColours");
            if (!anyAbove(colours_.get(), cells_ * 3, kChannelThreshold)) colours_.reset();
        }
        return true;
    }

    uint32_t cloudFlags() const {
        uint32_t flags = 0;
        if (colours_) flags |= KSIO_CLOUD_COLOUR;
        if (intensities_) flags |= KSIO_CLOUD_INTENSITY;
        return flags;
    }

    void setScale(double scale) { scale_ = scale; }

    // A cell at the origin is a null point: the scanner saw nothing there.
    bool readSome(PointOutput& out) override {
        const uint64_t end = std::min(cells_, done_ + kCellsPerRead);
        while (done_ < end) {
            const uint64_t cell = done_++;
            const float* p = &positions_[cell * 3];
            bool go;
            if (std::fabs(p[0]) <= kNullCoordinate && std::fabs(p[1]) <= kNullCoordinate &&
                std::fabs(p[2]) <= kNullCoordinate) {
                go = out.nullPoint();
            } else {
                uint8_t rgb[3] = {0, 0, 0};
                if (colours_)
                    for (int c = 0; c < 3; ++c) rgb[c] = low8Bits(colours_[cell * 3 + c] * 255.0);
                const int16_t intensity =
                    intensities_ ? low16Bits((intensities_[cell] - 0.5) * kIntensityRange) : 0;
                double xyz[3] = {p[0] * scale_, p[1] * scale_, p[2] * scale_};
                go = out.point(xyz, rgb, intensity, nullptr, 0);
            }
            if (!go) return false;
        }
        return done_ < cells_;
    }

    int filePercent() const override { return ks_formats::filePercent(done_, cells_); }

    void endReading() override {
        positions_.reset();
        colours_.reset();
        intensities_.reset();
    }

private:
    static constexpr uint64_t kCellsPerRead = 1 << 16;

    [[noreturn]] void fail(const std::string& why) const {
        throw ConversionFailure(ResultFailed, PhaseRead, path_, why);
    }

    void check(com::HRESULT result, const char* call) const {
        if (result < 0)
            fail(std::string("the grid reader's ") + call + " failed with HRESULT " +
                 hresultText(result));
    }

    // Zeroed by the system (no clearing pass over memory that the reader overwrites right
    // after), and on huge pages where they are offered: a whole scan is hundreds of MiB.
    ScanArray<float> zeroedArray(uint64_t count) const {
        ScanArray<float> array = platform::allocateLargeArray<float>(static_cast<size_t>(count));
        if (!array) fail("out of memory for an array of " + std::to_string(count) + " values");
        return array;
    }

    // The reader object through its grid interface.
    void createReader() {
        com::ComRef<com::IUnknown> object;
        const com::HRESULT created = com::CoCreateInstance(
            com::CLSID_Reader3DD, nullptr, kServerContext, com::IID_IUnknown, object.out());
        if (isClassNotRegistered(created))
            fail("the grid reader's class is not registered (HRESULT " + hresultText(created) +
                 "): register " + std::string(com::kReader3DDLibrary) +
                 " once (on Windows with regsvr32)");
        check(created, "CoCreateInstance");
        check(com::OleRun(object.get()), "OleRun");
        const com::HRESULT found = object->QueryInterface(com::IID_IReader3DD, reader_.out());
        check(found, "QueryInterface");
        if (!reader_)
            fail("the grid reader object has no grid interface (QueryInterface answered " +
                 hresultText(found) + ")");
    }

    // A grid no file of this size can hold is refused before anything is allocated.
    void checkPlausibleGrid() const {
        const std::string size = std::to_string(rows_) + " x " + std::to_string(columns_);
        if (rows_ < 0 || columns_ < 0) fail("the grid reader gives a negative grid size, " + size);
        const uint64_t cells = static_cast<uint64_t>(rows_) * static_cast<uint64_t>(columns_);
        if (cells > static_cast<uint64_t>(INT32_MAX))  // the fetch counts are 32-bit
            fail("a grid of " + size + " cells is larger than a scan can be");
        const int64_t fileSize = platform::InputFile::open(path_).size();
        if (fileSize >= 0 && cells > static_cast<uint64_t>(fileSize))
            fail("a grid of " + size + " cells cannot be in a file of " + std::to_string(fileSize) +
                 " bytes: the file is shorter than its header says");
    }

    std::string path_;
    com::ComRef<com::IReader3DD> reader_;
    // Closes the open scan on every path, a constructor that fails after the open included;
    // before the reader goes.
    struct OpenScan {
        com::IReader3DD* reader = nullptr;
        OpenScan() = default;
        OpenScan(const OpenScan&) = delete;
        OpenScan& operator=(const OpenScan&) = delete;
        ~OpenScan() {
            if (reader) reader->Close();
        }
    } closer_;
    int32_t rows_ = 0;
    int32_t columns_ = 0;
    uint64_t cells_ = 0;
    bool withRgb_ = false;
    bool withIntensity_ = false;
    ScanArray<float> positions_, colours_, intensities_;
    double scale_ = 1.0;
    uint64_t done_ = 0;
};

}  // namespace

_3DDHandler::_3DDHandler()
    : FileTypeHandler(KS_WIDE("Riegl RSP/RDB/RXP/3DD importer (module)"), KS_WIDE("3dd")),
      scanMatrix_(Matrix4d::identity()) {}

bool _3DDHandler::acceptsExtension(const WideString& extension) {
    return extensionIsOneOf(extension, KS_WIDE("3dd"), KS_WIDE("3DD"));
}

bool _3DDHandler::setScanMatrix(const ScanInfo* scan) {
    if (scan) scanMatrix_ = *scan->getMatrix();
    return true;
}

bool _3DDHandler::beginScan(ImportBatch* batch, const ScanInfo* scan) {
    if (!batch || !scan) return false;
    setScanMatrix(scan);
    return pathFitsOrReport(batch, scan->getFilename());
}

bool _3DDHandler::import(ImportBatch* batch, ScanInfo* scan) {
    if (!beginScan(batch, scan)) return false;
    const PathBuffer path(scan->getFilename());
    const auto text = ks_common::wideView(path.c_str());
    const size_t dot = platform::findExtension(text);
    if (dot == WideString::npos) return false;
    const WideString extension(text.substr(dot + 1));
    if (extension != KS_WIDE("3dd") && extension != KS_WIDE("3DD")) return false;
    const WideString baseName(platform::stem(text));
    return import3DD(batch, path.c_str(), baseName.c_str());
}

bool _3DDHandler::import3DD(ImportBatch* batch, const WideChar* path, const WideChar* cloudName) {
    if (!batch || !cloudName) return false;
    // A host may convert on a thread of its own, where nobody set up the component layer: the
    // grid reader is the one handler that needs it, so it sets it up for itself.
    const com::ThreadScope componentLayer;
    return guardedImport(*batch, path, [&] {
        GridPoints grid(*batch, path);
        const int minimum = batch->getMinimumScanToImport();
        if (grid.cells() < static_cast<uint64_t>(std::max(0, minimum))) {
            diagnostics::recordSkip(
                batch, SkipBelowMinimumSize,
                "left out: a grid of " + std::to_string(grid.rows()) + " x " +
                    std::to_string(grid.columns()) + " = " + std::to_string(grid.cells()) +
                    " cells is below the minimum scan size of " + std::to_string(minimum));
            return true;
        }
        if (!grid.load()) return true;  // nothing to fetch: no cloud for this scan
        ScanImport flow(*batch, *this, scanMatrix_);
        grid.setScale(flow.scale());
        return flow.run({.outputInputName = path,
                         .outputIndex = 0,
                         .cloudFlags = grid.cloudFlags(),
                         .cloudName = cloudName,
                         .rows = grid.rows(),
                         .columns = grid.columns(),
                         .extraGroupFlags = batch->getGenerateNormals() ? KSIO_GROUP_NORMALS : 0u,
                         .cancelBeforeReport = true},
                        grid);
    });
}
