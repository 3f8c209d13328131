#include "core/zor_lib_form.h"

#include <stdexcept>

#include "core/config_text.h"
#include "core/framed_link.h"
#include "core/line_files.h"
#include "core/method_expansion.h"
#include "core/reply_dispatcher.h"
#include "core/session_state.h"
#include "platform/kernel/kernel.h"
#include "platform/registry/registry.h"
#include "serial/exceptions.h"
#include "utilities/form_helpers.h"
#include "utilities/message_boxes.h"
#include "utilities/session.h"
#include "utilities/settings.h"
#include "utilities/text.h"

namespace core {

namespace forms = platform::forms;
namespace reg = platform::registry;

namespace {

// The debug list keeps the most recent lines only: a debug page left open over a long run
// would otherwise grow without end.
constexpr int debug_box_max_lines = 5000;

void fill(forms::ListBox& box, const std::vector<std::string>& lines) {
    box.Items.clear();
    for (const std::string& line : lines) box.Items.add(line);
}

forms::ListBox* add_list(Tzor_lib& form, const char* name, int left, int top, int width, int height,
                         bool visible) {
    auto* box = form.add<forms::ListBox>(name);
    box->SetBounds(left, top, width, height);
    box->Visible = visible;
    return box;
}

}  // namespace

Tzor_lib::Tzor_lib() : Form("Tzor_lib") {
    Caption = "Debug";
    Width = 592;
    Height = 472;
    ClientWidth = 584;
    ClientHeight = 445;
    Visible = false;
    // Upper half: the reply above the trace; lower half: the command lists side by side.
    return_box = add_list(*this, "return_box", 0, 0, 584, 89, true);
    debug_box = add_list(*this, "debug_box", 0, 89, 584, 133, true);
    running_method = add_list(*this, "running_method", 8, 232, 120, 40, false);
    expanded_method = add_list(*this, "expanded_method", 136, 232, 120, 40, false);
    cmd_list = add_list(*this, "cmd_list", 0, 222, 292, 223, true);
    alternate_cmd_list = add_list(*this, "alternate_cmd_list", 292, 222, 292, 223, true);
    running_macro_params = add_list(*this, "running_macro_params", 264, 232, 120, 40, false);
    method_source = add_list(*this, "method_source", 392, 232, 120, 40, false);

    port.SetComNumber(1);
    port.SetBaud(9600);
    port.SetAutoOpen(false);
    port.SetDTR(false);
    port.SetRTS(false);
    port.SetSWFlowOptions(serial::swfBoth);
    port.SetBufferFull(3072);
    port.SetBufferResume(1024);
    port.SetOnTriggerAvail(
        [](serial::TSpCustomComPort& cp, std::uint16_t count) { portTriggerAvail(cp, count); });
    port.SetOnTriggerTimer(
        [](serial::TSpCustomComPort& cp, std::uint16_t handle) { portTriggerTimer(cp, handle); });

    OnCreate = [this](forms::Component& sender) { FormCreate(sender); };
    OnActivate = [this](forms::Component& sender) { FormActivate(sender); };
    on_message(msg_port_change, [](forms::FormMessage&) { carry_out_port_change(); });
    on_message(msg_device_lost, [](forms::FormMessage&) { reopen_lost_device(); });
    on_message(platform::window::WM_TIMER, [](forms::FormMessage& message) {
        if (message.wparam == port_watch_timer) resume_after_port_change();
        if (message.wparam == device_watch_timer) reopen_lost_device();
        if (message.wparam == rate_settle_timer) send_held_command();
    });
    on_message(msg_instrument_error, [](forms::FormMessage&) {
        SessionState& ss = session_state();
        const std::string text = ss.pending_error_text;
        putils::show_error(text);
        ss.error_report_pending = false;
    });
    session_state().form = this;
    set_link_owner(this);
}

Tzor_lib::~Tzor_lib() {
    if (session_state().form == this) session_state().form = nullptr;
    if (link_owner() == this) set_link_owner(nullptr);
    try {
        if (port.Open()) port.SetOpen(false);
    } catch (...) {
        // closing on the way out: nothing left to report to
    }
}

serial::TSpComPort& Tzor_lib::link_port() {
    return port;
}

bool Tzor_lib::link_lists_shown() const {
    return Visible;
}

void Tzor_lib::show_return_line(const std::string& line) {
    return_box->Items.add(line);
}

void Tzor_lib::clear_return_lines() {
    return_box->Items.clear();
}

void Tzor_lib::show_debug_line(std::string_view line) {
    forms::StringList& items = debug_box->Items;
    if (items.count() >= debug_box_max_lines) items.erase(0);
    items.add(std::string(line));
    // The trace follows its newest line (the list keeps itself filled below it).
    debug_box->TopIndex = items.count() - 1;
}

void Tzor_lib::start_rate_settle_timer(std::uint64_t wait_ms) {
    platform::window::set_timer(handle(), rate_settle_timer, static_cast<unsigned>(wait_ms));
}

void Tzor_lib::stop_rate_settle_timer() {
    platform::window::kill_timer(handle(), rate_settle_timer);
}

void Tzor_lib::FormCreate(forms::Component&) {
    SessionState& ss = session_state();
    reset_session_state();
    ss.tick_mark = platform::kernel::tick_count();
    debug_box->Items.clear();
    ss.debug_list_on = true;
    putils::place_form(*this);
    LinkState& link = link_state();
    link.polling_ticks = polling_ticks("Polling interval", 500);
    link.reply_timeout_ticks = timeout_ticks("Framing timeout (msec)", 3000);
    // Only the run-time driver has a debug page; the setup library keeps what it was given.
    if (!putils::same_text(ss.program_name, "Zorsetup"))
        ss.debug_page = reg_read_bool(putils::driver_startup_key(), "Debug Page", false);
    putils::session().log_enabled = reg_read_bool(putils::driver_startup_key(), "Append to log", false);
    if (!putils::session().log_enabled) reg_write_bool(putils::driver_startup_key(), "Append to log", false);
    link.trace_mark = platform::kernel::tick_count();
    if (ss.debug_page) Show();
    if (ss.connect_on_create) connect_port();
}

void Tzor_lib::FormActivate(forms::Component&) {
    Caption = "Debug" + putils::instance_suffix();
    sync_lists();  // not kept up to date while the page was hidden
}

void Tzor_lib::sync_lists() {
    const MethodState& ms = method_state();
    fill(*running_method, ms.running_method);
    fill(*expanded_method, ms.expanded_method);
    fill(*alternate_cmd_list, ms.alternate_cmd_list);
    fill(*running_macro_params, ms.running_macro_params);
    fill(*method_source, ms.method_source);
    fill(*cmd_list, run_state().cmd_list);
    fill(*return_box, link_state().return_lines);
}

std::string Tzor_lib::get_juist_version_info(std::string_view version) {
    const std::string head(version.substr(0, 5));
    const std::string rest(version.size() > 6 ? version.substr(6) : std::string_view());
    if (!putils::is_integer(rest)) throw std::invalid_argument("'" + rest + "' is not a valid integer value");
    const long long number = std::stoll(rest);
    if (number >= 1000) return head;
    if (number >= 2 && number <= 200) return head + " (Alpha " + std::to_string(number) + ")";
    if (number >= 201) return head + " (Beta " + std::to_string(number) + ")";
    return {};
}

void init_session(bool reset_after_firmware, bool tray_insert_mode, bool framed, bool connect_on_create,
                  bool use_message_boxes, bool debug_page, std::string_view extension,
                  std::string_view program_name, std::string_view sample_types) {
    SessionState& ss = session_state();
    ss.reset_after_firmware = reset_after_firmware;
    ss.framed = framed;
    ss.connect_on_create = connect_on_create;
    ss.debug_page = debug_page;
    putils::SessionValues& shared = putils::session();
    shared.tray_insert_mode = tray_insert_mode;
    shared.use_message_boxes = use_message_boxes;
    ss.extension = std::string(extension);
    ss.sample_type_list = std::string(sample_types);
    ss.program_name = std::string(program_name);
    shared.tray_form_first_create = true;
    shared.sample_type_count = 0;
    if (!sample_types.empty()) putils::set_sample_types(sample_types);
    putils::reg_read_string("Method Folder", "", shared.method_folder);
    if (!shared.method_folder.empty() && file_exists(config_file_path())) load_latest_configuration();
}

void connect_port() {
    SessionState& ss = session_state();
    Tzor_lib* form = zor_lib();
    if (ss.connected || !form) return;
    form->port.SetComNumber(static_cast<std::uint16_t>(putils::read_port_setting()));
    if (open_port(true) != 0) return;
    start_idle_polling();
    ss.connected = true;
}

int open_port(bool show_messages) {
    Tzor_lib* form = zor_lib();
    if (!form) return 1;
    serial::TSpComPort& port = form->port;
    const std::string number = std::to_string(port.ComNumber());
    std::string& failure = session_state().port_failure;
    const auto note = [&](const std::string& shown, const char* why) {
        failure = shown + (why && *why ? std::string(" (") + why + ")" : std::string());
    };
    try {
        port.SetBaud(9600);
        port.SetDataBits(8);
        port.SetParity(serial::pNone);
        port.SetStopBits(1);
        port.SetSWFlowOptions(serial::swfBoth);
        port.SetOpen(true);
        link_state().timer_handle = port.NewTimerTrigger();
        failure.clear();
        return 0;
    } catch (const serial::EAlreadyOpen& e) {
        note("Another program is using comport " + number, e.what());
        if (show_messages) putils::info_box("Another program is using comport " + number);
        return 2;
    } catch (const serial::EPermissionDenied& e) {
        // The message carries the system's reason and the device's path.
        note("No permission to use comport " + number, e.what());
        if (show_messages) putils::info_box("No permission to use comport " + number + " (" + e.what() + ")");
        return 1;
    } catch (const serial::EBadId& e) {
        note("Port is not available" + number, e.what());
        if (show_messages) putils::info_box("Port is not available" + number);
        return 1;
    } catch (const std::exception& e) {
        note("COM" + number + " cannot be opened", e.what());
        return 1;
    } catch (...) {
        note("COM" + number + " cannot be opened", nullptr);
        return 1;
    }
}

int load_latest_configuration() {
    std::vector<std::string> lines;
    if (!load_lines(config_file_path(), lines)) return 0;
    return read_configuration(lines) ? 1 : 0;
}

std::int32_t polling_ticks(std::string_view value_name, std::int32_t minimum) {
    std::int32_t ms = putils::reg_read_int(value_name, 500);
    if (ms < minimum) ms = minimum;
    return ms_to_ticks(ms);
}

std::int32_t timeout_ticks(std::string_view value_name, std::int32_t minimum) {
    std::int32_t ms = putils::reg_read_int(value_name, 3000);
    if (ms < minimum) ms = minimum;
    return ms_to_ticks(ms);
}

bool reg_read_bool(std::string_view key, std::string_view value_name, bool default_value) {
    reg::Registry registry(reg::HKEY_CURRENT_USER);
    if (!registry.open_key(key, true)) return default_value;
    try {
        if (registry.value_exists(value_name)) return registry.read_bool(value_name);
    } catch (const reg::RegistryError&) {
        // a value of another type reads as missing
    }
    return default_value;
}

void reg_write_bool(std::string_view key, std::string_view value_name, bool value) {
    reg::Registry registry(reg::HKEY_CURRENT_USER);
    if (!registry.open_key(key, true)) return;
    try {
        registry.write_bool(value_name, value);
    } catch (const reg::RegistryError&) {
        // a store that refuses the write is a key that cannot be opened
    }
}

}  // namespace core
