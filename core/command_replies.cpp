#include "core/command_replies.h"

#include "core/config_text.h"
#include "core/framed_link.h"
#include "core/reply_dispatcher.h"
#include "core/session_state.h"
#include "core/step_queue.h"
#include "core/uilib.h"
#include "serial/com_port.h"

namespace core {

namespace {

// Ticks before GET_STAT is asked again while the instrument says BUSY (110 ms).
constexpr std::int32_t busy_repoll_ticks = 2;

// The first data line of the reply; "" when the reply carried none.
std::string first_reply_line() {
    const auto& lines = link_state().return_lines;
    return lines.empty() ? std::string() : lines.front();
}

void set_port_baud(std::int32_t baud) {
    if (serial::TSpCustomComPort* port = session_port()) port->SetBaud(baud);
    hold_until_rate_settled();
}

}  // namespace

void sync_signal_seen() {
    run_state().status_text = "Saw Sync Signal";
    uilib::on_sync_signal();
}

void barcode_read() {
    if (barcode_state().state == barcode_unreadable)
        uilib::on_barcode_text("Barcode error!");
    else
        queue_command(command_word::get_spl_id);
}

void take_sample_id() {
    LinkState& link = link_state();
    barcode_state().text = first_reply_line();
    // The reader had no code to tell: the label could not be read.
    if (link.return_lines.empty()) barcode_state().state = barcode_unreadable;
    uilib::on_barcode_text(barcode_state().text);
}

void take_firmware_version() {
    SessionState& ss = session_state();
    ss.firmware_version = first_reply_line();
    ss.uploading = 0;
    uilib::on_firmware_version();
}

void take_mounted_syringe() {
    mounted_syringe() = first_reply_line();
}

void object_downloaded() {
    write_configuration();
}

void reply_needs_nothing() {}

void follow_rate_9600() {
    set_port_baud(9600);
}

void follow_rate_38400() {
    set_port_baud(38400);
}

AfterReply take_instrument_state(const std::string& reply) {
    if (reply == "ERROR") {
        stop_timer();
        continue_atom_wait();
        return AfterReply::nothing;
    }
    if (reply == "READY") {
        stop_timer();
        return AfterReply::next_command;
    }
    if (reply == "BUSY") {
        stop_timer();
        if (!send_cancel_if_requested()) arm_timer(busy_repoll_ticks, TimerMode::idle_poll);
        uilib::on_busy();
        return AfterReply::nothing;
    }
    return AfterReply::next_command;
}

}  // namespace core
