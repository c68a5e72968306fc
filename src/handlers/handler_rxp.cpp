#include "handlers/handler_rxp.h"

#include <memory>
#include <new>

#include "batch/batch_diagnostics.h"
#include "handlers/path_buffer.h"
#include "handlers/scan_import.h"
#include "handlers/value_conversion.h"
#include "ks_common/text_encoding.h"
#include "platform/component.h"
#include "platform/input_file.h"
#include "platform/large_buffer.h"
#include "scanifc.h"

using namespace ks_formats;

namespace {

// Stops a stream reader that keeps answering empty frames from holding the import forever.
constexpr int kMaxEmptyFrames = 1000;

// Owns an open stream; closes it on every path (also when the open failed, as the reader
// expects a close for every open).
class StreamHandle {
public:
    explicit StreamHandle(const std::string& uri)
        : code_(scanifc_point3dstream_open(uri.c_str(), 0, &stream_)) {}
    ~StreamHandle() { scanifc_point3dstream_close(stream_); }
    StreamHandle(const StreamHandle&) = delete;
    StreamHandle& operator=(const StreamHandle&) = delete;

    bool opened() const { return code_ == 0; }
    int code() const { return code_; }
    point3dstream_handle get() const { return stream_; }

private:
    point3dstream_handle stream_ = nullptr;
    int code_;
};

}  // namespace

std::string rxpStreamUri(const WideChar* path) {
#if defined(_WIN32)
    // The point-stream library on Windows takes one byte per path character with "/" between
    // components, so a path with a character above U+00FF cannot be named to it.
    std::string uri = "file://";
    for (const WideChar* p = path; p && *p; ++p) {
        const auto unit = static_cast<char16_t>(*p);
        if (unit > 0xFF) return {};
        uri += unit == u'\\' ? '/' : static_cast<char>(unit);
    }
    return uri;
#else
    // The URI is UTF-8 here and carries every character.
    return "file://" + ks_common::toUtf8(path);
#endif
}

// The scanner handlers initialise the component layer on the thread that loads the library.
_RXPHandler::_RXPHandler() { ks_formats::com::CoInitialize(nullptr); }

bool _RXPHandler::acceptsExtension(const WideString& extension) {
    return extensionIsOneOf(extension, KS_WIDE("rxp"), KS_WIDE("RXP"));
}

bool _RXPHandler::import(ImportBatch* batch, ScanInfo* scan) {
    if (!beginScan(batch, scan)) return false;
    const PathBuffer path(scan->getFilename());
    const std::string uri = rxpStreamUri(path.c_str());
    if (uri.empty()) {
        diagnostics::reportFailureUtf8(batch, ResultCannotOpenFile, PhaseRead,
                                       ks_common::toUtf8(path.c_str()) +
                                           ": the stream reader takes no characters above "
                                           "U+00FF in a path");
        return false;
    }
    return readPointStream(batch, uri, path.c_str(), nullptr, kPointsPerRead, 1);
}

bool _RXPHandler::readPointStream(ImportBatch* batch, const std::string& uri, const WideChar* path,
                                  const WideChar* cloudName, uint32_t pointsPerRead,
                                  int scanNumber) {
    if (!batch || pointsPerRead == 0) return false;
    const uint32_t cloudFlags = batch->getIncludeIntensity() ? KSIO_CLOUD_INTENSITY : 0;
    double reflectanceScale = batch->RSPSettings().getReflectanceScale();
    if (!(reflectanceScale > 0)) reflectanceScale = 1.0;
    const bool fromReflectance =
        batch->RSPSettings().getIntensitySource() == RSPOpt::IntensityReflectance;

    const std::string pathText = ks_common::toUtf8(path);
    const auto fail = [&](const std::string& why) {
        diagnostics::reportFailureUtf8(batch, ResultFailed, PhaseRead, pathText + ": " + why);
        return false;
    };
    // The stream reader answers only a code: the system's words for a file that is missing or
    // unreadable come from opening it here first.
    if (const platform::InputFile probe = platform::InputFile::open(pathText); !probe.isOpen()) {
        diagnostics::reportFailureUtf8(batch, ResultFailed, PhaseRead, probe.error());
        return false;
    }
    StreamHandle stream(uri);
    if (!stream.opened())
        return fail("the point-stream reader refused it (code " + std::to_string(stream.code()) +
                    "): it is no point stream, or one of a version the reader does not know");
    platform::LargeBuffer<scanifc_xyz32> positions =
        platform::allocateLargeArray<scanifc_xyz32>(pointsPerRead);
    platform::LargeBuffer<scanifc_attributes> attributes =
        platform::allocateLargeArray<scanifc_attributes>(pointsPerRead);
    if (!positions || !attributes)
        return fail("out of memory for read buffers of " + std::to_string(pointsPerRead) +
                    " records");

    ScanImport flow(*batch, scanMatrix_);
    if (!flow.beginCloud({.outputInputName = path,
                          .outputIndex = scanNumber,
                          .cloudFlags = cloudFlags,
                          .cloudName = cloudName}))
        return false;
    const double s = flow.scale();
    int readFailed = 0;  // the reader's code
    uint64_t recordsRead = 0;
    int emptyFrames = 0;
    // A short read that ends a frame is not the end of the stream: only an empty read without
    // the end-of-frame flag is.
    while (!flow.cancelled()) {
        uint32_t got = 0;
        int32_t endOfFrame = 0;
        if (const int code =
                scanifc_point3dstream_read(stream.get(), pointsPerRead, positions.get(),
                                           attributes.get(), nullptr, &got, &endOfFrame);
            code != 0) {
            readFailed = code;
            break;
        }
        if (got > pointsPerRead) got = pointsPerRead;  // never trust a count beyond the buffer
        recordsRead += got;
        for (uint32_t i = 0; i < got; ++i) {
            double xyz[3] = {positions[i].x * s, positions[i].y * s, positions[i].z * s};
            uint8_t rgb[3] = {0, 0, 0};
            const double raw =
                fromReflectance ? static_cast<double>(attributes[i].reflectance) * reflectanceScale
                                : static_cast<double>(attributes[i].amplitude);
            emitPoint(xyz, rgb, low16Bits(raw), nullptr, 0);
            if (flow.countPoint() && flow.reportAndCheckCancel(50)) break;
        }
        if (got == 0) {
            if (!endOfFrame || ++emptyFrames >= kMaxEmptyFrames) break;
        } else {
            emptyFrames = 0;
        }
    }
    positions.reset();
    attributes.reset();
    if (flow.cancelled()) return flow.finishCancelled();
    flow.finishOutput(flow.outputName());
    if (readFailed)
        return fail("the point-stream reader failed (code " + std::to_string(readFailed) +
                    ") after " + std::to_string(recordsRead) +
                    " records: the stream is damaged or ends inside a record");
    return true;
}
