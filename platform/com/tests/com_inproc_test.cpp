// In-process servers: registration, loading with dlopen, DllCanUnloadNow before dlclose.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>

#include "platform/com/tests/registry_fixture.h"
#include "platform/com/tests/test_calc.h"

#ifndef COM_TEST_INPROC_PATH
#error "COM_TEST_INPROC_PATH names the test library"
#endif

namespace {

using namespace com_test;

class InprocServer : public ::testing::Test {
  protected:
    void SetUp() override { reset_com_state_for_tests(); }
    void TearDown() override {
        co_free_unused_libraries();
        reset_com_state_for_tests();
    }
    TempRegistry registry_;
};

TEST_F(InprocServer, LoadsTheRegisteredLibraryAndUnloadsItOnlyWhenItSaysSo) {
    InprocRegistration r;
    r.clsid = CLSID_TestCalc;
    r.prog_id = "comtest.TestCalc";
    r.description = "Test calculator";
    r.library_path = COM_TEST_INPROC_PATH;
    ASSERT_EQ(register_inproc_server(r), S_OK);

    ComPtr<ITestCalc> calc;
    ASSERT_EQ(
        co_create_instance(CLSID_TestCalc, nullptr, CLSCTX_INPROC_SERVER, ITestCalc::iid, calc.put_void()),
        S_OK);
    std::int32_t sum = 0;
    EXPECT_EQ(calc->Add(40, 2, &sum), S_OK);
    EXPECT_EQ(sum, 42);
    EXPECT_EQ(loaded_library_count(), 1u);

    // The library counts its own objects, apart from this module's.
    std::int32_t objects = 0;
    EXPECT_EQ(calc->ModuleObjects(&objects), S_OK);
    EXPECT_EQ(objects, 1);

    ComPtr<ITestCalc> second;
    ASSERT_EQ(co_create_instance(CLSID_TestCalc, nullptr, CLSCTX_SERVER, ITestCalc::iid, second.put_void()),
              S_OK);
    EXPECT_EQ(loaded_library_count(), 1u);  // loaded once

    co_free_unused_libraries();
    EXPECT_EQ(loaded_library_count(), 1u);  // objects alive: it says S_FALSE
    calc.reset();
    co_free_unused_libraries();
    EXPECT_EQ(loaded_library_count(), 1u);
    second.reset();
    co_free_unused_libraries();
    EXPECT_EQ(loaded_library_count(), 0u);
}

TEST_F(InprocServer, GivesTheClassObjectAndKeepsTheLibraryWhileItIsHeld) {
    InprocRegistration r;
    r.clsid = CLSID_TestCalc;
    r.library_path = COM_TEST_INPROC_PATH;
    ASSERT_EQ(register_inproc_server(r), S_OK);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(
        co_get_class_object(CLSID_TestCalc, CLSCTX_INPROC_SERVER, IClassFactory::iid, factory.put_void()),
        S_OK);
    co_free_unused_libraries();
    EXPECT_EQ(loaded_library_count(), 1u);
    ComPtr<ITestCalc> calc;
    EXPECT_EQ(factory->CreateInstance(nullptr, ITestCalc::iid, calc.put_void()), S_OK);
    calc.reset();
    factory.reset();
    co_free_unused_libraries();
    EXPECT_EQ(loaded_library_count(), 0u);
}

TEST_F(InprocServer, ReportsUnregisteredClassesAndMissingLibraries) {
    ComPtr<ITestCalc> calc;
    EXPECT_EQ(
        co_create_instance(CLSID_TestCalc, nullptr, CLSCTX_INPROC_SERVER, ITestCalc::iid, calc.put_void()),
        REGDB_E_CLASSNOTREG);
    InprocRegistration r;
    r.clsid = CLSID_TestCalc;
    r.library_path = (registry_.dir() / "missing.so").string();
    ASSERT_EQ(register_inproc_server(r), S_OK);
    EXPECT_EQ(
        co_create_instance(CLSID_TestCalc, nullptr, CLSCTX_INPROC_SERVER, ITestCalc::iid, calc.put_void()),
        CO_E_DLLNOTFOUND);
    EXPECT_EQ(loaded_library_count(), 0u);
}

TEST_F(InprocServer, DllRegisterServerWritesTheLibrarysOwnPath) {
    void* handle = dlopen(COM_TEST_INPROC_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    auto reg = reinterpret_cast<HRESULT (*)()>(dlsym(handle, "DllRegisterServer"));
    auto unreg = reinterpret_cast<HRESULT (*)()>(dlsym(handle, "DllUnregisterServer"));
    ASSERT_TRUE(reg && unreg);
    ASSERT_EQ(reg(), S_OK);

    const auto found = find_inproc_registration(CLSID_TestCalc);
    ASSERT_TRUE(found);
    char resolved[PATH_MAX];
    ASSERT_NE(realpath(COM_TEST_INPROC_PATH, resolved), nullptr);
    EXPECT_EQ(found->library_path, resolved);
    EXPECT_EQ(found->threading_model, "Apartment");
    EXPECT_EQ(found->prog_id, "comtest.TestCalc");
    EXPECT_EQ(clsid_from_prog_id("comtest.TestCalc"), CLSID_TestCalc);

    ASSERT_EQ(unreg(), S_OK);
    EXPECT_FALSE(find_inproc_registration(CLSID_TestCalc));
    EXPECT_FALSE(clsid_from_prog_id("comtest.TestCalc"));
    dlclose(handle);
}

TEST_F(InprocServer, LocalRegistrationRoundTripsThroughTheStore) {
    LocalRegistration r;
    r.clsid = CLSID_TestCalc;
    r.prog_id = "comtest.Local";
    r.description = "Local test";
    r.program_path = "/usr/bin/true";
    r.bus_name = "com.hox.ComTest";
    r.object_name = "Calc";
    ASSERT_EQ(register_local_server(r), S_OK);
    const auto found = find_local_registration(CLSID_TestCalc);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->program_path, "/usr/bin/true");
    EXPECT_EQ(found->bus_name, "com.hox.ComTest");
    EXPECT_EQ(found->object_name, "Calc");
    EXPECT_EQ(found->description, "Local test");
    EXPECT_FALSE(find_inproc_registration(CLSID_TestCalc));
    r.bus_name.clear();
    EXPECT_EQ(register_local_server(r), E_INVALIDARG);
}

TEST_F(InprocServer, ATypeLibraryIsRegisteredPerVersionAndRemovedWithItsInterfaces) {
    namespace reg = platform::registry;
    const auto text = [](const std::string& key, const char* name = "") {
        const auto v = reg::query_value(reg::HKEY_CLASSES_ROOT, key, name);
        return v ? v->text : std::string("<none>");
    };
    TypeLibRegistration lib;
    lib.libid = guid("{0C4E5A71-2B3D-4E6F-8A9B-1C2D3E4F5A70}");
    lib.description = "comtest Library";
    lib.library_path = "/opt/zor/lib/libcomtest.so";
    lib.interfaces = {{guid("{0C4E5A71-2B3D-4E6F-8A9B-1C2D3E4F5A71}"), "ICalc"}};
    ASSERT_EQ(register_type_library(lib), S_OK);
    const std::string key = "TypeLib\\{0C4E5A71-2B3D-4E6F-8A9B-1C2D3E4F5A70}\\1.0";
    EXPECT_EQ(text(key), "comtest Library");
    EXPECT_EQ(text(key + "\\0\\win32"), "/opt/zor/lib/libcomtest.so");
    EXPECT_EQ(text(key + "\\FLAGS"), "0");
    EXPECT_EQ(text(key + "\\HELPDIR"), "/opt/zor/lib");
    const std::string iface = "Interface\\{0C4E5A71-2B3D-4E6F-8A9B-1C2D3E4F5A71}";
    EXPECT_EQ(text(iface), "ICalc");
    EXPECT_EQ(text(iface + "\\TypeLib"), "{0C4E5A71-2B3D-4E6F-8A9B-1C2D3E4F5A70}");
    EXPECT_EQ(text(iface + "\\TypeLib", "Version"), "1.0");

    // Another version stays when one goes; the library's key goes with the last.
    TypeLibRegistration two = lib;
    two.version = "2.0";
    two.interfaces.clear();
    ASSERT_EQ(register_type_library(two), S_OK);
    ASSERT_EQ(unregister_type_library(lib), S_OK);
    EXPECT_FALSE(reg::key_exists(reg::HKEY_CLASSES_ROOT, key));
    EXPECT_FALSE(reg::key_exists(reg::HKEY_CLASSES_ROOT, iface));
    EXPECT_TRUE(
        reg::key_exists(reg::HKEY_CLASSES_ROOT, "TypeLib\\{0C4E5A71-2B3D-4E6F-8A9B-1C2D3E4F5A70}\\2.0"));
    ASSERT_EQ(unregister_type_library(two), S_OK);
    EXPECT_FALSE(reg::key_exists(reg::HKEY_CLASSES_ROOT, "TypeLib\\{0C4E5A71-2B3D-4E6F-8A9B-1C2D3E4F5A70}"));
    EXPECT_EQ(unregister_type_library(two), S_OK);  // nothing there: still fine
    lib.library_path.clear();
    EXPECT_EQ(register_type_library(lib), E_INVALIDARG);
}

}  // namespace
