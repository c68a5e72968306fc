// The component layer on Windows: COM itself. Each call forwards to ole32 and oleaut32; the
// class registration of registerComponentLibrary is the user's own class key in the registry,
// HKEY_CURRENT_USER\Software\Classes\CLSID\{...}\InprocServer32, which COM reads in front of
// the machine's.
#include <algorithm>
#include <string>

#include "ks_common/text_encoding.h"
#include "platform/component.h"

namespace ks_formats::com {

namespace {

// "Software\Classes\CLSID\{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
std::wstring userClassKey(const Guid& clsid) {
    wchar_t text[40] = {};
    if (StringFromGUID2(clsid, text, 40) == 0) return {};
    return std::wstring(L"Software\\Classes\\CLSID\\") + text;
}

// The server registered in the user's class key of clsid, as UTF-8; "" when there is none.
std::string registeredServer(const std::wstring& serverKey) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, serverKey.c_str(), 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return {};
    std::wstring value;
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ) && bytes >= sizeof(wchar_t)) {
        value.resize(bytes / sizeof(wchar_t));
        if (RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value.data()),
                             &bytes) != ERROR_SUCCESS)
            value.clear();
        value.resize(std::min<size_t>(value.size(), bytes / sizeof(wchar_t)));
        while (!value.empty() && value.back() == L'\0') value.pop_back();
    }
    RegCloseKey(key);
    return ks_common::toUtf8(value.c_str());
}

LONG setText(HKEY key, const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

HRESULT CoInitialize(void* reserved) { return ::CoInitialize(reserved); }

void CoUninitialize() { ::CoUninitialize(); }

HRESULT CoCreateInstance(const Guid& clsid, IUnknown* outer, uint32_t context, const Guid& iid,
                         void** object) {
    if (!object) return E_POINTER;
    return ::CoCreateInstance(clsid, outer, static_cast<DWORD>(context), iid, object);
}

HRESULT OleRun(IUnknown* object) { return ::OleRun(object); }

std::string registerComponentLibrary(const Guid& clsid, const std::string& libraryFile) {
    const std::wstring classKey = userClassKey(clsid);
    if (classKey.empty()) return {};
    const std::wstring serverKey = classKey + L"\\InprocServer32";
    std::string previous = registeredServer(serverKey);
    if (libraryFile.empty()) {
        RegDeleteKeyW(HKEY_CURRENT_USER, serverKey.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, classKey.c_str());
        return previous;
    }
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, serverKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
        setText(key, nullptr, ks_common::decodeLenientUtf8(libraryFile));
        setText(key, L"ThreadingModel", L"Both");
        RegCloseKey(key);
    }
    return previous;
}

BSTR SysAllocString(const WideChar* text) { return text ? ::SysAllocString(text) : nullptr; }

void SysFreeString(BSTR text) { ::SysFreeString(text); }

uint32_t SysStringLen(BSTR text) { return ::SysStringLen(text); }

}  // namespace ks_formats::com
