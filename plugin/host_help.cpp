// The host's settings and the editor's help file.
#include "platform/forms/help_message.h"
#include "platform/help/help.h"
#include "platform/registry/registry.h"
#include "plugin/method_editor.h"
#include "utilities/message_boxes.h"

namespace zorsetup {

std::string read_host_registry(std::string_view subkey, std::string_view value) {
    try {
        platform::registry::Registry registry(platform::registry::HKEY_LOCAL_MACHINE);
        if (!registry.open_key_read_only("\\SOFTWARE\\Velorand\\Chromarq" + std::string(subkey))) return {};
        if (!registry.value_exists(value)) return {};
        return registry.read_string(value);
    } catch (const platform::registry::RegistryError&) {
        return {};  // not a string, or the store cannot be read
    }
}

void show_help(platform::window::Handle window) {
    const std::string name = read_host_registry("\\Devices\\ZOR", "HlpFName");
    if (name.empty()) {
        putils::show_error(
            "The host names no help file for the Zor (value \"HlpFName\" of \"\\Devices\\ZOR\").");
        return;
    }
    const std::string path =
        read_host_registry("\\Global", "Chromarq Path") + "/system/programs/" + name + ".hlp";
    const platform::help::HelpResult result =
        platform::help::win_help(window, path, platform::help::help_key, "Contents");
    if (!result.message.empty()) putils::show_error(result.message);
}

// F1 anywhere in the editor (a control or a menu item) opens the help file.
void Tmethod_editor::show_help_file(platform::forms::FormMessage& message) {
    if (!platform::forms::help_info_of(message.lparam)) return;
    show_help(handle());
    message.result = 1;
}

}  // namespace zorsetup
