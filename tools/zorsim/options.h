// zorsim's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/zorsim/fault_injector.h"
#include "tools/zorsim/instrument.h"

namespace zorsim {

struct Options {
    std::string config_path;   // empty: the built-in sample configuration
    std::string link_path;     // a symbolic link to the terminal
    std::string control_path;  // control socket or FIFO
    std::string transcript_path;
    std::string executed_path;
    std::string downloads_path;
    InstrumentSettings instrument;
    int baud = 9600;  // the rate the instrument starts at
    bool pace = false;
    bool strict_baud = false;  // ignore frames while the terminal's rate differs from ours
    std::uint64_t seed = 1;
    FaultRates faults;
    bool xoff_during_atom = false;
    int xoff_delay_ms = 200;  // after the atom's "|" has gone out
    int xoff_hold_ms = 1500;
    long silent_after = -1;  // go silent after answering this many frames; -1: never
    bool verbose = false;    // every frame also to standard error

    // Other modes.
    bool help = false;
    std::string check_config_path;  // --check-config FILE: report problems and exit
    std::string tell_path;          // --tell PATH COMMAND...: one control command, then exit
    std::string tell_line;
};

// Empty on success, else the error to show (with the usage).
std::string parse_options(const std::vector<std::string>& args, Options& options);
std::string usage();

}  // namespace zorsim
