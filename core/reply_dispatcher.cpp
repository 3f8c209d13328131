#include "core/reply_dispatcher.h"

#include <algorithm>

#include "core/command_text.h"
#include "core/config_model.h"
#include "core/config_text.h"
#include "core/framed_link.h"
#include "core/instrument_commands.h"
#include "core/lost_reply.h"
#include "core/method_expansion.h"
#include "core/method_run.h"
#include "core/run_variables.h"
#include "core/session_state.h"
#include "core/step_queue.h"
#include "core/step_sequences.h"
#include "core/uilib.h"
#include "core/window_broadcast.h"
#include "core/zor_lib_form.h"
#include "serial/com_port.h"
#include "utilities/log.h"
#include "utilities/message_boxes.h"
#include "utilities/settings.h"
#include "utilities/text.h"

namespace core {

namespace {

// How often a port change that waits for the old line to close looks again.
constexpr unsigned port_watch_interval_ms = 50;
// How often a device that went away is looked for again.
constexpr unsigned device_watch_interval_ms = 500;

void set_flow_control(serial::TSWFlowOptions options) {
    if (serial::TSpCustomComPort* port = session_port()) port->SetSWFlowOptions(options);
}

void enter_error_mode() {
    RunState& run = run_state();
    run.error_mode = true;
    run.error_step_index = 0;
    run.error_answer = 0;
    // Retry runs the method line whose command failed, when it was one; a failed command of
    // the step queue (GET_SYR during a run) has no line to go back to.
    run.failed_step =
        putils::same_text(link_state().last_command, run.last_method_command) ? run.last_method_step : -1;
    // The error macros may loop on their own; the method's loop is kept aside meanwhile.
    RunVariables& vars = run_variables();
    run.saved_repeat_total = vars.repeat_total;
    run.saved_repeat_remaining = vars.repeat_remaining;
    run.saved_repeat_start = run.repeat_start;
}

// An error reply outside a run ends the job that sent the failed command: its later steps
// rely on it. The upload also gives back the normal rate if it had switched.
void abandon_job_after_error() {
    const bool uploading = upload_under_way();
    clear_step_queue();
    SessionState& ss = session_state();
    if (uploading) {
        ss.uploading = 0;
        if (ss.config_progress.end) ss.config_progress.end();
        std::string error = run_state().error_text;
        std::replace(error.begin(), error.end(), '\r', ' ');
        fail_upload(upload_failure_prefix + error);
        serial::TSpCustomComPort* port = session_port();
        if (port && port->Baud() != 9600)
            install_sequence({[] { queue_command(command_word::set_baud_9600); }});
    }
    // Synchronous waits of the automation object (bar code, syringe) end now.
    notify_wait_forms();
}

void reply_tail() {
    LinkState& link = link_state();
    RunState& run = run_state();
    StepQueueState& queue = step_queue();
    link.baud_state = baud_settled;
    if (apply_port_change(false)) return;
    if (run.cancel_sent) {
        // The cancelled atom still reports its end through GET_ATOM_INFO.
        arm_atom_wait();
        run.cancel_sent = false;
        return;
    }
    if (send_cancel_if_requested()) return;
    run_next_queued_step();
    if (queue.pending_command.empty() && run.run_active) {
        if (run.waiting_for_ds) {
            if (run.go_flag) {
                run.waiting_for_ds = false;
                uilib::on_ds_ready();
                uilib::on_step_changed();
                ++run.step_index;
                run_next_step();
            }
        } else if (run.error_mode) {
            run_next_error_step();
        } else {
            run_next_step();
        }
    }
    if (queue.pending_command.empty()) run_next_queued_step();
    if (queue.pending_command.empty()) {
        start_idle_polling();
    } else {
        std::string command = std::move(queue.pending_command);
        queue.pending_command.clear();
        send_command(command);
    }
}

// The first row of the command table that recognizes the last command and has the handler.
template <class Handler>
const InstrumentCommand* outstanding_row(Handler InstrumentCommand::*handler) {
    const std::string& last = link_state().last_command;
    for (const InstrumentCommand& row : instrument_commands())
        if (row.*handler && command_matches(row, last)) return &row;
    return nullptr;
}

}  // namespace

bool last_command_is(std::string_view name) {
    return putils::same_text(command_name(link_state().last_command), name);
}

bool waiting_for_atom_info() {
    return putils::same_text(link_state().last_sent, command_word::get_atom_info);
}

bool send_cancel_if_requested() {
    RunState& run = run_state();
    if (!run.cancel_requested) return false;
    run.cancel_requested = false;
    run.cancel_sent = true;
    send_command(command_word::cancel);
    return true;
}

void arm_atom_wait() {
    arm_timer(link_state().atom_poll_interval, TimerMode::atom_wait);
}

void continue_atom_wait() {
    if (!send_cancel_if_requested()) arm_atom_wait();
}

void start_idle_polling() {
    arm_timer(link_state().polling_ticks, TimerMode::idle_poll);
    uilib::on_idle_poll();
}

bool poll_now_if_idle() {
    LinkState& link = link_state();
    if (!link.timer_armed || link.timer_mode != TimerMode::idle_poll || !session_port()) return false;
    // What the poll timer's expiry does, only sooner.
    send_command(command_word::get_stat);
    return true;
}

void handle_atom_progress(const std::string& text) {
    RunState& run = run_state();
    if (run.run_active) {
        run.status_text = text;
        uilib::on_status_text(text);
    }
    if (putils::same_text(text, "Barcode unreadable")) {
        barcode_state().state = barcode_unreadable;
        if (run.run_active) {
            // The sample cannot be taken as asked: the run ends through its exit part and says
            // so. A read inside that part lets the part finish instead of starting it again.
            run.failed = true;
            run.failure_text = "Barcode unreadable!";
            if (run.step_index < method_state().method_exit_index) jump_to_method_exit();
        }
        uilib::on_barcode_text("Barcode unreadable!");
    }
    // The instrument answered; the atom's end is asked for as usual (a label that cannot be
    // read is no lost connection).
    continue_atom_wait();
}

void note_instrument_answers() {
    LinkState& link = link_state();
    if (link.lost) {
        link.lost = false;
        uilib::on_reconnected();
        set_flow_control(serial::swfBoth);
    }
    link.baud_state = baud_settled;
}

void handle_reply() {
    LinkState& link = link_state();
    RunState& run = run_state();
    SessionState& ss = session_state();
    // A reply that comes while the port is being changed belongs to the old line.
    if (ss.port_change_in_progress) return;
    const std::string reply = link.final_element;
    const bool probing_fast_rate = link.baud_state == baud_trying_fast;

    note_instrument_answers();

    if (reply == "@") {
        stop_timer();
        if (const InstrumentCommand* row = outstanding_row(&InstrumentCommand::on_acknowledged))
            row->on_acknowledged();
        reply_tail();
        return;
    }
    if (reply == "|") {
        stop_timer();
        if (waiting_for_atom_info()) {
            // the atom has finished
        } else if (const InstrumentCommand* row = outstanding_row(&InstrumentCommand::on_done)) {
            row->on_done();
        } else if (config_model().atom_count > 0 && is_atom_line(link.last_command)) {
            // The atom has started; the method moves on when GET_ATOM_INFO says it is done.
            continue_atom_wait();
            return;
        }
        reply_tail();
        return;
    }
    if (!waiting_for_atom_info()) {
        if (const InstrumentCommand* row = outstanding_row(&InstrumentCommand::on_status)) {
            if (row->on_status(reply) == AfterReply::next_command) reply_tail();
            return;
        }
    }
    if (reply.size() >= 2 && reply[0] == '@') {
        barcode_state().state = barcode_error;
        uilib::on_step_changed();
        if (probing_fast_rate || run.error_mode) {
            reply_tail();
            return;
        }
        run.error_text = link.last_command + "\r" + "Error " + reply.substr(1);
        // The instrument has answered: nothing is resent.
        stop_timer();
        if (run.run_active) {
            enter_error_mode();
            reply_tail();
            return;
        }
        report_instrument_error(run.error_text + ". Please check the terminal.");
        abandon_job_after_error();
        reply_tail();
        return;
    }
    if (waiting_for_atom_info()) handle_atom_progress(reply);
}

void report_instrument_error(const std::string& text) {
    putils::append_log(text);
    SessionState& ss = session_state();
    Tzor_lib* form = zor_lib();
    if (!form) return;
    // One box at a time: errors that come while it is shown are in the log.
    if (ss.error_report_pending) return;
    ss.error_report_pending = true;
    ss.pending_error_text = text;
    platform::window::post_message(form->handle(), Tzor_lib::msg_instrument_error);
}

bool apply_port_change(bool from_timeout) {
    SessionState& ss = session_state();
    if (!ss.port_change_requested) return false;
    Tzor_lib* form = zor_lib();
    ss.port_change_requested = false;
    if (!form) return false;
    ss.port_change_in_progress = true;
    ss.port_change_resume_resend = from_timeout;
    stop_timer();
    platform::window::post_message(form->handle(), Tzor_lib::msg_port_change);
    return true;
}

namespace {

bool reopen_on(serial::TSpComPort& port, int number) {
    try {
        if (port.Open()) port.SetOpen(false);
        port.SetComNumber(static_cast<std::uint16_t>(number));
        port.SetOpen(true);
        // The trigger set of the old line is carried into the new one; a port that had none
        // (opened for the first time) gets its timer now.
        if (link_state().timer_handle == 0) link_state().timer_handle = port.NewTimerTrigger();
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace

void carry_out_port_change() {
    SessionState& ss = session_state();
    Tzor_lib* form = zor_lib();
    if (!form || !ss.port_change_in_progress) return;
    serial::TSpComPort& port = form->port;
    const int previous = port.ComNumber();
    const int wanted = putils::read_port_setting();
    link_state().receive_state = 0;
    if (reopen_on(port, wanted)) {
        putils::append_log("changed port to " + std::to_string(wanted));
    } else if (reopen_on(port, previous)) {
        report_instrument_error("Port is not available" + std::to_string(wanted) + "; still on port " +
                                std::to_string(previous));
    } else {
        // Neither line opens: the session is not connected any more, so the next StartPolling or
        // Initialize tries again, and nobody waits for an answer that cannot come.
        ss.port_change_in_progress = false;
        ss.connected = false;
        report_instrument_error("Port is not available" + std::to_string(wanted));
        notify_wait_forms();
        return;
    }
    resume_after_port_change();
}

void report_device_lost() {
    SessionState& ss = session_state();
    Tzor_lib* form = zor_lib();
    if (!form || ss.device_reopen_pending) return;
    ss.device_reopen_pending = true;
    putils::append_log("the device of port " + std::to_string(form->port.ComNumber()) + " went away");
    stop_timer();
    platform::window::post_message(form->handle(), Tzor_lib::msg_device_lost);
}

void reopen_lost_device() {
    SessionState& ss = session_state();
    Tzor_lib* form = zor_lib();
    if (!form || !ss.device_reopen_pending) return;
    platform::window::kill_timer(form->handle(), Tzor_lib::device_watch_timer);
    serial::TSpComPort& port = form->port;
    // The lost line is closed first and opened only once its close has finished. Asked for
    // while the port's dispatch thread still delivers an event, the close finishes later, and an
    // open asked for meanwhile would come then, fail with no one to look again, and leave the
    // session waiting for good.
    if (port.PortState() == serial::psOpen) port.SetOpen(false);
    if (port.PortState() != serial::psClosed || !reopen_on(port, port.ComNumber())) {
        // Not back yet: the session stays disconnected and looks again.
        platform::window::set_timer(form->handle(), Tzor_lib::device_watch_timer, device_watch_interval_ms);
        return;
    }
    ss.device_reopen_pending = false;
    link_state().receive_state = 0;
    putils::append_log("reopened port " + std::to_string(port.ComNumber()));
    resend_after_timeout();
}

void resume_after_port_change() {
    SessionState& ss = session_state();
    Tzor_lib* form = zor_lib();
    if (!form) return;
    platform::window::kill_timer(form->handle(), Tzor_lib::port_watch_timer);
    if (form->port.PortState() == serial::psClosing) {
        // Asked for from a dialog inside one of the port's own handlers: the old line is still
        // closing and the new one opens after it. Look again shortly.
        platform::window::set_timer(form->handle(), Tzor_lib::port_watch_timer, port_watch_interval_ms);
        return;
    }
    ss.port_change_in_progress = false;
    if (!session_port()) {
        ss.connected = false;
        report_instrument_error("Port is not available" + std::to_string(form->port.ComNumber()));
        notify_wait_forms();
        return;
    }
    if (ss.port_change_resume_resend)
        resend_after_timeout();
    else
        start_idle_polling();
}

}  // namespace core
