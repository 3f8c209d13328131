// Zorrun's command line: the switches of a local COM server, each after "/" or "-" and in any
// letter case, and a request for the usage text.
#pragma once

#include <string>
#include <vector>

namespace zorrun {

struct Switches {
    bool automation = false;   // "AUTOMATION": started by a client through COM
    bool embedding = false;    // "EMBEDDING": started by COM to serve a client
    bool regserver = false;    // "REGSERVER": write the registration and exit
    bool unregserver = false;  // "UNREGSERVER": remove it and exit
    bool help = false;         // "--help", "-h", "-?", "/?", "-help": print the usage and exit
    // Arguments that are none of these, in the order given; the program refuses to start with any.
    std::vector<std::string> unknown;
    // Started by COM: the program ends when the last object is released.
    bool started_by_com() const { return automation || embedding; }
};

// `arguments` without the program name.
Switches parse_switches(const std::vector<std::string>& arguments);

// What "Zorrun --help" prints.
std::string usage_text();

}  // namespace zorrun
