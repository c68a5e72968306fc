// Point-stream reader behind the scanifc C interface.
//
// A stream is a file named by a "file://" URI. Records are read from the file in large blocks
// into a buffer owned by the stream and decoded from there into the caller's arrays, so a read of
// millions of records costs a few hundred read calls, not one per record. The file is read front
// to back: the system is told so on opening, and each refill asks it to fetch the block after
// the one just read, which it does while the records are decoded and the caller works on them.

#include "scanifc.h"

#include <bit>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "ks_common/little_endian.h"
#include "ks_common/read_ahead.h"
#include "point_stream_format.h"
#include "stream_file.h"

namespace {

namespace fmt = ks_formats::point_stream;
using scanifc_files::File;
using scanifc_files::openStreamFile;

// Result codes; 0 is success.
enum Code : int {
    kOk = 0,
    kInvalidArgument = 1,  // null argument, or a URI that is not "file://"
    kCannotOpen = 2,       // the file does not exist or cannot be read
    kNotAStream = 3,       // wrong magic or a header cut short
    kUnsupportedVersion = 4,
    kReadError = 5,  // the file could not be read, or it ends inside a record
    kOutOfMemory = 6,
};

// The file path of a URI is everything after "file://", taken verbatim: no host part and no
// percent-decoding, so "%" is an ordinary file-name character ("file://C:/scans/a.rxp" on
// Windows). How the narrow path names a file is the platform's part (stream_file.h).
File openUri(const char* uri, int* code) {
    constexpr std::string_view scheme = "file://";
    const std::string_view text(uri);
    if (text.substr(0, scheme.size()) != scheme || text.size() == scheme.size()) {
        *code = kInvalidArgument;
        return nullptr;
    }
    File file = openStreamFile(std::string(text.substr(scheme.size())));
    *code = file ? kOk : kCannotOpen;
    return file;
}

// On a little-endian machine a record is the point record followed by the attribute record,
// byte for byte: two copies instead of eight field loads.
constexpr bool kRecordIsStructs =
    std::endian::native == std::endian::little && sizeof(scanifc_xyz32) == 12 &&
    sizeof(scanifc_attributes) == 16 && offsetof(scanifc_attributes, reflectance) == 4 &&
    offsetof(scanifc_attributes, deviation) == 8 && offsetof(scanifc_attributes, flags) == 10 &&
    offsetof(scanifc_attributes, background_radiation) == 12 &&
    fmt::kOffsetAmplitude == fmt::kOffsetX + 12 && fmt::kOffsetReflectance == fmt::kOffsetX + 16 &&
    fmt::kOffsetDeviation == fmt::kOffsetX + 20 && fmt::kOffsetFlags == fmt::kOffsetX + 22 &&
    fmt::kOffsetBackground == fmt::kOffsetX + 24 && fmt::kRecordSize == fmt::kOffsetX + 28;

void decodeRecord(const unsigned char* record, scanifc_xyz32& point,
                  scanifc_attributes& attribute) {
    if constexpr (kRecordIsStructs) {
        std::memcpy(&point, record + fmt::kOffsetX, sizeof point);
        std::memcpy(&attribute, record + fmt::kOffsetAmplitude, sizeof attribute);
    } else {
        point.x = ks_common::load<float>(record + fmt::kOffsetX);
        point.y = ks_common::load<float>(record + fmt::kOffsetX + 4);
        point.z = ks_common::load<float>(record + fmt::kOffsetX + 8);
        attribute.amplitude = ks_common::load<float>(record + fmt::kOffsetAmplitude);
        attribute.reflectance = ks_common::load<float>(record + fmt::kOffsetReflectance);
        attribute.deviation = ks_common::load<uint16_t>(record + fmt::kOffsetDeviation);
        attribute.flags = ks_common::load<uint16_t>(record + fmt::kOffsetFlags);
        attribute.background_radiation = ks_common::load<float>(record + fmt::kOffsetBackground);
    }
}

}  // namespace

struct scanifc_stream {
    // Records decoded per refill of the buffer (about 450 KiB of file data). Fuzzing builds
    // refill in small steps: their inputs are small, and the refills then fall inside them.
#if defined(KS_FUZZING_BUILD)
    static constexpr size_t kBufferRecords = 64;
#else
    static constexpr size_t kBufferRecords = 16384;
#endif

    File file;
    std::vector<unsigned char> buffer;
    size_t position = 0;      // first unread byte in the buffer
    size_t end = 0;           // one past the last valid byte in the buffer
    uint64_t fileOffset = 0;  // the file's bytes read so far, header included
    bool atEndOfFile = false;
    int pendingError = kOk;  // reported by the next read

    size_t available() const { return end - position; }

    // Moves the unread tail to the front and fills the rest of the buffer from the file, then
    // has the system fetch the next buffer's worth while this one is decoded.
    bool refill() {
        const size_t tail = available();
        std::memmove(buffer.data(), buffer.data() + position, tail);
        position = 0;
        end = tail;
        while (!atEndOfFile && end < buffer.size()) {
            const size_t got = std::fread(buffer.data() + end, 1, buffer.size() - end, file.get());
            end += got;
            fileOffset += got;
            if (got == 0) {
                if (std::ferror(file.get())) return false;
                atEndOfFile = true;
            }
        }
        if (!atEndOfFile) ks_common::readAhead(file.get(), fileOffset, buffer.size());
        return true;
    }
};

extern "C" {

SCANIFC_API int scanifc_point3dstream_open(const char* uri, int /*flag: no options exist*/,
                                           point3dstream_handle* stream) {
    if (!stream) return kInvalidArgument;
    *stream = nullptr;
    if (!uri) return kInvalidArgument;
    try {
        int code = kOk;
        File file = openUri(uri, &code);
        if (!file) return code;
        ks_common::adviseSequentialReading(file.get());

        unsigned char header[fmt::kHeaderSize];
        if (std::fread(header, 1, sizeof header, file.get()) != sizeof header) return kNotAStream;
        if (std::memcmp(header, fmt::kMagic, sizeof fmt::kMagic) != 0) return kNotAStream;
        if (ks_common::load<uint32_t>(header + fmt::kOffsetVersion) != fmt::kVersion)
            return kUnsupportedVersion;

        auto result = std::make_unique<scanifc_stream>();
        result->file = std::move(file);
        result->fileOffset = sizeof header;
        result->buffer.resize(scanifc_stream::kBufferRecords * fmt::kRecordSize);
        *stream = result.release();
        return kOk;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
}

// Delivers up to want records. The read stops after a record that ends a frame, with endOfFrame
// set. When the file ends inside a record, the whole records before it are delivered first and
// the error is answered by the read that finds nothing else to deliver.
SCANIFC_API int scanifc_point3dstream_read(point3dstream_handle stream, uint32_t want,
                                           scanifc_xyz32* xyz, scanifc_attributes* attributes,
                                           uint64_t* times, uint32_t* got, int32_t* endOfFrame) {
    if (got) *got = 0;
    if (endOfFrame) *endOfFrame = 0;
    if (!stream || !got || !endOfFrame || (want > 0 && (!xyz || !attributes)))
        return kInvalidArgument;

    uint32_t delivered = 0;
    while (delivered < want) {
        if (stream->available() < fmt::kRecordSize) {
            if (stream->pendingError != kOk) break;
            if (!stream->refill()) {
                stream->pendingError = kReadError;
                break;
            }
            if (stream->available() < fmt::kRecordSize) {
                if (stream->available() > 0) stream->pendingError = kReadError;
                break;
            }
        }
        const unsigned char* record = stream->buffer.data() + stream->position;
        stream->position += fmt::kRecordSize;

        decodeRecord(record, xyz[delivered], attributes[delivered]);
        const scanifc_attributes& attribute = attributes[delivered];
        // The format carries no time stamps.
        if (times) times[delivered] = 0;
        ++delivered;
        if (attribute.flags & fmt::kEndOfFrame) {
            *endOfFrame = 1;
            break;
        }
    }
    *got = delivered;
    if (delivered == 0 && want > 0 && stream->pendingError != kOk) return stream->pendingError;
    return kOk;
}

SCANIFC_API int scanifc_point3dstream_close(point3dstream_handle stream) {
    if (!stream) return kInvalidArgument;
    delete stream;
    return kOk;
}

}  // extern "C"
