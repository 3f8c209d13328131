// libzorsetup.so: the in-process server the host data system loads. Here are its class
// factory and its four exports; the classes are in com_classes.h, the library's state in
// library_state.h.
//
// The platform (windows, forms, registry, COM, storage, printing) is the host's: this library
// does not link it, so the host's window handles and device contexts are the library's too.
#include <string>

#include "platform/com/com.h"
#include "plugin/com_classes.h"
#include "plugin/host_interfaces.h"
#include "plugin/library_state.h"

namespace zorsetup {
namespace {

namespace com = platform::com;
using com::HRESULT;

template <class T>
class Factory final : public com::ComObject<com::IClassFactory> {
  public:
    Factory() { ++live_objects; }
    ~Factory() override { --live_objects; }
    HRESULT CreateInstance(IUnknown* outer, const com::IID& iid, void** object) override {
        if (!object) return com::E_POINTER;
        *object = nullptr;
        if (outer) return com::CLASS_E_NOAGGREGATION;
        try {
            T* made = new T();
            const HRESULT hr = made->QueryInterface(iid, object);
            made->Release();
            return hr;
        } catch (...) {
            return com::E_OUTOFMEMORY;
        }
    }
    HRESULT LockServer(bool lock) override {
        server_locks += lock ? 1 : -1;
        return com::S_OK;
    }
};

// The library's type library: the interfaces the host defined, described by this library.
com::TypeLibRegistration type_library(const std::string& path) {
    com::TypeLibRegistration lib;
    lib.libid = LIBID_zorsetup;
    lib.description = "zorsetup Library";
    lib.library_path = path;
    lib.interfaces = {{Izorsetup::iid, "zorsetup"},
                      {ZorAsInfo::iid, "ZorAsInfo"},
                      {AsConfig::iid, "AsConfig"},
                      {Volume::iid, "Volume"},
                      {Config::iid, "Config"}};
    return lib;
}

HRESULT register_classes(bool add) {
    const std::string path = com::module_path_of(reinterpret_cast<const void*>(&register_classes));
    if (!add) {
        const HRESULT a = com::unregister_class(CLSID_TZorSetup, prog_id_setup);
        const HRESULT b = com::unregister_class(CLSID_TConfig, prog_id_config);
        const HRESULT c = com::unregister_type_library(type_library(path));
        return com::failed(a) ? a : com::failed(b) ? b : c;
    }
    com::InprocRegistration setup{CLSID_TZorSetup, prog_id_setup, "Zor Setup", path, "Apartment"};
    com::InprocRegistration config{CLSID_TConfig, prog_id_config, "Zor Configuration", path, "Apartment"};
    HRESULT hr = com::register_inproc_server(setup);
    if (com::succeeded(hr)) hr = com::register_inproc_server(config);
    if (com::succeeded(hr)) hr = com::register_type_library(type_library(path));
    return hr;
}

}  // namespace

}  // namespace zorsetup

extern "C" {

__attribute__((visibility("default"))) platform::com::HRESULT DllGetClassObject(
    const platform::com::CLSID* clsid, const platform::com::IID* iid, void** object) {
    namespace com = platform::com;
    if (!clsid || !iid || !object) return com::E_POINTER;
    *object = nullptr;
    try {
        com::ComPtr<com::IClassFactory> factory;
        if (*clsid == zorsetup::CLSID_TZorSetup)
            factory = com::ComPtr<com::IClassFactory>::adopt(new zorsetup::Factory<zorsetup::TTSetup>());
        else if (*clsid == zorsetup::CLSID_TConfig)
            factory = com::ComPtr<com::IClassFactory>::adopt(new zorsetup::Factory<zorsetup::TTConfig>());
        else
            return com::CLASS_E_CLASSNOTAVAILABLE;
        return factory->QueryInterface(*iid, object);
    } catch (...) {
        return com::E_OUTOFMEMORY;
    }
}

// S_FALSE while an object, a lock or an editor window of the library exists: the editor's
// code must stay loaded as long as the host shows it.
__attribute__((visibility("default"))) platform::com::HRESULT DllCanUnloadNow() {
    try {
        if (zorsetup::library_in_use()) return platform::com::S_FALSE;
        zorsetup::release_library();
        return platform::com::S_OK;
    } catch (...) {
        return platform::com::S_FALSE;
    }
}

__attribute__((visibility("default"))) platform::com::HRESULT DllRegisterServer() {
    try {
        return zorsetup::register_classes(true);
    } catch (...) {
        return platform::com::E_FAIL;
    }
}

__attribute__((visibility("default"))) platform::com::HRESULT DllUnregisterServer() {
    try {
        return zorsetup::register_classes(false);
    } catch (...) {
        return platform::com::E_FAIL;
    }
}
}
