#pragma once

// The component layer: per-thread initialisation, creation of objects served by component
// libraries, and the strings handed to them. Base types (Guid, HRESULT, IUnknown, BSTR) live in
// component_types.h, which component libraries include as well.
//
// On Windows the layer is COM (component_win32.cpp): each function forwards to the ole32 or
// oleaut32 function of the same name, with its results, and classes are found in the registry.
// Elsewhere (component.cpp) it is our own, as described below.

#include <string>

#include "component_types.h"

namespace ks_formats::com {

// Counts per thread: the first call on a thread answers S_OK, further calls S_FALSE. The
// argument is reserved and ignored.
HRESULT CoInitialize(void* reserved);
// Undoes one CoInitialize of this thread; without one it does nothing.
void CoUninitialize();

// Creates an object of class clsid and answers it through iid in *object (null on failure).
// Fails with CO_E_NOTINITIALIZED on a thread without CoInitialize, REGDB_E_CLASSNOTREG for a
// class without a registered library or a context without CLSCTX_INPROC_SERVER,
// CO_E_DLLNOTFOUND when the library does not load, CO_E_ERRORINDLL when it lacks the factory,
// CLASS_E_NOAGGREGATION for an outer object; otherwise the factory's answer.
HRESULT CoCreateInstance(const Guid& clsid, IUnknown* outer, uint32_t context, const Guid& iid,
                         void** object);

// Puts an object into its running state; in-process objects always run: S_OK for any object.
HRESULT OleRun(IUnknown* object);

// Registers the library file (a bare file name is found the way the system finds libraries,
// this library's folder first) that serves clsid, in place of any earlier one; an empty name
// removes the registration. Answers the file registered before, or "". CLSID_Reader3DD is
// registered to lib3ddreader.so from the start. On Windows this is the user's class key,
// HKEY_CURRENT_USER\Software\Classes\CLSID\{clsid}\InprocServer32, and the 3DD reader is
// registered by its own DllRegisterServer (regsvr32), not from the start.
std::string registerComponentLibrary(const Guid& clsid, const std::string& libraryFile);

// A copy of text (null: null) as a BSTR; null when memory runs out.
BSTR SysAllocString(const WideChar* text);
// Frees a BSTR from SysAllocString; null is ignored.
void SysFreeString(BSTR text);
// The length in units of a BSTR (0 for null).
uint32_t SysStringLen(BSTR text);

}  // namespace ks_formats::com

namespace ks_formats::com {

// Holds one reference to an interface and releases it when it goes.
template <typename Interface>
class ComRef {
public:
    ComRef() = default;
    ~ComRef() { reset(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    Interface* get() const { return object_; }
    Interface* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    // Address for a creating call to fill; drops what was held.
    void** out() {
        reset();
        return reinterpret_cast<void**>(&object_);
    }
    void reset() {
        if (object_) object_->Release();
        object_ = nullptr;
    }

private:
    Interface* object_ = nullptr;
};

// Initialises the component layer on the calling thread for as long as it lives and balances
// that when it goes. On a thread that was initialised already it only adds a count, so any
// thread a host converts on can create objects.
class ThreadScope {
public:
    ThreadScope() : result_(CoInitialize(nullptr)) {}
    ~ThreadScope() {
        if (result_ >= 0) CoUninitialize();
    }
    ThreadScope(const ThreadScope&) = delete;
    ThreadScope& operator=(const ThreadScope&) = delete;
    HRESULT result() const { return result_; }

private:
    HRESULT result_;
};

// A BSTR owned for the length of a call.
class OwnedBstr {
public:
    explicit OwnedBstr(const WideChar* text) : text_(SysAllocString(text)) {}
    ~OwnedBstr() { SysFreeString(text_); }
    OwnedBstr(const OwnedBstr&) = delete;
    OwnedBstr& operator=(const OwnedBstr&) = delete;
    BSTR get() const { return text_; }

private:
    BSTR text_;
};

}  // namespace ks_formats::com
