// Settings in the registry under the current user, with read-or-create defaults.
//
// Every routine opens its key, does its work and closes it; no key stays open between calls.
// A key that cannot be opened makes readers fall back to their default (or leave the caller's
// text unchanged) and writers do nothing, without a message.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform::registry {
class Registry;
}

namespace putils {

std::string base_key();            // "\SOFTWARE\Hox\Zor\Task Weaver"
std::string instance_key();        // base key + "\" + instance number
std::string driver_startup_key();  // instance key + "\Driver startup"
std::string folder_list_key();     // instance key + "\Folder List"

bool open_instance_key(platform::registry::Registry& registry);
bool open_folder_list_key(platform::registry::Registry& registry);

std::int32_t reg_read_int(std::string_view name, std::int32_t default_value);
void reg_read_string(std::string_view name, std::string_view default_value, std::string& text);
void reg_write_int(std::string_view name, std::int32_t value);
void reg_write_string(std::string_view name, std::string_view value);
void write_registry_string(std::string_view key_path, std::string_view name, std::string_view value);

std::int32_t read_port_setting();
void write_port_setting(std::int32_t port);

void read_folder_list(std::vector<std::string>& list);
void write_folder_list(const std::vector<std::string>& list);
void clear_key_values(platform::registry::Registry& open_registry);

}  // namespace putils
