#include "driver/zorrun/command_line.h"

#include "utilities/text.h"

namespace zorrun {

Switches parse_switches(const std::vector<std::string>& arguments) {
    Switches switches;
    for (const std::string& argument : arguments) {
        if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-')) continue;
        const std::string_view name = std::string_view(argument).substr(1);
        if (putils::same_text(name, "AUTOMATION")) {
            switches.automation = true;
        } else if (putils::same_text(name, "EMBEDDING")) {
            switches.embedding = true;
        } else if (putils::same_text(name, "REGSERVER")) {
            switches.regserver = true;
        } else if (putils::same_text(name, "UNREGSERVER")) {
            switches.unregserver = true;
        }
    }
    return switches;
}

}  // namespace zorrun
