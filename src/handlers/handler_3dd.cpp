#include "handlers/handler_3dd.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "batch/batch_diagnostics.h"
#include "handlers/file_percent.h"
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

// A failing reader call ends the import, with what failed and how.
struct ReaderFailure {
    std::string why;
};

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

void check(com::HRESULT result, const char* call) {
    if (result < 0)
        throw ReaderFailure{std::string("the grid reader's ") + call + " failed with HRESULT " +
                            hresultText(result)};
}

// Closes an open scan on every path.
class OpenScan {
public:
    explicit OpenScan(com::IReader3DD* reader) : reader_(reader) {}
    ~OpenScan() { reader_->Close(); }
    OpenScan(const OpenScan&) = delete;
    OpenScan& operator=(const OpenScan&) = delete;

private:
    com::IReader3DD* reader_;
};

template <typename T>
using ScanArray = platform::LargeBuffer<T>;

// Zeroed by the system (no clearing pass over memory that the reader overwrites right after),
// and on huge pages where they are offered: a whole scan is hundreds of MiB.
template <typename T>
ScanArray<T> zeroedArray(uint64_t count) {
    ScanArray<T> array = platform::allocateLargeArray<T>(static_cast<size_t>(count));
    if (!array)
        throw ReaderFailure{"out of memory for an array of " + std::to_string(count) + " values"};
    return array;
}

bool anyAbove(const float* values, uint64_t count, float threshold) {
    for (uint64_t i = 0; i < count; ++i)
        if (values[i] > threshold) return true;
    return false;
}

// The reader object through its grid interface.
void createReader(com::ComRef<com::IReader3DD>& reader) {
    com::ComRef<com::IUnknown> object;
    const com::HRESULT created = com::CoCreateInstance(
        com::CLSID_Reader3DD, nullptr, kServerContext, com::IID_IUnknown, object.out());
    if (isClassNotRegistered(created))
        throw ReaderFailure{"the grid reader's class is not registered (HRESULT " +
                            hresultText(created) + "): register " +
                            std::string(com::kReader3DDLibrary) +
                            " once (on Windows with regsvr32)"};
    check(created, "CoCreateInstance");
    check(com::OleRun(object.get()), "OleRun");
    const com::HRESULT found = object->QueryInterface(com::IID_IReader3DD, reader.out());
    check(found, "QueryInterface");
    if (!reader)
        throw ReaderFailure{
            "the grid reader object has no grid interface (QueryInterface "
            "answered " +
            hresultText(found) + ")"};
}

// A grid no file of this size can hold is refused before anything is allocated.
void checkPlausibleGrid(int32_t rows, int32_t columns, const WideChar* path) {
    const std::string size = std::to_string(rows) + " x " + std::to_string(columns);
    if (rows < 0 || columns < 0)
        throw ReaderFailure{"the grid reader gives a negative grid size, " + size};
    const uint64_t cells = static_cast<uint64_t>(rows) * static_cast<uint64_t>(columns);
    if (cells > static_cast<uint64_t>(INT32_MAX))  // the fetch counts are 32-bit
        throw ReaderFailure{"a grid of " + size + " cells is larger than a scan can be"};
    const int64_t fileSize = platform::InputFile::open(ks_common::toUtf8(path)).size();
    if (fileSize >= 0 && cells > static_cast<uint64_t>(fileSize))
        throw ReaderFailure{"a grid of " + size + " cells cannot be in a file of " +
                            std::to_string(fileSize) +
                            " bytes: the file is shorter than its "
                            "header says"};
}

}  // namespace

_3DDHandler::_3DDHandler()
    : FileTypeHandler(KS_WIDE("Riegl RSP/RDB/RXP/3DD importer (module)"), KS_WIDE("3dd")),
      scanMatrix_(Matrix4d::identity()) {}

_3DDHandler::~_3DDHandler() { com::CoUninitialize(); }

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
    // A host may convert on a thread of its own, where nobody set up the component layer.
    const com::ThreadScope componentLayer;
    try {
        com::ComRef<com::IReader3DD> reader;
        createReader(reader);
        const com::OwnedBstr pathText(path);
        const com::OwnedBstr noOptions(KS_WIDE(""));
        if (const com::HRESULT opened = reader->Open(pathText.get(), noOptions.get(), 0, 0, 0);
            !isOk(opened))
            throw ReaderFailure{"the grid reader's Open answered HRESULT " + hresultText(opened) +
                                ": the file is missing or no grid scan"};
        const OpenScan open(reader.get());

        check(reader->SetOptionA(kOptionA), "SetOptionA");
        check(reader->SetOptionB(kOptionB), "SetOptionB");
        int32_t rows = 0, columns = 0;
        check(reader->GetDimensions(&rows, &columns), "GetDimensions");
        checkPlausibleGrid(rows, columns, path);
        const uint64_t cells = static_cast<uint64_t>(rows) * static_cast<uint64_t>(columns);
        const int minimum = batch->getMinimumScanToImport();
        if (cells < static_cast<uint64_t>(std::max(0, minimum))) {
            diagnostics::recordSkip(batch, SkipBelowMinimumSize,
                                    "left out: a grid of " + std::to_string(rows) + " x " +
                                        std::to_string(columns) + " = " + std::to_string(cells) +
                                        " cells is below the minimum scan size of " +
                                        std::to_string(minimum));
            return true;
        }

        auto positions = zeroedArray<float>(cells * 3);
        ScanArray<float> colours, intensities;
        if (batch->getIncludeRGB()) colours = zeroedArray<float>(cells * 3);
        if (batch->getIncludeIntensity()) intensities = zeroedArray<float>(cells);

        const com::HRESULT loaded = reader->LoadData();
        check(loaded, "LoadData");
        if (!isOk(loaded)) return true;  // nothing to fetch: no cloud for this scan
        const int32_t n = static_cast<int32_t>(cells);
        int32_t delivered = 0;
        check(reader->GetPoints(&delivered, positions.get(), com::kReader3DDCartesian,
                                com::kReader3DDXyz, 0, n),
              "GetPoints");
        if (intensities) {
            check(reader->GetIntensities(&delivered, intensities.get(), 0, n), "GetIntensities");
            if (!anyAbove(intensities.get(), cells, kChannelThreshold)) intensities.reset();
        }
        if (colours) {
            check(reader->GetColours(&delivered, colours.get(), 0, n), "GetColours");
            if (!anyAbove(colours.get(), cells * 3, kChannelThreshold)) colours.reset();
        }
        uint32_t cloudFlags = 0;
        if (colours) cloudFlags |= KSIO_CLOUD_COLOUR;
        if (intensities) cloudFlags |= KSIO_CLOUD_INTENSITY;

        ScanImport flow(*batch, scanMatrix_);
        if (!flow.beginCloud(
                {.outputInputName = path,
                 .outputIndex = 0,
                 .cloudFlags = cloudFlags,
                 .cloudName = cloudName,
                 .rows = rows,
                 .columns = columns,
                 .extraGroupFlags = batch->getGenerateNormals() ? KSIO_GROUP_NORMALS : 0u}))
            return false;
        const double s = flow.scale();
        const WriterLibrary& writer = writerLibrary();
        for (uint64_t cell = 0; cell < cells && !flow.cancelled(); ++cell) {
            const float* p = &positions[cell * 3];
            if (std::fabs(p[0]) <= kNullCoordinate && std::fabs(p[1]) <= kNullCoordinate &&
                std::fabs(p[2]) <= kNullCoordinate) {
                writer.addNullPoint();
            } else {
                uint8_t rgb[3] = {0, 0, 0};
                if (colours)
                    for (int c = 0; c < 3; ++c) rgb[c] = low8Bits(colours[cell * 3 + c] * 255.0);
                const int16_t intensity =
                    intensities ? low16Bits((intensities[cell] - 0.5) * kIntensityRange) : 0;
                double xyz[3] = {p[0] * s, p[1] * s, p[2] * s};
                emitPoint(xyz, rgb, intensity, nullptr, 0);
            }
            if (flow.countPoint())
                flow.checkCancelThenReport(filePercent(flow.handledPoints(), cells));
        }
        positions.reset();
        colours.reset();
        intensities.reset();
        if (flow.cancelled()) return flow.finishCancelled();
        flow.finishOutput(batch->_getOutputFilename(path, 0));
        return true;
    } catch (const ReaderFailure& failure) {
        diagnostics::reportFailureUtf8(batch, ResultFailed, PhaseRead,
                                       ks_common::toUtf8(path) + ": " + failure.why);
        return false;
    } catch (const std::bad_alloc&) {
        diagnostics::reportFailureUtf8(batch, ResultFailed, PhaseRead,
                                       ks_common::toUtf8(path) + ": out of memory");
        return false;
    }
}
