#include "platform/component.h"

#include <gtest/gtest.h>

#include <thread>

#include "doubles/test_component.h"
#include "platform/dynamic_library.h"
#include "reader3dd_interface.h"
#include "support/com_scope.h"

namespace {

using namespace ks_formats::com;
using ks_test::CLSID_TestCounter;
using ks_test::ComScope;
using ks_test::IID_ITestCounter;
using ks_test::ITestCounter;
using ks_test::ScopedRegistration;

constexpr uint32_t kAnyContext = 0x17;

HRESULT createCounter(void** object, const Guid& iid = IID_IUnknown) {
    return CoCreateInstance(CLSID_TestCounter, nullptr, kAnyContext, iid, object);
}

int32_t liveCounters() {
    // The same library the component layer loaded; loading it again only adds a reference.
    const auto library = ks_formats::platform::DynamicLibrary::load(KS_TEST_COMPONENT_PATH);
    const auto live =
        reinterpret_cast<ks_test::LiveObjectsFunction>(library.symbol(ks_test::kLiveObjectsSymbol));
    return live ? live() : -1;
}

TEST(ComponentLayer, CreationNeedsThisThreadInitialisedAndCountsPerThread) {
    ScopedRegistration registration(CLSID_TestCounter, KS_TEST_COMPONENT_PATH);
    void* object = &object;
    EXPECT_EQ(createCounter(&object), CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);

    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    ASSERT_EQ(createCounter(&object), S_OK);
    static_cast<IUnknown*>(object)->Release();

    // Another thread has its own count.
    HRESULT otherThread = S_OK;
    HRESULT otherAfterInit = E_FAIL;
    std::thread([&] {
        void* o = nullptr;
        otherThread = createCounter(&o);
        CoInitialize(nullptr);
        otherAfterInit = createCounter(&o);
        if (o) static_cast<IUnknown*>(o)->Release();
        CoUninitialize();
    }).join();
    EXPECT_EQ(otherThread, CO_E_NOTINITIALIZED);
    EXPECT_EQ(otherAfterInit, S_OK);

    CoUninitialize();
    EXPECT_EQ(createCounter(&object), S_OK) << "one initialisation is left";
    static_cast<IUnknown*>(object)->Release();
    CoUninitialize();
    EXPECT_EQ(createCounter(&object), CO_E_NOTINITIALIZED);
    CoUninitialize();  // one too many does no harm
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();
}

TEST(ComponentLayer, CreationFailsCleanlyWhenNoLibraryServesTheClass) {
    ComScope com;
    void* object = &object;
    EXPECT_EQ(createCounter(&object), REGDB_E_CLASSNOTREG) << "not registered";
    EXPECT_EQ(object, nullptr);
    {
        ScopedRegistration registration(CLSID_TestCounter, "libks_no_such_component.so");
        EXPECT_EQ(createCounter(&object), CO_E_DLLNOTFOUND);
    }
    {
        ScopedRegistration registration(CLSID_TestCounter, KS_TEST_COMPONENT_NOFACTORY_PATH);
        EXPECT_EQ(createCounter(&object), CO_E_ERRORINDLL) << "library without the factory";
    }
    {
        // The library's factory refuses a class it does not make.
        ScopedRegistration registration(CLSID_Reader3DD, KS_TEST_COMPONENT_PATH);
        EXPECT_EQ(CoCreateInstance(CLSID_Reader3DD, nullptr, kAnyContext, IID_IUnknown, &object),
                  CLASS_E_CLASSNOTAVAILABLE);
    }
    ScopedRegistration registration(CLSID_TestCounter, KS_TEST_COMPONENT_PATH);
    EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, 0x4 /* local server only */,
                               IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
    auto* outer = reinterpret_cast<IUnknown*>(&object);
    EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, outer, kAnyContext, IID_IUnknown, &object),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, kAnyContext, IID_IUnknown, nullptr),
              E_POINTER);
    EXPECT_EQ(liveCounters(), 0) << "no failed creation left an object behind";
}

TEST(ComponentLayer, RegistrationReplacesAndRemoves) {
    EXPECT_EQ(registerComponentLibrary(CLSID_Reader3DD, "libother.so"), "lib3ddreader.so");
    EXPECT_EQ(registerComponentLibrary(CLSID_Reader3DD, ""), "libother.so");
    EXPECT_EQ(registerComponentLibrary(CLSID_Reader3DD, "lib3ddreader.so"), "");
}

TEST(ComponentLayer, ObjectsLiveWhileReferencedAndAnswerOnlyTheirInterfaces) {
    ComScope com;
    ScopedRegistration registration(CLSID_TestCounter, KS_TEST_COMPONENT_PATH);
    void* object = nullptr;
    ASSERT_EQ(createCounter(&object), S_OK);
    auto* unknown = static_cast<IUnknown*>(object);
    EXPECT_EQ(OleRun(unknown), S_OK);
    EXPECT_EQ(OleRun(nullptr), E_INVALIDARG);
    EXPECT_EQ(liveCounters(), 1);

    void* counter = nullptr;
    ASSERT_EQ(unknown->QueryInterface(IID_ITestCounter, &counter), S_OK);
    void* reader = &reader;
    EXPECT_EQ(unknown->QueryInterface(IID_IReader3DD, &reader), E_NOINTERFACE);
    EXPECT_EQ(reader, nullptr);

    EXPECT_EQ(unknown->Release(), 1u) << "the counter interface still holds the object";
    EXPECT_EQ(liveCounters(), 1);
    auto* typed = static_cast<ITestCounter*>(counter);
    EXPECT_EQ(typed->Increment(), 1);
    EXPECT_EQ(typed->AddRef(), 2u);
    EXPECT_EQ(typed->Release(), 1u);
    EXPECT_EQ(typed->Release(), 0u);
    EXPECT_EQ(liveCounters(), 0);

    // Asking for the interface at creation hands it over directly.
    ASSERT_EQ(createCounter(&counter, IID_ITestCounter), S_OK);
    EXPECT_EQ(static_cast<ITestCounter*>(counter)->Increment(), 1) << "a fresh object";
    EXPECT_EQ(static_cast<ITestCounter*>(counter)->Release(), 0u);
    EXPECT_EQ(createCounter(&counter, IID_IReader3DD), E_NOINTERFACE);
    EXPECT_EQ(counter, nullptr);
    EXPECT_EQ(liveCounters(), 0);
}

TEST(ComponentLayer, StringsAreCopiedWithTheirLength) {
    using OleText = std::basic_string<std::remove_pointer_t<BSTR>>;
    const OleText text = KS_WIDE("/scans/sc\u00e4n 1.3dd");
    BSTR copy = SysAllocString(text.c_str());
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, text.c_str());
    EXPECT_EQ(OleText(copy), text);
    EXPECT_EQ(SysStringLen(copy), 17u);
    SysFreeString(copy);

    BSTR empty = SysAllocString(KS_WIDE(""));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty[0], KS_WIDE('\0'));
    EXPECT_EQ(SysStringLen(empty), 0u);
    SysFreeString(empty);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    SysFreeString(nullptr);
}

}  // namespace
