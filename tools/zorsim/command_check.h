// Splitting an atom command line "NAME(v1,v2,...,)" and checking it against the atom's parameters,
// as an instrument that takes its configuration seriously would. A refused command is answered
// with "@" and the code below, so a driver that builds a wrong command line finds out at once.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zorsim {

class ConfigText;
struct AtomDef;

// Error codes of refused commands (the text after "@" in the reply).
inline constexpr int error_bad_object = 10;       // no such object, or not of an allowed class
inline constexpr int error_missing_value = 11;    // a required parameter is empty
inline constexpr int error_too_many_values = 12;  // more values than the atom has parameters
inline constexpr int error_not_a_number = 13;     // a number or list index that is no integer
inline constexpr int error_out_of_range = 14;     // outside the parameter's limits or list
inline constexpr int error_malformed = 15;        // no "(" or no closing ")"
inline constexpr int error_bad_download = 21;     // DLD_OBJ with a line the configuration refuses
inline constexpr int error_bad_baud = 22;         // SET_BAUD with another rate than 9600 or 38400
inline constexpr int error_atom_running = 99;     // an atom command while another atom still runs

struct CommandLine {
    std::string name;               // text before "(" (the whole text when there is none)
    bool has_arguments = false;     // a "(" ... ")" part was present
    bool well_formed = true;        // "(" present implies a closing ")" at the end
    std::vector<std::string> args;  // values; the empty one after a final "," is not counted
};

CommandLine split_command(std::string_view text);

struct CheckResult {
    int code = 0;        // 0 when the command is acceptable
    std::string reason;  // for the transcript and the log
};

CheckResult check_atom_command(const ConfigText& config, const AtomDef& atom, const CommandLine& command);

}  // namespace zorsim
