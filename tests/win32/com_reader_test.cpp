// The grid-scan reader as a real COM server: 3ddreader.dll registers itself through its own
// DllRegisterServer, a reader is made from that registration as COM makes it (the registered
// DLL loaded, its class object asked for a reader), the reader is used through IReader3DD with
// the COM calling convention, and DllUnregisterServer takes the class away again.
//
// The registration never reaches the registry that other programs see: for the length of a test
// the process's classes root and user root are mapped to a key of the test's own
// (RegOverridePredefKey). Hosts converting grid scans in the same Wine session or on the same
// machine, with the reader registered by an installer or regsvr32, keep their registration
// whatever these tests do and whenever they run.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ks_sampledata/grid_scan.h"
#include "reader3dd_interface.h"

namespace {

using ks_formats::com::CLSID_Reader3DD;
using ks_formats::com::IID_IReader3DD;
using ks_formats::com::IReader3DD;

std::filesystem::path programFolder() {
    std::wstring path(MAX_PATH * 4, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    return std::filesystem::path(path).parent_path();
}

std::filesystem::path serverPath() { return programFolder() / L"3ddreader.dll"; }

// A server DLL, loaded for the length of a test so that its entry points can be called
// directly, as regsvr32 and COM do.
class ServerDll {
public:
    explicit ServerDll(const std::filesystem::path& path) : module_(LoadLibraryW(path.c_str())) {}
    ~ServerDll() {
        if (module_) FreeLibrary(module_);
    }
    ServerDll(const ServerDll&) = delete;
    ServerDll& operator=(const ServerDll&) = delete;

    bool loaded() const { return module_ != nullptr; }
    // GetProcAddress answers every entry point as FARPROC; its real type comes back through a
    // plain pointer.
    template <typename Entry>
    Entry entry(const char* name) const {
        return reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
    HRESULT call(const char* name) const {
        using Entry = HRESULT(STDAPICALLTYPE*)();
        const auto function = entry<Entry>(name);
        return function ? function() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    }
    HRESULT classObject(const GUID& clsid, const GUID& iid, void** object) const {
        using Entry = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
        const auto function = entry<Entry>("DllGetClassObject");
        return function ? function(clsid, iid, object) : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    }

private:
    HMODULE module_;
};

// A registry of the test's own: a fresh key below the user's root, with HKEY_CLASSES_ROOT and
// HKEY_CURRENT_USER of this process mapped to it while the object lives, so that what the server
// writes and deletes through them lands there. The mappings are undone and the key deleted at
// the end.
class PrivateRegistry {
public:
    PrivateRegistry() {
        name_ = L"Software\\NOXFormats tests\\com reader " +
                std::to_wstring(GetCurrentProcessId()) + L" " + std::to_wstring(GetTickCount64());
        if (RegCreateKeyExW(HKEY_CURRENT_USER, name_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &root_, nullptr) != ERROR_SUCCESS)
            return;
        mappedClasses_ = RegOverridePredefKey(HKEY_CLASSES_ROOT, root_) == ERROR_SUCCESS;
        mappedUser_ = RegOverridePredefKey(HKEY_CURRENT_USER, root_) == ERROR_SUCCESS;
    }
    ~PrivateRegistry() {
        if (mappedUser_) RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        if (mappedClasses_) RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
        if (root_) {
            RegCloseKey(root_);
            RegDeleteTreeW(HKEY_CURRENT_USER, name_.c_str());
        }
    }
    PrivateRegistry(const PrivateRegistry&) = delete;
    PrivateRegistry& operator=(const PrivateRegistry&) = delete;

    bool ready() const { return mappedClasses_ && mappedUser_; }

    // A text value below the test's key ("" when there is none): the machine's classes are
    // at "CLSID\...", the user's own at "Software\Classes\CLSID\...".
    std::wstring text(const std::wstring& keyName, const wchar_t* valueName = nullptr) const {
        wchar_t value[1024] = {};
        DWORD bytes = sizeof value - sizeof(wchar_t);
        if (RegGetValueW(root_, keyName.c_str(), valueName, RRF_RT_REG_SZ, nullptr, value,
                         &bytes) != ERROR_SUCCESS)
            return {};
        return value;
    }
    bool hasKey(const std::wstring& keyName) const {
        HKEY key = nullptr;
        if (RegOpenKeyExW(root_, keyName.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }

private:
    std::wstring name_;
    HKEY root_ = nullptr;
    bool mappedClasses_ = false;
    bool mappedUser_ = false;
};

constexpr wchar_t kClassKey[] = L"CLSID\\{DE65DA79-7A56-47F7-90AF-71891E30CCE7}";
const std::wstring kServerKey = std::wstring(kClassKey) + L"\\InprocServer32";
const std::wstring kUserClassKey = std::wstring(L"Software\\Classes\\") + kClassKey;
const std::wstring kUserServerKey = kUserClassKey + L"\\InprocServer32";

// A 3 x 4 grid whose every value is distinct, with both channels.
ks_sampledata::GridScan numberedGrid() {
    ks_sampledata::GridScan grid = ks_sampledata::makeGridScan(3, 4, true, true);
    for (int32_t r = 0; r < 3; ++r)
        for (int32_t c = 0; c < 4; ++c) {
            const float v = static_cast<float>(r * 4 + c);
            grid.setCell(r, c, {v + 1, -v, v + 0.25f, v / 16, v / 12, v / 24, 1 - v / 12});
        }
    return grid;
}

// A scratch file in the temporary folder, removed when the test ends. The name has a character
// outside every ANSI code page, so only a path handed through as UTF-16 finds it.
class ScratchScan {
public:
    ScratchScan()
        : path_(std::filesystem::temp_directory_path() /
                (L"grid \u0416\u00e9 " + std::to_wstring(GetCurrentProcessId()) + L".3dd")) {}
    ~ScratchScan() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

class ComReaderServerTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.loaded()) << "no " << serverPath().wstring();
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    }
    void TearDown() override { CoUninitialize(); }

    HRESULT open(IReader3DD* reader, const std::filesystem::path& path) {
        BSTR name = SysAllocString(path.c_str());
        BSTR options = SysAllocString(L"");
        const HRESULT result = reader->Open(name, options, 0, 0, 0);
        SysFreeString(options);
        SysFreeString(name);
        return result;
    }

    ServerDll server_{serverPath()};
};

// What COM does with an InprocServer32 registration: loads the DLL it names and asks its class
// object for a reader.
HRESULT createFromRegistration(const ServerDll& registered, IReader3DD** reader) {
    IClassFactory* factory = nullptr;
    HRESULT result = registered.classObject(CLSID_Reader3DD, IID_IClassFactory,
                                            reinterpret_cast<void**>(&factory));
    if (FAILED(result)) return result;
    result = factory->CreateInstance(nullptr, IID_IReader3DD, reinterpret_cast<void**>(reader));
    factory->Release();
    return result;
}

TEST_F(ComReaderServerTest, RegistersItselfServesReadersAndUnregisters) {
    const PrivateRegistry registry;
    ASSERT_TRUE(registry.ready()) << "the process's registry roots could not be mapped";
    ASSERT_EQ(server_.call("DllRegisterServer"), S_OK);
    // Registered in the machine's classes under its own full path.
    const std::wstring registered = registry.text(kServerKey);
    std::error_code noFile;
    EXPECT_TRUE(std::filesystem::equivalent(registered, serverPath(), noFile)) << registered;
    EXPECT_EQ(registry.text(kServerKey, L"ThreadingModel"), L"Both");
    EXPECT_FALSE(registry.hasKey(kUserClassKey));

    ScratchScan scan;
    const ks_sampledata::GridScan grid = numberedGrid();
    ks_sampledata::writeGridScan(scan.path(), grid);

    const ServerDll registeredServer(registered);
    ASSERT_TRUE(registeredServer.loaded()) << registered;
    IReader3DD* reader = nullptr;
    ASSERT_EQ(createFromRegistration(registeredServer, &reader), S_OK);
    ASSERT_NE(reader, nullptr);
    ASSERT_EQ(open(reader, scan.path()), S_OK);
    EXPECT_EQ(reader->SetOptionA(48), S_OK);
    EXPECT_EQ(reader->SetOptionB(4), S_OK);
    int32_t rows = 0;
    int32_t columns = 0;
    ASSERT_EQ(reader->GetDimensions(&rows, &columns), S_OK);
    EXPECT_EQ(rows, 3);
    EXPECT_EQ(columns, 4);
    ASSERT_EQ(reader->LoadData(), S_OK);

    // Every argument crosses the __stdcall vtable in its place: a window of cells from the
    // middle, with the layout arguments checked.
    int32_t delivered = -1;
    std::vector<float> positions(3 * 5, -1);
    ASSERT_EQ(reader->GetPoints(&delivered, positions.data(), 4, 3, 6, 5), S_OK);
    EXPECT_EQ(delivered, 5);
    EXPECT_EQ(positions, std::vector<float>(grid.positions.begin() + 18, grid.positions.end() - 3));
    EXPECT_EQ(reader->GetPoints(&delivered, positions.data(), 4, 2, 0, 1), E_INVALIDARG);
    std::vector<float> intensities(12, -1);
    ASSERT_EQ(reader->GetIntensities(&delivered, intensities.data(), 0, 12), S_OK);
    EXPECT_EQ(intensities, grid.intensities);
    std::vector<float> colours(3, -1);
    ASSERT_EQ(reader->GetColours(&delivered, colours.data(), 11, 1), S_OK);
    EXPECT_EQ(colours, std::vector<float>(grid.colours.end() - 3, grid.colours.end()));
    EXPECT_EQ(reader->GetColours(&delivered, colours.data(), 11, 2), E_INVALIDARG);
    EXPECT_EQ(reader->Close(), S_OK);
    EXPECT_EQ(open(reader, scan.path().parent_path() / L"missing.3dd"), STG_E_FILENOTFOUND);
    EXPECT_EQ(reader->Release(), 0u);

    ASSERT_EQ(server_.call("DllUnregisterServer"), S_OK);
    EXPECT_FALSE(registry.hasKey(kClassKey));
    EXPECT_FALSE(registry.hasKey(kUserClassKey));
    // Unregistering what is not registered succeeds too, as an uninstaller run twice expects.
    EXPECT_EQ(server_.call("DllUnregisterServer"), S_OK);
}

TEST_F(ComReaderServerTest, ClassObjectMakesReadersAndKeepsTheServerWhileTheyLive) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(server_.classObject(IID_IReader3DD, IID_IClassFactory, &object),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);

    IClassFactory* factory = nullptr;
    ASSERT_EQ(
        server_.classObject(CLSID_Reader3DD, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
        S_OK);
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(server_.call("DllCanUnloadNow"), S_FALSE);  // the factory is held

    IUnknown* outer = factory;
    void* aggregated = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(outer, IID_IUnknown, &aggregated), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(aggregated, nullptr);
    void* unknownInterface = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &unknownInterface),
              E_NOINTERFACE);
    EXPECT_EQ(unknownInterface, nullptr);

    IUnknown* unknown = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&unknown)),
              S_OK);
    factory->Release();
    EXPECT_EQ(server_.call("DllCanUnloadNow"), S_FALSE);  // a reader lives
    IReader3DD* reader = nullptr;
    ASSERT_EQ(unknown->QueryInterface(IID_IReader3DD, reinterpret_cast<void**>(&reader)), S_OK);
    EXPECT_EQ(reader->AddRef(), 3u);
    EXPECT_EQ(reader->Release(), 2u);
    int32_t rows = 0;
    int32_t columns = 0;
    EXPECT_EQ(reader->GetDimensions(&rows, &columns), E_UNEXPECTED);  // nothing open
    EXPECT_EQ(reader->Release(), 1u);
    EXPECT_EQ(unknown->Release(), 0u);
    EXPECT_EQ(server_.call("DllCanUnloadNow"), S_OK);
}

}  // namespace
