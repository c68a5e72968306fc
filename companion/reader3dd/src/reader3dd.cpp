// The grid-scan reader component over grid-scan files: lib3ddreader.so, made through the
// component layer's factory (component_factory.cpp), or 3ddreader.dll, an in-process COM server
// on Windows (com_server_win32.cpp).
//
// Open validates the whole layout against the file's length, so a fetch cannot run past the
// data. The reader holds no copy of the scan: each fetch reads its cells straight from the file
// into the caller's array, so memory stays with the caller. Callers fetch the arrays in file
// order, so the system is told on opening that the file is read front to back, and a fetch
// reads in pieces, asking the system for the piece after the current one before reading it.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "component_object.h"
#include "grid_scan_format.h"
#include "ks_common/little_endian.h"
#include "ks_common/read_ahead.h"
#include "reader3dd_interface.h"
#include "reader3dd_object.h"
#include "scan_file.h"

namespace ks_formats::reader3dd {
namespace {

using namespace ks_formats::com;
namespace fmt = ks_formats::grid_scan;

class Reader final : public ComObject<IReader3DD, IID_IReader3DD> {
public:
    Reader() { ++liveObjects(); }
    ~Reader() override { --liveObjects(); }

    HRESULT KS_COM_CALL Open(BSTR path, BSTR /*options*/, int32_t, int32_t, int32_t) override {
        Close();
        if (!path) return E_POINTER;
        try {
            File file = openScanFile(path);
            if (!file) return STG_E_FILENOTFOUND;
            ks_common::adviseSequentialReading(file.get());
            unsigned char header[fmt::kHeaderSize];
            if (std::fread(header, 1, sizeof header, file.get()) != sizeof header ||
                std::memcmp(header, fmt::kMagic, sizeof fmt::kMagic) != 0 ||
                ks_common::load<uint32_t>(header + fmt::kOffsetVersion) != fmt::kVersion)
                return STG_E_INVALIDHEADER;
            const int32_t rows = ks_common::load<int32_t>(header + fmt::kOffsetRows);
            const int32_t columns = ks_common::load<int32_t>(header + fmt::kOffsetColumns);
            const uint32_t channels = ks_common::load<uint32_t>(header + fmt::kOffsetChannels);
            if (rows < 0 || columns < 0 || (channels & ~fmt::kKnownChannels) != 0)
                return STG_E_INVALIDHEADER;

            // The data must fill the file exactly. The cell count is checked against what the
            // file can hold before it is multiplied out, so no product can overflow.
            const int64_t fileSize = scanFileSize(file.get());
            if (fileSize < static_cast<int64_t>(fmt::kHeaderSize)) return E_FAIL;
            const uint64_t dataBytes = static_cast<uint64_t>(fileSize) - fmt::kHeaderSize;
            const uint64_t cells = static_cast<uint64_t>(rows) * static_cast<uint64_t>(columns);
            const uint64_t cellBytes = fmt::bytesPerCell(channels);
            if (cells > dataBytes / cellBytes || cells * cellBytes != dataBytes)
                return STG_E_INVALIDHEADER;
            // Fetches address cells with 32-bit numbers.
            if (cells > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
                return STG_E_INVALIDHEADER;

            file_ = std::move(file);
            rows_ = rows;
            columns_ = columns;
            channels_ = channels;
            cells_ = cells;
            return S_OK;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

    HRESULT KS_COM_CALL Close() override {
        file_.reset();
        loaded_ = false;
        return S_OK;
    }

    HRESULT KS_COM_CALL LoadData() override {
        if (!file_) return E_UNEXPECTED;
        loaded_ = true;
        return cells_ == 0 ? S_FALSE : S_OK;
    }

    HRESULT KS_COM_CALL GetDimensions(int32_t* rows, int32_t* columns) override {
        if (!rows || !columns) return E_POINTER;
        if (!file_) return E_UNEXPECTED;
        *rows = rows_;
        *columns = columns_;
        return S_OK;
    }

    HRESULT KS_COM_CALL GetPoints(int32_t* delivered, float* positions, int32_t coordinates,
                                  int32_t valuesPerCell, int32_t first, int32_t count) override {
        if (coordinates != kReader3DDCartesian || valuesPerCell != kReader3DDXyz) {
            if (delivered) *delivered = 0;
            return E_INVALIDARG;
        }
        return fetch(delivered, positions, first, count, 0, 3, true);
    }

    HRESULT KS_COM_CALL GetIntensities(int32_t* delivered, float* intensities, int32_t first,
                                       int32_t count) override {
        return fetch(delivered, intensities, first, count, cells_ * fmt::kPositionBytes, 1,
                     (channels_ & fmt::kChannelIntensity) != 0);
    }

    HRESULT KS_COM_CALL GetColours(int32_t* delivered, float* colours, int32_t first,
                                   int32_t count) override {
        const uint64_t arrayOffset =
            cells_ * (fmt::kPositionBytes +
                      ((channels_ & fmt::kChannelIntensity) ? fmt::kIntensityBytes : 0));
        return fetch(delivered, colours, first, count, arrayOffset, 3,
                     (channels_ & fmt::kChannelColour) != 0);
    }

    HRESULT KS_COM_CALL SetOptionA(int32_t value) override {
        optionA_ = value;
        return S_OK;
    }
    HRESULT KS_COM_CALL SetOptionB(int32_t value) override {
        optionB_ = value;
        return S_OK;
    }

private:
    // A fetch reads this many floats at a time (8 MiB).
    static constexpr size_t kPieceValues = size_t(1) << 21;

    // Reads cells [first, first + count) of the array at arrayOffset (bytes after the header),
    // valuesPerCell floats each, into out; an absent array is answered with zeros and S_FALSE.
    HRESULT fetch(int32_t* delivered, float* out, int32_t first, int32_t count,
                  uint64_t arrayOffset, size_t valuesPerCell, bool present) {
        if (delivered) *delivered = 0;
        if (!file_ || !loaded_) return E_UNEXPECTED;
        if (first < 0 || count < 0 ||
            static_cast<uint64_t>(first) + static_cast<uint64_t>(count) > cells_)
            return E_INVALIDARG;
        if (count > 0 && !out) return E_POINTER;
        const size_t values = valuesPerCell * static_cast<size_t>(count);
        if (!present) {
            std::memset(out, 0, values * sizeof(float));
            return S_FALSE;
        }
        const uint64_t offset = fmt::kHeaderSize + arrayOffset +
                                static_cast<uint64_t>(first) * valuesPerCell * sizeof(float);
        if (!seekScanFile(file_.get(), offset)) return E_FAIL;
        for (size_t done = 0; done < values;) {
            const size_t piece = std::min(values - done, kPieceValues);
            // The system fetches the next piece (past this array: the start of the next one)
            // while this one is read and converted.
            ks_common::readAhead(file_.get(), offset + (done + piece) * sizeof(float),
                                 kPieceValues * sizeof(float));
            if (std::fread(out + done, sizeof(float), piece, file_.get()) != piece)
                return E_FAIL;  // the file changed after it was opened
            ks_common::fromLittleEndianInPlace(out + done, piece);
            done += piece;
        }
        if (delivered) *delivered = count;
        return S_OK;
    }

    File file_;
    int32_t rows_ = 0;
    int32_t columns_ = 0;
    uint32_t channels_ = 0;
    uint64_t cells_ = 0;
    bool loaded_ = false;
    int32_t optionA_ = 0;
    int32_t optionB_ = 0;
};

}  // namespace

std::atomic<long>& liveObjects() {
    static std::atomic<long> count{0};
    return count;
}

HRESULT createReader(const Guid& iid, void** out) { return createComObject<Reader>(iid, out); }

}  // namespace ks_formats::reader3dd
