#include "driver/zorrun/command_line.h"

#include "utilities/text.h"

namespace zorrun {

Switches parse_switches(const std::vector<std::string>& arguments) {
    Switches switches;
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h" || argument == "-?" || argument == "/?") {
            switches.help = true;
            continue;
        }
        if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-')) {
            switches.unknown.push_back(argument);
            continue;
        }
        const std::string_view name = std::string_view(argument).substr(1);
        if (putils::same_text(name, "AUTOMATION")) {
            switches.automation = true;
        } else if (putils::same_text(name, "EMBEDDING")) {
            switches.embedding = true;
        } else if (putils::same_text(name, "REGSERVER")) {
            switches.regserver = true;
        } else if (putils::same_text(name, "UNREGSERVER")) {
            switches.unregserver = true;
        } else if (putils::same_text(name, "HELP")) {
            switches.help = true;
        } else {
            switches.unknown.push_back(argument);
        }
    }
    return switches;
}

std::string usage_text() {
    return "usage: Zorrun [-Embedding | -Automation | -RegServer | -UnregServer | --help]\n"
           "the run-time driver of the Zor autosampler: an automation server on the D-Bus session bus\n"
           "(bus name com.hox.Zorrun, object /com/hox/Zorrun/IZor)\n"
           "\n"
           "  (no switch)    serve the bus until SIGTERM or SIGINT, or until the bus goes away\n"
           "  -Embedding     started by a client: end when the last client lets go of the object\n"
           "  -Automation    the same as -Embedding\n"
           "  -RegServer     register the class IZor with this program's path in the settings store,\n"
           "                 and the bus service com.hox.Zorrun in\n"
           "                 $XDG_DATA_HOME/dbus-1/services (default ~/.local/share), then exit\n"
           "  -UnregServer   remove both, then exit\n"
           "  --help         print this text and exit\n"
           "\n"
           "Switches may begin with \"-\" or \"/\" and are read in any letter case.\n"
           "Settings: $ZOR_REGISTRY, else $XDG_CONFIG_HOME/zor/registry.db (default ~/.config).\n"
           "Serial port COM<n>: the device named by $ZOR_COM<n>, else by the value COM<n> of\n"
           "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM in the settings store, else /dev/ttyS<n-1>.\n"
           "exit codes: 0 done, 1 failure (registration, the bus), 2 a bad command line\n";
}

}  // namespace zorrun
