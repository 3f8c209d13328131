// zorctl: a run client of Zorrun on the session bus. See options.h for the command line and
// commands.h for what each command does.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "platform/registry/registry.h"
#include "tools/zorctl/commands.h"
#include "tools/zorctl/document.h"
#include "tools/zorctl/izor_driver.h"
#include "tools/zorctl/locale_output.h"
#include "tools/zorctl/options.h"

namespace {

int make_document(const zorctl::Command& c) {
    std::vector<std::string> method;
    if (!zorctl::read_method_text(c.method_file, method)) {
        std::cerr << "zorctl: cannot read the method text " << c.method_file << "\n";
        return zorctl::exit_failed;
    }
    const auto lines = zorctl::document_lines(c.syringe, method, c.macro_folder);
    std::string error;
    if (!zorctl::write_method_document(c.output, zorctl::stream_bytes(lines), error)) {
        std::cerr << "zorctl: cannot write " << c.output << ": " << error << "\n";
        return zorctl::exit_failed;
    }
    std::cout << c.output << ": " << lines.size() << " lines in Zor/Data\n";
    return zorctl::exit_ok;
}

// A run must not be left going on the instrument when the user presses Ctrl-C: for "run",
// SIGINT and SIGTERM are read from a signalfd in the loop, and the run is stopped before zorctl
// exits. The other commands end at once, as any program does.
int interrupt_fd_for(const zorctl::Command& c) {
    if (c.name != "run") return -1;
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) return -1;
    return ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

int driver_command(const zorctl::Command& c) {
    // Finding Zorrun goes through the settings store: a store that cannot be used is named
    // rather than reported as a class that is not registered.
    if (!platform::registry::store_available()) {
        std::cerr << "zorctl: cannot reach Zorrun: " << platform::registry::last_store_error() << "\n";
        return zorctl::exit_call_failed;
    }
    std::string error;
    const int interrupt_fd = interrupt_fd_for(c);
    std::unique_ptr<zorctl::Driver> driver = zorctl::connect_driver(error, interrupt_fd);
    if (!driver) {
        std::cerr << "zorctl: cannot reach Zorrun: " << error << "\n";
        return zorctl::exit_call_failed;
    }
    auto& out = std::cout;
    auto& err = std::cerr;
    const zorctl::Clock clock = zorctl::steady_clock();
    if (c.name == "status") return zorctl::show_status(*driver, out, err);
    if (c.name == "initialize") return zorctl::initialize(*driver, out, err);
    if (c.name == "prepare") return zorctl::prepare(*driver, c.run, out, err);
    if (c.name == "start") return zorctl::start(*driver, out, err);
    if (c.name == "stop") return zorctl::stop(*driver, out, err);
    if (c.name == "barcode") return zorctl::barcode(*driver, c.vial, out, err);
    if (c.name == "syringe") return zorctl::syringe(*driver, out, err);
    if (c.name == "reset") return zorctl::reset(*driver, out, err);
    if (c.name == "reload") return zorctl::reload(*driver, c.wait, clock, out, err);
    if (c.name == "run") return zorctl::run_method(*driver, c.run, clock, out, err);
    std::cerr << "zorctl: " << c.name << " is not a driver command\n";
    return zorctl::exit_usage;
}

}  // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);
    std::setlocale(LC_CTYPE, "");
    zorctl::LocaleOutput out(std::cout), err(std::cerr);
    const std::vector<std::string> args(argv + 1, argv + argc);
    zorctl::Command command;
    std::string error;
    if (!zorctl::parse_command_line(args, command, error)) {
        std::cerr << "zorctl: " << error << "\n" << zorctl::usage_text();
        return zorctl::exit_usage;
    }
    if (command.name == "help") {
        std::cout << zorctl::usage_text();
        return zorctl::exit_ok;
    }
    if (command.name == "make-document") return make_document(command);
    return driver_command(command);
}
