// 3ddreader.dll as an in-process COM server: the class object of CLSID_Reader3DD, and the four
// entry points every in-process server exports (named in 3ddreader.def, undecorated):
// DllGetClassObject, DllCanUnloadNow, DllRegisterServer (what regsvr32 calls) and
// DllUnregisterServer.
//
// Registration writes HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32 = this DLL's full path,
// ThreadingModel = Both (a reader object belongs to whoever made it; separate objects share
// nothing). Where HKEY_CLASSES_ROOT is not writable (no administrator rights), the class goes to
// the user's own classes, HKEY_CURRENT_USER\Software\Classes, which COM reads as well.
#include <olectl.h>

#include <atomic>
#include <string>

#include "component_object.h"
#include "reader3dd_interface.h"
#include "reader3dd_object.h"

namespace {

using namespace ks_formats::com;
using ks_formats::reader3dd::createReader;
using ks_formats::reader3dd::liveObjects;

constexpr Guid kIidClassFactory = makeGuid("00000001-0000-0000-C000-000000000046");

// References to the class object and LockServer(TRUE) calls: either keeps the server loaded.
std::atomic<long> serverLocks{0};

// COM objects are destroyed by their last Release, never through an interface pointer: the
// interfaces have no virtual destructor by design.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class ClassFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid != ks_formats::com::IID_IUnknown && iid != kIidClassFactory) return E_NOINTERFACE;
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    // One class object for the process, never deleted: its count only guards the unloading.
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++serverLocks) + 1; }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--serverLocks) + 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return createReader(iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            ++serverLocks;
        else
            --serverLocks;
        return S_OK;
    }
};
#pragma GCC diagnostic pop

ClassFactory classObject;

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", the registry's form of a class id.
std::wstring registryForm(const Guid& guid) {
    static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
    std::wstring text = L"{";
    const auto put = [&text](uint32_t value, int digits) {
        for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
            text += kHex[(value >> shift) & 0xF];
    };
    put(guid.Data1, 8);
    text += L'-';
    put(guid.Data2, 4);
    text += L'-';
    put(guid.Data3, 4);
    text += L'-';
    put(guid.Data4[0], 2);
    put(guid.Data4[1], 2);
    text += L'-';
    for (int i = 2; i < 8; ++i) put(guid.Data4[i], 2);
    text += L'}';
    return text;
}

// The class's key below a classes root: "CLSID\{...}".
std::wstring classKey() { return L"CLSID\\" + registryForm(CLSID_Reader3DD); }

// The full path of this DLL, wherever it was loaded from; empty when it cannot be found.
std::wstring ownPath() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&classObject), &self))
        return {};
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);  // cut short: try again with more room
    }
}

LONG setText(HKEY key, const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// Writes the server's key below root\prefix.
LONG writeServerKey(HKEY root, const std::wstring& prefix, const std::wstring& dllPath) {
    HKEY key = nullptr;
    const std::wstring name = prefix + classKey() + L"\\InprocServer32";
    LONG result = RegCreateKeyExW(root, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_SET_VALUE, nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS) return result;
    result = setText(key, nullptr, dllPath);
    if (result == ERROR_SUCCESS) result = setText(key, L"ThreadingModel", L"Both");
    RegCloseKey(key);
    return result;
}

// Removes the server's key below root\prefix; a key that is not there counts as removed.
bool removeServerKey(HKEY root, const std::wstring& prefix) {
    const std::wstring name = prefix + classKey();
    const LONG server = RegDeleteKeyW(root, (name + L"\\InprocServer32").c_str());
    const LONG cls = RegDeleteKeyW(root, name.c_str());
    return (server == ERROR_SUCCESS || server == ERROR_FILE_NOT_FOUND) &&
           (cls == ERROR_SUCCESS || cls == ERROR_FILE_NOT_FOUND);
}

}  // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_Reader3DD) return CLASS_E_CLASSNOTAVAILABLE;
    return classObject.QueryInterface(iid, object);
}

STDAPI DllCanUnloadNow() { return liveObjects() == 0 && serverLocks == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
    const std::wstring dllPath = ownPath();
    if (dllPath.empty()) return SELFREG_E_CLASS;
    LONG result = writeServerKey(HKEY_CLASSES_ROOT, L"", dllPath);
    if (result == ERROR_ACCESS_DENIED)
        result = writeServerKey(HKEY_CURRENT_USER, L"Software\\Classes\\", dllPath);
    return result == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer() {
    // The user's own classes first: HKEY_CLASSES_ROOT shows them in front of the machine's.
    const bool user = removeServerKey(HKEY_CURRENT_USER, L"Software\\Classes\\");
    const bool machine = removeServerKey(HKEY_CLASSES_ROOT, L"");
    return user && machine ? S_OK : SELFREG_E_CLASS;
}
