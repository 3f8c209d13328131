#include "core/lost_reply.h"

#include "core/framed_link.h"
#include "core/instrument_commands.h"
#include "core/reply_dispatcher.h"
#include "core/session_state.h"
#include "core/step_sequences.h"
#include "core/uilib.h"
#include "core/window_broadcast.h"
#include "serial/com_port.h"
#include "utilities/log.h"

namespace core {

namespace {

// Resends after which synchronous waits of the automation object are released.
constexpr std::int32_t resends_before_release = 3;

// The query has been sent and resent, and every time the instrument answered "|" alone: that is
// its answer, an empty one (no configuration, no version, no syringe, no code).
bool empty_answer_stands() {
    const LinkState& link = link_state();
    return link.empty_answer_since_send && answer_is_data(link.last_sent) &&
           link.resends_since_queue >= resends_before_release;
}

void take_empty_answer() {
    LinkState& link = link_state();
    putils::append_log(link.last_sent + " is answered with no data; taken as an empty answer");
    link.timer_retries = 0;
    link.final_element.assign(1, '|');
    link.return_lines.clear();
    link.reply_expected = false;
    link.empty_answer_since_send = false;
    handle_reply();
}

}  // namespace

void resend_after_timeout() {
    if (apply_port_change(true)) return;  // the change resends once the new port is open
    serial::TSpCustomComPort* port = session_port();
    if (!port) return;
    LinkState& link = link_state();
    if (link.empty_answer_since_send) {
        // The instrument answers, so nothing is lost: no disconnection, no rate probe.
        if (empty_answer_stands()) {
            take_empty_answer();
            return;
        }
        resend_last_frame(*port);
        return;
    }
    if (!link.lost) {
        link.lost = true;
        uilib::on_disconnected();
    }
    if (configuration_reply_unreadable()) {
        // The instrument answers, but no answer can be read: the upload fails rather than ask
        // for the same unreadable text for ever.
        link.timer_retries = 0;
        const std::string next = give_up_configuration_reply();
        if (!next.empty()) send_command(next);
        return;
    }
    if (port->DeviceLost()) {
        // No resend can reach a device that has gone; it is reopened when it is back.
        uilib::on_timeout_message("Lost Connection to Zor!");
        report_device_lost();
        return;
    }
    // Baud probe: the instrument may still be at 38400 from an interrupted upload, so the
    // first time-out after start tries 38400 once, the second goes back to 9600.
    if (link.baud_state == baud_untried) {
        port->SetBaud(38400);
        link.baud_state = baud_trying_fast;
    } else if (link.baud_state == baud_trying_fast) {
        port->SetBaud(9600);
        uilib::on_baud_fallback();
        link.baud_state = baud_settled;
    }
    uilib::on_timeout_message("Lost Connection to Zor!");
    // Software flow control stays off until a good reply: a lost XON must not hold us forever.
    port->SetSWFlowOptions(serial::swfNone);
    link.lost = true;
    resend_last_frame(*port);
    if (link.resends_since_queue >= resends_before_release) notify_wait_forms();
}

}  // namespace core
