// Class objects of this process, in-process server libraries, and the dispatch of
// co_create_instance to the three sources.
#include "platform/com/activation.h"

#include <dlfcn.h>

#include "platform/com/bus_connection.h"
#include "platform/com/com_state.h"

namespace platform::com {

using detail::com_state;

namespace detail {
HRESULT create_local_instance(const LocalRegistration& where, const IID& iid,
                              void** object);  // bus_client.cpp
}

namespace {

// A class object this process registered for one of the contexts; null when none.
IUnknown* own_class_object(const CLSID& clsid, std::uint32_t context) {
    for (auto& [cookie, entry] : com_state().classes)
        if (entry.clsid == clsid && (entry.context & context) != 0) return entry.factory.get();
    return nullptr;
}

HRESULT create_from(IUnknown* factory_unknown, const IID& iid, void** object) {
    ComPtr<IClassFactory> factory;
    HRESULT hr = factory_unknown->QueryInterface(IClassFactory::iid, factory.put_void());
    if (failed(hr)) return hr;
    return factory->CreateInstance(nullptr, iid, object);
}

// The library's class object; loads the library on first use.
HRESULT inproc_class_object(const CLSID& clsid, const IID& iid, void** object) {
    const auto registration = find_inproc_registration(clsid);
    if (!registration) return REGDB_E_CLASSNOTREG;
    auto& libraries = com_state().libraries;
    auto it = libraries.find(registration->library_path);
    if (it == libraries.end()) {
        // RTLD_LOCAL: each server keeps its own symbols, as separate modules do.
        void* handle = dlopen(registration->library_path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            com_state().last_error = dlerror();
            return CO_E_DLLNOTFOUND;
        }
        detail::LoadedLibrary lib;
        lib.handle = handle;
        lib.get_class_object = reinterpret_cast<DllGetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
        lib.can_unload_now = reinterpret_cast<DllCanUnloadNowFn>(dlsym(handle, "DllCanUnloadNow"));
        if (!lib.get_class_object) {
            dlclose(handle);
            return CO_E_ERRORINDLL;
        }
        it = libraries.emplace(registration->library_path, lib).first;
    }
    return it->second.get_class_object(&clsid, &iid, object);
}

}  // namespace

HRESULT co_register_class_object(const CLSID& clsid, IUnknown* factory, std::uint32_t context,
                                 std::uint32_t flags, std::uint32_t* cookie) {
    if (!factory || !cookie) return E_POINTER;
    *cookie = 0;
    if ((flags & REGCLS_MULTIPLEUSE) == 0) return E_INVALIDARG;
    if ((context & CLSCTX_SERVER) == 0) return E_INVALIDARG;
    if (context & CLSCTX_LOCAL_SERVER) {
        const auto where = find_local_registration(clsid);
        if (!where || where->bus_name.empty() || where->object_name.empty()) return REGDB_E_CLASSNOTREG;
        const HRESULT hr = register_local_class_object(*where, factory, cookie);
        if (succeeded(hr)) com_state().classes.at(*cookie).context |= context;
        return hr;
    }
    const std::uint32_t id = com_state().next_cookie++;
    com_state().classes[id] = {clsid, ComPtr<IUnknown>::share(factory), context, nullptr};
    *cookie = id;
    return S_OK;
}

HRESULT register_local_class_object(const LocalRegistration& where, IUnknown* factory_unknown,
                                    std::uint32_t* cookie) {
    if (!factory_unknown || !cookie) return E_POINTER;
    *cookie = 0;
    ComPtr<IClassFactory> factory;
    HRESULT hr = factory_unknown->QueryInterface(IClassFactory::iid, factory.put_void());
    if (failed(hr)) return hr;
    auto served = detail::serve_class(where, factory.get(), hr);
    if (!served) return hr;
    const std::uint32_t id = com_state().next_cookie++;
    com_state().classes[id] = {where.clsid, ComPtr<IUnknown>::share(factory_unknown), CLSCTX_LOCAL_SERVER,
                               served};
    *cookie = id;
    return S_OK;
}

HRESULT co_revoke_class_object(std::uint32_t cookie) {
    auto& classes = com_state().classes;
    auto it = classes.find(cookie);
    if (it == classes.end()) return CO_E_OBJNOTREG;
    detail::ClassEntry entry = std::move(it->second);
    classes.erase(it);
    if (entry.served) detail::stop_serving(entry.served);
    return S_OK;
}

HRESULT co_get_class_object(const CLSID& clsid, std::uint32_t context, const IID& iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IUnknown* own = own_class_object(clsid, context)) return own->QueryInterface(iid, object);
    if (context & CLSCTX_INPROC_SERVER) return inproc_class_object(clsid, iid, object);
    return REGDB_E_CLASSNOTREG;
}

HRESULT co_create_instance(const CLSID& clsid, IUnknown* outer, std::uint32_t context, const IID& iid,
                           void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (IUnknown* own = own_class_object(clsid, context)) return create_from(own, iid, object);
    HRESULT hr = REGDB_E_CLASSNOTREG;
    if (context & CLSCTX_INPROC_SERVER) {
        ComPtr<IClassFactory> factory;
        hr = inproc_class_object(clsid, IClassFactory::iid, factory.put_void());
        if (succeeded(hr)) return factory->CreateInstance(nullptr, iid, object);
        if (hr != REGDB_E_CLASSNOTREG) return hr;
    }
    if (context & CLSCTX_LOCAL_SERVER) {
        const auto where = find_local_registration(clsid);
        if (!where || where->program_path.empty() || where->bus_name.empty()) return REGDB_E_CLASSNOTREG;
        return detail::create_local_instance(*where, iid, object);
    }
    return hr;
}

void co_free_unused_libraries() {
    auto& libraries = com_state().libraries;
    for (auto it = libraries.begin(); it != libraries.end();) {
        const detail::LoadedLibrary& lib = it->second;
        // A library without DllCanUnloadNow cannot say it is idle, so it stays.
        if (lib.can_unload_now && lib.can_unload_now() == S_OK) {
            dlclose(lib.handle);
            it = libraries.erase(it);
        } else {
            ++it;
        }
    }
}

std::size_t loaded_library_count() {
    return com_state().libraries.size();
}

bool command_line_switch(int argc, const char* const* argv, std::string_view name) {
    for (int i = 1; i < argc; ++i) {
        std::string_view a = argv[i] ? argv[i] : "";
        if (a.size() < 2 || (a[0] != '-' && a[0] != '/')) continue;
        a.remove_prefix(1);
        if (a.size() != name.size()) continue;
        bool same = true;
        for (std::size_t k = 0; k < a.size() && same; ++k) {
            const auto lower = [](char c) {
                return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
            };
            same = lower(a[k]) == lower(name[k]);
        }
        if (same) return true;
    }
    return false;
}

}  // namespace platform::com
