// A tiny in-process server: one class, TestCalc, with the four exports of such a library.
#include "platform/com/tests/test_calc.h"

namespace {

using namespace com_test;

class TestCalc final : public ComObject<ITestCalc> {
  public:
    HRESULT Add(std::int32_t a, std::int32_t b, std::int32_t* sum) override {
        if (!sum) return E_POINTER;
        *sum = a + b;
        return S_OK;
    }
    HRESULT ModuleObjects(std::int32_t* count) override {
        *count = static_cast<std::int32_t>(module_object_count());
        return S_OK;
    }
};

}  // namespace

extern "C" {

__attribute__((visibility("default"))) HRESULT DllGetClassObject(const CLSID* clsid, const IID* iid,
                                                                 void** object) {
    if (!clsid || !iid || !object) return E_POINTER;
    *object = nullptr;
    if (!(*clsid == CLSID_TestCalc)) return CLASS_E_CLASSNOTAVAILABLE;
    ComPtr<IClassFactory> factory = make_class_factory<TestCalc>();
    return factory->QueryInterface(*iid, object);
}

__attribute__((visibility("default"))) HRESULT DllCanUnloadNow() {
    return module_can_unload();
}

__attribute__((visibility("default"))) HRESULT DllRegisterServer() {
    InprocRegistration r;
    r.clsid = CLSID_TestCalc;
    r.prog_id = "comtest.TestCalc";
    r.description = "Test calculator";
    r.library_path = module_path_of(reinterpret_cast<const void*>(&DllRegisterServer));
    return register_inproc_server(r);
}

__attribute__((visibility("default"))) HRESULT DllUnregisterServer() {
    return unregister_class(CLSID_TestCalc, "comtest.TestCalc");
}
}
