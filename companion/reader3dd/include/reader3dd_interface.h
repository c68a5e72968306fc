#pragma once

// The grid-scan reader component: opens a scan, tells its grid size and delivers its positions,
// intensities and colours as float arrays over rows x columns cells in row-major order
// (cell index = row x columns + column).
//
// Conversation: Open, SetOptionA, SetOptionB, GetDimensions, LoadData, then the Get* fetches,
// then Close. The vtable order below is the interface's binary layout: never reorder it. On
// Windows the methods use the COM calling convention, so any COM client can call them.

#include <cstdint>

#include "component_types.h"

namespace ks_formats::com {

inline constexpr Guid CLSID_Reader3DD = makeGuid("DE65DA79-7A56-47F7-90AF-71891E30CCE7");
inline constexpr Guid IID_IReader3DD = makeGuid("49E8CFD2-6619-4369-82E3-64B6457666BE");

// The library file that serves CLSID_Reader3DD.
#if defined(_WIN32)
inline constexpr const char* kReader3DDLibrary = "3ddreader.dll";
#else
inline constexpr const char* kReader3DDLibrary = "lib3ddreader.so";
#endif

// Values the fetches take for their layout arguments.
inline constexpr int32_t kReader3DDCartesian = 4;  // GetPoints: positions as x, y, z
inline constexpr int32_t kReader3DDXyz = 3;        // GetPoints: three floats per cell

// The Windows IUnknown has a public, non-virtual destructor; objects are destroyed by their last
// Release, never through an interface pointer, so GCC's warning about it does not apply.
#if defined(_WIN32) && defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif
class IReader3DD : public IUnknown {
public:
    // Opens the scan file at path. options, a, b and c select nothing yet: pass "", 0, 0, 0.
    // S_OK only when the file is a well-formed scan.
    virtual HRESULT KS_COM_CALL Open(BSTR path, BSTR options, int32_t a, int32_t b, int32_t c) = 0;
    virtual HRESULT KS_COM_CALL Close() = 0;
    // Prepares the fetches. S_FALSE: the scan has no cells, there is nothing to fetch.
    virtual HRESULT KS_COM_CALL LoadData() = 0;
    virtual HRESULT KS_COM_CALL GetDimensions(int32_t* rows, int32_t* columns) = 0;
    // The fetches fill count cells from cell first on into the caller's array (3 floats per
    // cell for positions and colours, 1 for intensities) and set *delivered to the cells read
    // from the scan. A channel the scan lacks is answered with zeros and S_FALSE.
    virtual HRESULT KS_COM_CALL GetPoints(int32_t* delivered, float* positions, int32_t coordinates,
                                          int32_t valuesPerCell, int32_t first, int32_t count) = 0;
    virtual HRESULT KS_COM_CALL GetIntensities(int32_t* delivered, float* intensities,
                                               int32_t first, int32_t count) = 0;
    virtual HRESULT KS_COM_CALL GetColours(int32_t* delivered, float* colours, int32_t first,
                                           int32_t count) = 0;
    // Reading options; remembered, with no effect on what this reader delivers.
    virtual HRESULT KS_COM_CALL SetOptionA(int32_t value) = 0;
    virtual HRESULT KS_COM_CALL SetOptionB(int32_t value) = 0;

protected:
    ~IReader3DD() = default;
};
#if defined(_WIN32) && defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

}  // namespace ks_formats::com
