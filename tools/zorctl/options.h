// zorctl's command line.
//
//   zorctl status
//   zorctl initialize
//   zorctl prepare DOCUMENT VIAL [--volume UL] [--start-mode N]
//   zorctl start
//   zorctl stop
//   zorctl barcode VIAL
//   zorctl syringe
//   zorctl reset
//   zorctl reload [--timeout S]
//   zorctl run DOCUMENT VIAL [--volume UL] [--start-mode N] [--timeout S] [--poll-ms MS]
//   zorctl make-document OUT --syringe NAME --method FILE [--macros DIR]
//   zorctl help
//
// Options may stand anywhere after the command, "--name value" or "--name=value".
#pragma once

#include <string>
#include <vector>

#include "tools/zorctl/commands.h"

namespace zorctl {

struct Command {
    std::string name;
    RunOptions run;    // prepare and run
    WaitOptions wait;  // reload
    std::string vial;  // barcode
    // make-document
    std::string output;
    std::string syringe;
    bool syringe_given = false;
    std::string method_file;
    std::string macro_folder;
};

// False with the reason in `error` for a command line that is not one of the above.
bool parse_command_line(const std::vector<std::string>& args, Command& command, std::string& error);

std::string usage_text();

}  // namespace zorctl
