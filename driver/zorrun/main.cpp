// Zorrun: the run-time driver of the Zor, a local automation server on the session bus.
//
//   Zorrun                 serves the bus until SIGTERM or SIGINT
//   Zorrun -Embedding      started by a client: ends when the last object is released
//   Zorrun -RegServer      writes the class registration and exits (-UnregServer removes it)
//   Zorrun --help          prints the usage and exits
//
// Start-up order: status 0, instance number 1, the core's session globals, the class factory;
// then the forms Tzor_lib, Twait_form, Tload_config_form, Tsyringe_change, Terror_form and
// Tnew_syr (none shown, unless the debug page is on), and the message loop.
//
// On a display (DISPLAY or WAYLAND_DISPLAY, and built with the Qt backend) the forms, boxes and
// dialogs are real windows that the person at the screen answers; without one Zorrun answers
// them itself and logs each question with its answer.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/zor_lib_form.h"
#include "driver/zorrun/command_line.h"
#include "driver/zorrun/driver_forms.h"
#include "driver/zorrun/interaction.h"
#include "driver/zorrun/server.h"
#include "driver/zorrun/status_model.h"
#include "platform/com/bus.h"
#include "platform/forms/application.h"
#include "platform/forms/interaction.h"
#include "platform/registry/registry.h"
#include "platform/window/window.h"
#include "utilities/session.h"

#ifdef ZOR_WITH_QT
#include "platform/forms_qt/qt_session.h"
#endif

namespace {

namespace window = platform::window;
namespace forms = platform::forms;

void say(const std::string& text) {
    std::fprintf(stderr, "Zorrun: %s\n", text.c_str());
}

// SIGTERM and SIGINT end the loop cleanly. They are blocked before any thread starts (the
// serial layer's workers inherit the mask) and read from a signalfd on the main thread.
int block_stop_signals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    return ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

}  // namespace

int main(int argc, char** argv) {
    const zorrun::Switches switches = zorrun::parse_switches(std::vector<std::string>(argv + 1, argv + argc));
    if (!switches.unknown.empty()) {
        say("unknown argument " + switches.unknown.front() + " (Zorrun --help lists the switches)");
        return 2;
    }
    if (switches.help) {
        std::fputs(zorrun::usage_text().c_str(), stdout);
        return 0;
    }
    // A store that cannot be used is named now: without it every setting would read as missing
    // and the first complaint would be about a setting, not about the file. Zorrun still serves,
    // so that a caller hears the same reason (every call fails with it) rather than that the
    // program could not be started.
    const bool store_usable = platform::registry::store_available();
    if (!store_usable) say(platform::registry::last_store_error());
    const int signal_fd = block_stop_signals();

    if (switches.regserver || switches.unregserver) {
        if (!store_usable) return 1;
        std::string error;
        const auto hr = switches.regserver ? zorrun::register_server(zorrun::own_program_path(), error)
                                           : zorrun::unregister_server(error);
        if (platform::com::failed(hr))
            say((switches.regserver ? "registration failed: " : "unregistration failed: ") + error +
                " (HRESULT " + platform::com::hresult_text(hr) + ")");
        return platform::com::failed(hr) ? 1 : 0;
    }

    // The automation unit's initialization.
    zorrun::reset_vzor_state();
    if (putils::session().instance_number == 0) putils::session().instance_number = 1;
    core::init_session(false, false, true, false, true, false, ".PME", "Zorrun", "");
    zorrun::log_automation_call("initialization");
#ifdef ZOR_WITH_QT
    std::unique_ptr<platform::forms_qt::QtSession> qt;
    if (!std::getenv("ZOR_TEST_INTERACTION")) qt = platform::forms_qt::QtSession::on_display();
    const bool on_display = qt != nullptr;
#else
    const bool on_display = false;
#endif
    std::unique_ptr<forms::InteractionProvider> provider;
    try {
        provider = zorrun::install_interaction_provider(on_display);
    } catch (const std::exception& e) {
        say(e.what());
        return 1;
    }
    if (const auto hr = zorrun::start_serving(); platform::com::failed(hr)) {
        say("cannot serve on the session bus: " + platform::com::hresult_text(hr) + " " +
            platform::com::last_bus_error());
        return 1;
    }

    // The main block.
    forms::Application& app = forms::application();
    app.ShowMainForm = false;
    app.create_form<core::Tzor_lib>();
    zorrun::create_driver_forms();
    // The debug page is a window to look at, not the program: closing it hides it, and Zorrun
    // ends as it does without the page (a signal, its bus, or its last client letting go).
    app.MainForm = nullptr;

    window::WatchId signal_watch = 0;
    if (signal_fd >= 0) {
        signal_watch = window::add_fd_watch(signal_fd, POLLIN, [signal_fd](short) {
            signalfd_siginfo info;
            while (::read(signal_fd, &info, sizeof info) == sizeof info) {
            }
            window::post_quit_message(0);
        });
    }
    if (switches.started_by_com()) {
        platform::com::set_last_reference_handler([] { window::post_quit_message(0); });
    }
    // Without its bus nobody can reach the driver: a Zorrun the bus started ends with the session
    // instead of keeping the instrument's port.
    platform::com::set_bus_lost_handler([] {
        say("the session bus went away");
        window::post_quit_message(0);
    });

    const int exit_code = app.run();

    if (signal_watch) window::remove_fd_watch(signal_watch);
    zorrun::stop_serving();
    app.free_all_forms();
    forms::set_interaction_provider(nullptr);
    provider.reset();
    // The unit's finalization.
    zorrun::vzor_state().barcode_text.clear();
    if (signal_fd >= 0) ::close(signal_fd);
#ifdef ZOR_WITH_QT
    qt.reset();
#endif
    return exit_code;
}
