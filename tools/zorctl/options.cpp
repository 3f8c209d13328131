#include "tools/zorctl/options.h"

#include <charconv>
#include <cmath>
#include <map>
#include <set>

namespace zorctl {

namespace {

struct Shape {
    std::size_t positional;         // how many words after the command
    std::set<std::string> options;  // the options it takes
};

const std::map<std::string, Shape>& shapes() {
    static const std::map<std::string, Shape> table = {
        {"status", {0, {}}},
        {"initialize", {0, {}}},
        {"prepare", {2, {"--volume", "--start-mode"}}},
        {"start", {0, {}}},
        {"stop", {0, {}}},
        {"barcode", {1, {}}},
        {"syringe", {0, {}}},
        {"reset", {0, {}}},
        {"reload", {0, {"--timeout"}}},
        {"run", {2, {"--volume", "--start-mode", "--timeout", "--poll-ms"}}},
        {"make-document", {1, {"--syringe", "--method", "--macros"}}},
        {"help", {0, {}}},
    };
    return table;
}

bool to_number(const std::string& text, double& value) {
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, value);
    return r.ec == std::errc() && r.ptr == end && std::isfinite(value);
}

bool to_integer(const std::string& text, long long& value) {
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, value);
    return r.ec == std::errc() && r.ptr == end;
}

}  // namespace

bool parse_command_line(const std::vector<std::string>& args, Command& command, std::string& error) {
    command = Command{};
    if (args.empty()) {
        error = "no command given";
        return false;
    }
    // "--help" anywhere asks for the usage, whatever else the line holds.
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            command.name = "help";
            return true;
        }
    }
    command.name = args[0];
    if (command.name.size() > 1 && command.name[0] == '-') {
        error = "unknown option " + command.name + " (the command comes first)";
        return false;
    }
    const auto shape = shapes().find(command.name);
    if (shape == shapes().end()) {
        error = "unknown command " + command.name;
        return false;
    }
    std::vector<std::string> words;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.rfind("--", 0) != 0 || a.size() == 2) {
            words.push_back(a);
            continue;
        }
        std::string name = a, value;
        if (const auto eq = a.find('='); eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            error = name + " needs a value";
            return false;
        }
        if (!shape->second.options.count(name)) {
            error = command.name + " takes no option " + name;
            return false;
        }
        double number = 0;
        long long integer = 0;
        if (name == "--volume") {
            if (!to_number(value, number) || number < 0) {
                error = "--volume wants a volume in microlitres, not " + value;
                return false;
            }
            command.run.volume = number;
        } else if (name == "--start-mode") {
            if (!to_integer(value, integer) || integer < INT32_MIN || integer > INT32_MAX) {
                error = "--start-mode wants a whole number, not " + value;
                return false;
            }
            command.run.start_mode = static_cast<std::int32_t>(integer);
        } else if (name == "--timeout") {
            if (!to_number(value, number) || number <= 0) {
                error = "--timeout wants seconds above 0, not " + value;
                return false;
            }
            command.run.timeout_s = number;
            command.wait.timeout_s = number;
        } else if (name == "--poll-ms") {
            if (!to_integer(value, integer) || integer < 1 || integer > 60000) {
                error = "--poll-ms wants milliseconds from 1 to 60000, not " + value;
                return false;
            }
            command.run.poll_ms = static_cast<unsigned>(integer);
            command.wait.poll_ms = static_cast<unsigned>(integer);
        } else if (name == "--syringe") {
            command.syringe = value;
            command.syringe_given = true;
        } else if (name == "--method") {
            command.method_file = value;
        } else if (name == "--macros") {
            command.macro_folder = value;
        }
    }
    if (words.size() != shape->second.positional) {
        error = command.name + " takes " + std::to_string(shape->second.positional) + " argument" +
                (shape->second.positional == 1 ? "" : "s") + ", not " + std::to_string(words.size());
        return false;
    }
    if (command.name == "prepare" || command.name == "run") {
        command.run.document = words[0];
        command.run.vial = words[1];
    } else if (command.name == "barcode") {
        command.vial = words[0];
    } else if (command.name == "make-document") {
        command.output = words[0];
        if (!command.syringe_given) {
            error = "make-document needs --syringe NAME (an empty name is allowed: --syringe '')";
            return false;
        }
        if (command.method_file.empty()) {
            error = "make-document needs --method FILE";
            return false;
        }
    }
    return true;
}

std::string usage_text() {
    return "usage: zorctl COMMAND [ARGUMENTS]\n"
           "a run client of Zorrun on the session bus (com.hox.Zorrun)\n"
           "\n"
           "  status                        the status code and text, and whether a run is active\n"
           "  initialize                    Initialize: idle status, port open\n"
           "  prepare DOCUMENT VIAL [--volume UL] [--start-mode N]\n"
           "                                PrepareForRun of a method document for a vial (Tray2:5)\n"
           "  start                         StartRun\n"
           "  stop                          StopRun\n"
           "  barcode VIAL                  ReadBarCode\n"
           "  syringe                       GetSyringe: the mounted syringe\n"
           "  reset                         Reset\n"
           "  reload [--timeout S]          ReloadConfiguration, waiting until the upload is over\n"
           "  run DOCUMENT VIAL [--volume UL] [--start-mode N] [--timeout S] [--poll-ms MS]\n"
           "                                a whole run: Initialize, PrepareForRun, StartRun when the\n"
           "                                method waits for its start, until the method has ended;\n"
           "                                prints every status change\n"
           "  make-document OUT --syringe NAME --method FILE [--macros DIR]\n"
           "                                writes a method document (storage \"Zor\", stream \"Data\")\n"
           "                                from a method text, with the sections of the macros it\n"
           "                                calls from the library folder DIR\n"
           "\n"
           "  help, --help                  this text\n"
           "\n"
           "Zorrun checks the injection volume only when the method draws it, atoms into the\n"
           "run: a host checks it before the run with the plug-in's ProvideInjectionVolumeLimits\n"
           "(zorhost limits VOLUME does).\n"
           "Ctrl-C during run stops the run on the instrument (StopRun) before zorctl exits.\n"
           "defaults: --volume 1, --start-mode 0, --timeout 300 (run) or 60 (reload), --poll-ms 50\n"
           "exit codes: 0 done, 1 refused or failed, 2 bad command line, 3 time-out,\n"
           "            4 a call failed or Zorrun could not be reached, 130 interrupted\n";
}

}  // namespace zorctl
