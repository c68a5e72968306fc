#include "handlers/handler_rxp.h"

#include <memory>
#include <new>

#include "batch/batch_diagnostics.h"
#include "handlers/path_buffer.h"
#include "handlers/scan_import.h"
#include "handlers/value_conversion.h"
#include "ks_common/text_encoding.h"
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

namespace {

// A point stream read in steps of pointsPerRead records into two buffers allocated once.
class StreamPoints : public PointSource {
public:
    StreamPoints(const std::string& uri, const std::string& path, uint32_t pointsPerRead,
                 ImportBatch& batch, double scale)
        : stream_(uri), path_(path), pointsPerRead_(pointsPerRead), scale_(scale) {
        const double reflectanceScale = batch.RSPSettings().getReflectanceScale();
        reflectanceScale_ = reflectanceScale > 0 ? reflectanceScale : 1.0;
        fromReflectance_ = batch.RSPSettings().getIntensitySource() == RSPOpt::IntensityReflectance;
        if (!stream_.opened())
            throw ConversionFailure(
                ResultFailed, PhaseRead, path_,
                "the point-stream reader refused it (code " + std::to_string(stream_.code()) +
                    "): it is no point stream, or one of a version the reader does not know");
        positions_ = platform::allocateLargeArray<scanifc_xyz32>(pointsPerRead);
        attributes_ = platform::allocateLargeArray<scanifc_attributes>(pointsPerRead);
        if (!positions_ || !attributes_)
            throw ConversionFailure(
                ResultFailed, PhaseRead, path_,
                "out of memory for read buffers of " + std::to_string(pointsPerRead) + " records");
    }

    // A short read that ends a frame is not the end of the stream: only an empty read without
    // the end-of-frame flag is.
    bool readSome(PointOutput& out) override {
        uint32_t got = 0;
        int32_t endOfFrame = 0;
        if (const int code =
                scanifc_point3dstream_read(stream_.get(), pointsPerRead_, positions_.get(),
                                           attributes_.get(), nullptr, &got, &endOfFrame);
            code != 0) {
            readFailed_ = code;
            return false;
        }
        if (got > pointsPerRead_) got = pointsPerRead_;  // never trust a count beyond the buffer
        recordsRead_ += got;
        const double s = scale_;
        for (uint32_t i = 0; i < got; ++i) {
            double xyz[3] = {positions_[i].x * s, positions_[i].y * s, positions_[i].z * s};
            uint8_t rgb[3] = {0, 0, 0};
            const double raw = fromReflectance_ ? static_cast<double>(attributes_[i].reflectance) *
                                                      reflectanceScale_
                                                : static_cast<double>(attributes_[i].amplitude);
            if (!out.point(xyz, rgb, low16Bits(raw), nullptr, 0)) return false;
        }
        if (got == 0) return endOfFrame && ++emptyFrames_ < kMaxEmptyFrames;
        emptyFrames_ = 0;
        return true;
    }

    // A stream has no size to measure against: half way, all along.
    int filePercent() const override { return 50; }

    void endReading() override {
        positions_.reset();
        attributes_.reset();
    }

    void checkWholeRead() const override {
        if (readFailed_)
            throw ConversionFailure(ResultFailed, PhaseRead, path_,
                                    "the point-stream reader failed (code " +
                                        std::to_string(readFailed_) + ") after " +
                                        std::to_string(recordsRead_) +
                                        " records: the stream is damaged or ends inside a record");
    }

private:
    StreamHandle stream_;
    std::string path_;
    uint32_t pointsPerRead_;
    double scale_;
    double reflectanceScale_ = 1.0;
    bool fromReflectance_ = false;
    platform::LargeBuffer<scanifc_xyz32> positions_;
    platform::LargeBuffer<scanifc_attributes> attributes_;
    int readFailed_ = 0;  // the reader's code
    uint64_t recordsRead_ = 0;
    int emptyFrames_ = 0;
};

}  // namespace

bool _RXPHandler::readPointStream(ImportBatch* batch, const std::string& uri, const WideChar* path,
                                  const WideChar* cloudName, uint32_t pointsPerRead,
                                  int scanNumber) {
    if (!batch || pointsPerRead == 0) return false;
    return guardedImport(*batch, path, [&] {
        const std::string pathText = ks_common::toUtf8(path);
        // The stream reader answers only a code: the system's words for a file that is missing
        // or unreadable come from opening it here first.
        if (const platform::InputFile probe = platform::InputFile::open(pathText); !probe.isOpen())
            throw ConversionFailure(ResultFailed, PhaseRead, probe.error());
        ScanImport flow(*batch, *this, scanMatrix_);
        StreamPoints points(uri, pathText, pointsPerRead, *batch, flow.scale());
        return flow.run({.outputInputName = path,
                         .outputIndex = scanNumber,
                         .cloudFlags = batch->getIncludeIntensity() ? KSIO_CLOUD_INTENSITY : 0u,
                         .cloudName = cloudName},
                        points);
    });
}
