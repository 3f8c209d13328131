#include "utilities/settings.h"

#include "platform/registry/registry.h"
#include "utilities/session.h"

namespace putils {

namespace reg = platform::registry;

namespace {

// Opens (creating) a key under the current user; false when it cannot be opened.
bool open_created(reg::Registry& registry, std::string_view path) {
    return registry.open_key(path, true);
}

}  // namespace

std::string base_key() {
    return "\\SOFTWARE\\Hox\\Zor\\Task Weaver";
}
std::string instance_key() {
    return base_key() + "\\" + std::to_string(session().instance_number);
}
std::string driver_startup_key() {
    return instance_key() + "\\Driver startup";
}
std::string folder_list_key() {
    return instance_key() + "\\Folder List";
}

bool open_instance_key(reg::Registry& registry) {
    return open_created(registry, instance_key());
}
bool open_folder_list_key(reg::Registry& registry) {
    return open_created(registry, folder_list_key());
}

std::int32_t reg_read_int(std::string_view name, std::int32_t default_value) {
    reg::Registry registry(reg::HKEY_CURRENT_USER);
    if (!open_instance_key(registry)) return default_value;
    try {
        switch (registry.get_data_type(name)) {
            case reg::DataType::integer:
                return registry.read_integer(name);
            case reg::DataType::unknown:
                registry.write_integer(name, default_value);
                return default_value;
            default:
                // A value changed by hand to another type: the program runs on with the default
                // and leaves the user's value alone, instead of failing at start-up.
                return default_value;
        }
    } catch (const reg::RegistryError&) {
        return default_value;
    }
}

void reg_read_string(std::string_view name, std::string_view default_value, std::string& text) {
    reg::Registry registry(reg::HKEY_CURRENT_USER);
    if (!open_instance_key(registry)) return;
    try {
        switch (registry.get_data_type(name)) {
            case reg::DataType::string:
                text = registry.read_string(name);
                return;
            case reg::DataType::unknown:
                registry.write_string(name, default_value);
                text = std::string(default_value);
                return;
            default:
                text = std::string(default_value);  // another type: as for reg_read_int
                return;
        }
    } catch (const reg::RegistryError&) {
        text = std::string(default_value);
    }
}

void reg_write_int(std::string_view name, std::int32_t value) {
    reg::Registry registry(reg::HKEY_CURRENT_USER);
    if (!open_instance_key(registry)) return;
    try {
        registry.write_integer(name, value);
    } catch (const reg::RegistryError&) {
        // A store that refuses the write is treated as a key that cannot be opened.
    }
}

void reg_write_string(std::string_view name, std::string_view value) {
    reg::Registry registry(reg::HKEY_CURRENT_USER);
    if (!open_instance_key(registry)) return;
    try {
        registry.write_string(name, value);
    } catch (const reg::RegistryError&) {
    }
}

void write_registry_string(std::string_view key_path, std::string_view name, std::string_view value) {
    reg::Registry registry(reg::HKEY_CURRENT_USER);
    if (!open_created(registry, key_path)) return;
    try {
        registry.write_string(name, value);
    } catch (const reg::RegistryError&) {
    }
}

std::int32_t read_port_setting() {
    return reg_read_int("Port", 1);
}
void write_port_setting(std::int32_t port) {
    reg_write_int("Port", port);
}

void read_folder_list(std::vector<std::string>& list) {
    reg::Registry registry(reg::HKEY_CURRENT_USER);
    if (!open_folder_list_key(registry)) {
        list.clear();
        return;
    }
    const std::vector<reg::Value> values = registry.get_values();
    list.clear();
    // Position k holds every name whose integer is k, in the registry's order; positions
    // outside 0 .. n-1, and values that are no integers, are left out.
    const auto n = static_cast<std::int64_t>(values.size());
    std::vector<std::vector<const std::string*>> positions(values.size());
    for (const reg::Value& value : values) {
        if (value.type != reg::DataType::integer) continue;
        if (value.integer < 0 || value.integer >= n) continue;
        positions[static_cast<std::size_t>(value.integer)].push_back(&value.name);
    }
    for (const auto& names : positions) {
        for (const std::string* name : names) list.push_back(*name);
    }
}

void write_folder_list(const std::vector<std::string>& list) {
    // The clearing and every value go in one transaction of the store: the configuration dialogs
    // of both programs may write the list at the same time, and a reader must find the old list
    // or the new one, never the values of both.
    const std::string key = folder_list_key();
    reg::WriteBatch batch;
    batch.create_key(reg::HKEY_CURRENT_USER, key).clear_values(reg::HKEY_CURRENT_USER, key);
    // Value names do not tell letter case apart, so a folder that repeats an earlier one (in any
    // case) would overwrite its value and leave a gap in the positions, and reading would then
    // drop every folder behind the gap. Such a repeat is left out and the positions stay dense.
    std::vector<std::string> written;
    for (const std::string& folder : list) {
        bool repeated = false;
        for (const std::string& earlier : written) {
            if (reg::same_name(earlier, folder)) {
                repeated = true;
                break;
            }
        }
        if (repeated) continue;
        batch.set_integer(reg::HKEY_CURRENT_USER, key, folder, static_cast<std::int32_t>(written.size()));
        written.push_back(folder);
    }
    // A store that refuses the batch writes nothing, as a key that cannot be opened.
    batch.commit();
}

void clear_key_values(reg::Registry& open_registry) {
    std::vector<std::string> names;
    open_registry.get_value_names(names);
    for (const std::string& name : names) open_registry.delete_value(name);
}

}  // namespace putils
