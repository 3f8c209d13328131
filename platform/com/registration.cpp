// Class keys in HKEY_CLASSES_ROOT.
#include "platform/com/registration.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include "platform/registry/registry.h"

namespace platform::com {

namespace reg = platform::registry;

namespace {

std::string class_key(const CLSID& clsid) {
    return "CLSID\\" + guid_text(clsid);
}

std::string string_value(const std::string& path, std::string_view name) {
    const auto v = reg::query_value(reg::HKEY_CLASSES_ROOT, path, name);
    return v && v->type == reg::REG_SZ ? v->text : std::string();
}

void write_common(reg::WriteBatch& batch, const CLSID& clsid, const std::string& prog_id,
                  const std::string& description) {
    const std::string key = class_key(clsid);
    batch.set_string(reg::HKEY_CLASSES_ROOT, key, "", description);
    if (!prog_id.empty()) {
        batch.set_string(reg::HKEY_CLASSES_ROOT, key + "\\ProgID", "", prog_id);
        batch.delete_tree(reg::HKEY_CLASSES_ROOT, prog_id);
        batch.set_string(reg::HKEY_CLASSES_ROOT, prog_id, "", description);
        batch.set_string(reg::HKEY_CLASSES_ROOT, prog_id + "\\CLSID", "", guid_text(clsid));
    }
}

}  // namespace

HRESULT register_inproc_server(const InprocRegistration& r) {
    if (r.library_path.empty()) return E_INVALIDARG;
    const std::string key = class_key(r.clsid);
    reg::WriteBatch batch;
    batch.delete_tree(reg::HKEY_CLASSES_ROOT, key);
    write_common(batch, r.clsid, r.prog_id, r.description);
    batch.set_string(reg::HKEY_CLASSES_ROOT, key + "\\InprocServer32", "", r.library_path);
    batch.set_string(reg::HKEY_CLASSES_ROOT, key + "\\InprocServer32", "ThreadingModel", r.threading_model);
    return batch.commit() ? S_OK : E_FAIL;
}

HRESULT register_local_server(const LocalRegistration& r) {
    if (r.program_path.empty() || r.bus_name.empty() || r.object_name.empty()) return E_INVALIDARG;
    const std::string key = class_key(r.clsid);
    reg::WriteBatch batch;
    batch.delete_tree(reg::HKEY_CLASSES_ROOT, key);
    write_common(batch, r.clsid, r.prog_id, r.description);
    batch.set_string(reg::HKEY_CLASSES_ROOT, key + "\\LocalServer32", "", r.program_path);
    batch.set_string(reg::HKEY_CLASSES_ROOT, key + "\\LocalServer32", "BusName", r.bus_name);
    batch.set_string(reg::HKEY_CLASSES_ROOT, key + "\\LocalServer32", "ObjectName", r.object_name);
    return batch.commit() ? S_OK : E_FAIL;
}

HRESULT unregister_class(const CLSID& clsid, std::string_view prog_id) {
    reg::WriteBatch batch;
    batch.delete_tree(reg::HKEY_CLASSES_ROOT, class_key(clsid));
    if (!prog_id.empty()) batch.delete_tree(reg::HKEY_CLASSES_ROOT, prog_id);
    return batch.commit() ? S_OK : E_FAIL;
}

namespace {
std::string type_library_key(const TypeLibRegistration& r) {
    return "TypeLib\\" + guid_text(r.libid);
}
std::string interface_key(const IID& iid) {
    return "Interface\\" + guid_text(iid);
}
}  // namespace

HRESULT register_type_library(const TypeLibRegistration& r) {
    if (r.library_path.empty() || r.version.empty()) return E_INVALIDARG;
    const std::string key = type_library_key(r) + "\\" + r.version;
    const auto slash = r.library_path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : r.library_path.substr(0, slash);
    reg::WriteBatch batch;
    batch.delete_tree(reg::HKEY_CLASSES_ROOT, key);
    batch.set_string(reg::HKEY_CLASSES_ROOT, key, "", r.description);
    batch.set_string(reg::HKEY_CLASSES_ROOT, key + "\\0\\win32", "", r.library_path);
    batch.set_string(reg::HKEY_CLASSES_ROOT, key + "\\FLAGS", "", "0");
    batch.set_string(reg::HKEY_CLASSES_ROOT, key + "\\HELPDIR", "", folder);
    for (const auto& [iid, name] : r.interfaces) {
        const std::string k = interface_key(iid);
        batch.delete_tree(reg::HKEY_CLASSES_ROOT, k);
        batch.set_string(reg::HKEY_CLASSES_ROOT, k, "", name);
        batch.set_string(reg::HKEY_CLASSES_ROOT, k + "\\TypeLib", "", guid_text(r.libid));
        batch.set_string(reg::HKEY_CLASSES_ROOT, k + "\\TypeLib", "Version", r.version);
    }
    return batch.commit() ? S_OK : E_FAIL;
}

HRESULT unregister_type_library(const TypeLibRegistration& r) {
    const std::string library = type_library_key(r);
    reg::WriteBatch batch;
    batch.delete_tree(reg::HKEY_CLASSES_ROOT, library + "\\" + r.version);
    for (const auto& [iid, name] : r.interfaces)
        batch.delete_tree(reg::HKEY_CLASSES_ROOT, interface_key(iid));
    if (!batch.commit()) return E_FAIL;
    const auto versions = reg::list_subkeys(reg::HKEY_CLASSES_ROOT, library);
    if (versions && versions->empty() && !reg::delete_tree(reg::HKEY_CLASSES_ROOT, library)) return E_FAIL;
    return S_OK;
}

std::optional<InprocRegistration> find_inproc_registration(const CLSID& clsid) {
    const std::string key = class_key(clsid);
    const std::string server = key + "\\InprocServer32";
    if (!reg::key_exists(reg::HKEY_CLASSES_ROOT, server)) return std::nullopt;
    InprocRegistration r;
    r.clsid = clsid;
    r.description = string_value(key, "");
    r.prog_id = string_value(key + "\\ProgID", "");
    r.library_path = string_value(server, "");
    r.threading_model = string_value(server, "ThreadingModel");
    return r;
}

std::optional<LocalRegistration> find_local_registration(const CLSID& clsid) {
    const std::string key = class_key(clsid);
    const std::string server = key + "\\LocalServer32";
    if (!reg::key_exists(reg::HKEY_CLASSES_ROOT, server)) return std::nullopt;
    LocalRegistration r;
    r.clsid = clsid;
    r.description = string_value(key, "");
    r.prog_id = string_value(key + "\\ProgID", "");
    r.program_path = string_value(server, "");
    r.bus_name = string_value(server, "BusName");
    r.object_name = string_value(server, "ObjectName");
    return r;
}

std::optional<CLSID> clsid_from_prog_id(std::string_view prog_id) {
    if (prog_id.empty()) return std::nullopt;
    return parse_guid(string_value(std::string(prog_id) + "\\CLSID", ""));
}

std::string module_path_of(const void* address) {
    Dl_info info{};
    if (!dladdr(address, &info) || !info.dli_fname) return {};
    char resolved[PATH_MAX];
    if (!realpath(info.dli_fname, resolved)) return info.dli_fname;
    return resolved;
}

}  // namespace platform::com
