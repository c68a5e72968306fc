#pragma once

#include <cstdint>
#include <string>

#include "ks_formats/export.h"

namespace ks_formats {

// Wide text is UTF-16 on every platform: char16_t here, wchar_t on Windows.
#if defined(_WIN32)
using WideChar = wchar_t;
#else
using WideChar = char16_t;
#endif
using WideString = std::basic_string<WideChar>;

// A wide text or character literal of type WideChar: KS_WIDE("name"), KS_WIDE('.').
#if defined(_WIN32)
#define KS_WIDE_LITERAL(text) L##text
#else
#define KS_WIDE_LITERAL(text) u##text
#endif
#define KS_WIDE(text) KS_WIDE_LITERAL(text)

// Fixed text buffers hold this many UTF-16 units: 511 characters and a terminating zero.
inline constexpr int kPathBufferUnits = 512;

// Result of every exported operation and of every reported error. Codes of the writer
// library share this numbering and are passed on unchanged.
enum Result : int32_t {
    ResultSuccess = 1,
    ResultFailed = 2,
    ResultOutputFailed = 3,
    ResultInvalidBatch = 5,
    ResultUnsupportedFileType = 10,
    ResultCannotOpenFile = 11,
    ResultCancelled = 12,
};

// Stage of a conversion in which a result or a progress value arose.
enum ConvertPhase : int32_t {
    PhaseSetup = 1,
    PhaseRead = 2,
    PhaseWrite = 3,
};

// Who opens output files: one per scan, one per import file, or one for the whole batch.
enum BatchMode : int32_t {
    BatchModePerScan = 1,
    BatchModePerFile = 2,
    BatchModeSingleFile = 3,
};

// Colour depth setting; stored and returned only.
enum ColorBit : int32_t {
    ColorBit8 = 8,
    ColorBit16 = 16,
};

// Row-major matrix of R x C elements stored one after another; for 4 x 4 placements the
// translation sits in elements (0,3), (1,3), (2,3).
template <int R, int C, typename T>
struct matrix {
    T m[R * C];

    static constexpr int rows = R;
    static constexpr int columns = C;

    static matrix identity() {
        matrix result{};
        constexpr int diagonal = R < C ? R : C;
        for (int i = 0; i < diagonal; ++i) result.m[i * C + i] = T(1);
        return result;
    }

    T& operator()(int row, int column) { return m[row * C + column]; }
    const T& operator()(int row, int column) const { return m[row * C + column]; }
    T* data() { return m; }
    const T* data() const { return m; }

    bool operator==(const matrix& other) const {
        for (int i = 0; i < R * C; ++i)
            if (m[i] != other.m[i]) return false;
        return true;
    }
};

using Matrix4d = matrix<4, 4, double>;
static_assert(sizeof(Matrix4d) == 16 * sizeof(double), "a 4x4 matrix is exactly its 16 doubles");

// Per-point filter: may change the point in place; false writes a null point in its place.
using PointsFilterCallback = bool (*)(double* xyz, uint8_t* rgb, int16_t& intensity, float* normal,
                                      uint8_t& classification);

}  // namespace ks_formats
