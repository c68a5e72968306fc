#pragma once

// Base types of the component layer, shared by the library and the component libraries it
// loads (header only: a component needs no link to the library).
//
// On Windows the component layer is COM itself: Guid, HRESULT, IUnknown, BSTR and ULONG are the
// Windows types, and the result codes (S_OK, E_NOINTERFACE, REGDB_E_CLASSNOTREG, ...) and
// CLSCTX_INPROC_SERVER are the macros and enumerators of the Windows headers. Code written for
// both builds therefore names those codes unqualified, from inside ks_formats::com or after
// `using namespace ks_formats::com`.
//
// Elsewhere the layer is our own. A component library exports one factory,
//     extern "C" int32_t ksCreateComponent(const Guid* clsid, const Guid* iid, void** out);
// which creates an object of the class clsid and answers it through the interface iid.
// Objects are reference counted through IUnknown; results are HRESULT values, negative for
// failure; the codes keep their Windows values.

#include <cstdint>

#include "ks_formats/types.h"

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <objbase.h>
#include <oleauto.h>

// Interface methods use the COM calling convention (__stdcall on 32-bit Windows).
#define KS_COM_CALL STDMETHODCALLTYPE

namespace ks_formats::com {

using Guid = ::GUID;
using ::BSTR;
using ::HRESULT;
using ::IUnknown;
using ::ULONG;

}  // namespace ks_formats::com

#else

// Interface methods use the platform's ordinary calling convention.
#define KS_COM_CALL

namespace ks_formats::com {

using HRESULT = int32_t;
using ULONG = uint32_t;

constexpr HRESULT makeHresult(uint32_t code) { return static_cast<HRESULT>(code); }

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOINTERFACE = makeHresult(0x80004002u);
inline constexpr HRESULT E_POINTER = makeHresult(0x80004003u);
inline constexpr HRESULT E_FAIL = makeHresult(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = makeHresult(0x8000FFFFu);
inline constexpr HRESULT E_OUTOFMEMORY = makeHresult(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = makeHresult(0x80070057u);
inline constexpr HRESULT STG_E_FILENOTFOUND = makeHresult(0x80030002u);
inline constexpr HRESULT STG_E_INVALIDHEADER = makeHresult(0x800300FBu);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = makeHresult(0x80040110u);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = makeHresult(0x80040111u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = makeHresult(0x80040154u);
inline constexpr HRESULT CO_E_NOTINITIALIZED = makeHresult(0x800401F0u);
inline constexpr HRESULT CO_E_DLLNOTFOUND = makeHresult(0x800401F8u);
inline constexpr HRESULT CO_E_ERRORINDLL = makeHresult(0x800401F9u);

struct Guid {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];

    constexpr bool operator==(const Guid&) const = default;
};

// Every interface derives from IUnknown. An object lives while it holds references; the last
// Release destroys it, so objects are never deleted directly.
class IUnknown {
public:
    // On success *object holds an added reference; on failure it is null.
    virtual HRESULT QueryInterface(const Guid& iid, void** object) = 0;
    // Both answer the new reference count.
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

// A string handed across the interface: UTF-16, zero-terminated, its length stored before its
// first unit. Made by SysAllocString, freed by SysFreeString; a callee only reads it.
using BSTR = WideChar*;

// The class context asking for an object in the calling process.
inline constexpr uint32_t CLSCTX_INPROC_SERVER = 0x1;

// The factory every component library exports.
using CreateComponentFunction = int32_t (*)(const Guid* clsid, const Guid* iid, void** out);
inline constexpr const char* kCreateComponentSymbol = "ksCreateComponent";

}  // namespace ks_formats::com

#endif

namespace ks_formats::com {

constexpr bool succeeded(HRESULT result) { return result >= 0; }
constexpr bool failed(HRESULT result) { return result < 0; }

namespace detail {
constexpr uint32_t hexDigits(const char* text, int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
        const char c = text[i];
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                 : throw "not a hexadecimal digit";
        value = value * 16 + static_cast<uint32_t>(digit);
    }
    return value;
}
}  // namespace detail

// A Guid from its registry form without braces, "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", checked
// at compile time.
consteval Guid makeGuid(const char (&text)[37]) {
    if (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
        throw "a Guid is written XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX";
    // Positional, so that it fills our own Guid (data1..) and the Windows GUID (Data1..) alike.
    const auto byte = [&text](int at) {
        return static_cast<uint8_t>(detail::hexDigits(text + at, 2));
    };
    return Guid{detail::hexDigits(text, 8),
                static_cast<uint16_t>(detail::hexDigits(text + 9, 4)),
                static_cast<uint16_t>(detail::hexDigits(text + 14, 4)),
                {byte(19), byte(21), byte(24), byte(26), byte(28), byte(30), byte(32), byte(34)}};
}

inline constexpr Guid IID_IUnknown = makeGuid("00000000-0000-0000-C000-000000000046");

}  // namespace ks_formats::com
