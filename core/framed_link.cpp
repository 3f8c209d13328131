#include "core/framed_link.h"

#include <chrono>
#include <vector>

#include "core/config_model.h"
#include "core/instrument_commands.h"
#include "core/link_owner.h"
#include "core/lost_reply.h"
#include "core/reply_dispatcher.h"
#include "core/session_state.h"
#include "platform/kernel/kernel.h"
#include "serial/com_port.h"
#include "serial/flow_states.h"
#include "utilities/log.h"
#include "utilities/text.h"

namespace core {

namespace {

// Received bytes are read in one go per event; the port's receive ring never announces more.
constexpr std::size_t receive_buffer_size = 10000;
// FlowHoldState: sending held by an XOFF from the instrument.
constexpr std::uint8_t flow_held_by_xoff = serial::flow_hold_state(serial::fsRemoteHoldState);
// FlowHoldState values that hold our sending: DSR, CTS, a received XOFF, and that XOFF while we
// have sent one too.
bool output_held(std::uint8_t flow_state) {
    using serial::flow_hold_state;
    return flow_state == flow_hold_state(serial::fsDsrHoldState) ||
           flow_state == flow_hold_state(serial::fsCtsHoldState) ||
           flow_state == flow_hold_state(serial::fsRemoteHoldState) ||
           flow_state == flow_hold_state(serial::fsBothHoldState);
}
// Ticks between progress polls of a running atom: the first wait after the atom is sent, and
// the longest; each poll waits one tick longer than the one before.
constexpr std::int32_t atom_poll_first_ticks = 3;
constexpr std::int32_t atom_poll_longest_ticks = 9;
// Atom-wait expiries while held by XOFF before the link counts the reply as lost.
constexpr std::int32_t xoff_hold_limit = 20;

std::uint64_t now_ms() {
    return platform::kernel::monotonic_ms();
}

bool is_atom_command(std::string_view command) {
    const Tconfig_model& model = config_model();
    return model.atom_count > 0 && is_atom_line(command);
}

LinkOwner* installed_owner = nullptr;

void show_return_line(const std::string& line) {
    LinkOwner* owner = link_owner();
    if (owner && owner->link_lists_shown()) owner->show_return_line(line);
}

void clear_return_lines() {
    link_state().return_lines.clear();
    LinkOwner* owner = link_owner();
    if (owner && owner->link_lists_shown()) owner->clear_return_lines();
}

void frame_check(const std::function<void()>& on_good_frame) {
    LinkState& link = link_state();
    if (link.declared_length != link.counted_length) {
        ++link.bad_frames;
        putils::append_log("Record " + std::to_string(link.record_number) +
                           ": Length error: " + std::to_string(link.counted_length) + " vs " +
                           std::to_string(link.declared_length));
        return;
    }
    if (link.received_checksum != link.computed_xor) {
        ++link.bad_frames;
        putils::append_log("Record " + std::to_string(link.record_number) +
                           ": Cksum error: " + std::to_string(link.computed_xor) + " vs " +
                           std::to_string(link.received_checksum));
        return;
    }
    // A frame without any code (an empty payload, or CRs only) answers nothing: it is dropped
    // like a damaged one rather than read as the previous reply's code.
    if (link.final_element.empty()) {
        ++link.bad_frames;
        putils::append_log("Record " + std::to_string(link.record_number) + ": empty reply");
        return;
    }
    ++link.good_replies;
    debug_log_elapsed("RCVD:" + link.final_element, true);
    on_good_frame();
}

// The fewest received bytes that can complete a frame from this receive state: a whole frame
// with one payload byte (STX, the byte, ETX, six digits) when none has begun, ETX and the six
// digits within the payload, the rest of the digits within the trailer. The port is asked to
// announce received bytes no sooner, so a frame arriving byte by byte costs one or two events
// instead of one per byte, and the last byte of a frame is still announced as it arrives.
std::uint16_t bytes_to_complete_frame(std::uint8_t receive_state) {
    switch (receive_state) {
        case 0:
            return 9;
        case 1:
            return 7;
        default:
            return static_cast<std::uint16_t>(8 - receive_state);
    }
}

void expect_frame_bytes(serial::TSpCustomComPort& port) {
    const std::uint16_t needed = bytes_to_complete_frame(link_state().receive_state);
    if (port.AvailThreshold() != needed) port.SetAvailThreshold(needed);
}

// The outstanding command is a query whose answer is data lines before the "|".
bool data_query_outstanding() {
    return answer_is_data(link_state().last_sent);
}

// Whether a good reply can be the answer to the outstanding command: anything can, except an
// empty "|" to a query whose answer is data (that one is a late reply to an earlier command, or
// the instrument has nothing to tell: taken only once the query's resends have run out).
bool can_answer_outstanding(const std::string& final_element, const std::vector<std::string>& lines) {
    return final_element != "|" || !lines.empty() || !data_query_outstanding();
}

// An empty "|" while a data query waits: the instrument is there, whatever the "|" answers.
void note_empty_answer() {
    LinkState& link = link_state();
    link.empty_answer_since_send = true;
    note_instrument_answers();
    // The configuration query waits long because its text takes long to come; once the instrument
    // has answered this frame, a text still on its way would follow at once.
    if (waits_for_configuration(link.last_sent) && link.timer_mode == TimerMode::reply_timeout &&
        link.reply_timeout_ticks < link.config_timeout_ticks)
        arm_timer(link.reply_timeout_ticks, TimerMode::reply_timeout);
}

}  // namespace

void resend_last_frame(serial::TSpCustomComPort& port) {
    LinkState& link = link_state();
    link.timer_retries = 0;
    ++link.resends;
    // A copy of the lost frame still held back (by an XOFF) would only go out twice.
    if (port.OutBuffUsed() > 0) port.ClearOutput();
    // The resent frame carries the same digit as the lost one, so the instrument knows it.
    link.sequence_toggle ^= 1;
    send_command(link.last_sent);
    ++link.resends_since_queue;
}

namespace {

void start_frame(LinkState& link) {
    ++link.record_number;
    link.counted_length = 0;
    link.computed_xor = 0;
    link.current_line.clear();
    link.final_element.clear();
    link.return_lines.clear();
    link.receive_state = 1;
}

}  // namespace

std::string hex_byte(int value) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out(2, '0');
    out[0] = digits[(value >> 4) & 0xF];
    out[1] = digits[value & 0xF];
    return out;
}

std::string build_frame(std::string_view command, int digit) {
    const std::size_t n = command.size();
    int x = 0;
    for (char c : command) x ^= static_cast<unsigned char>(c);
    std::string frame;
    frame.reserve(n + 9);
    frame += STX;
    frame += static_cast<char>('0' + digit);
    frame += command;
    frame += ETX;
    frame += hex_byte(static_cast<int>((n >> 8) & 0xFF));
    frame += hex_byte(static_cast<int>(n & 0xFF));
    frame += hex_byte(x);
    return frame;
}

std::string frame_problem(std::string_view text) {
    if (text.size() > max_command_length)
        return "it is longer than a frame can carry (" + std::to_string(max_command_length) + " bytes)";
    for (char c : text)
        if (c == STX || c == ETX || c == XON || c == XOFF)
            return "a frame cannot carry the byte 0x" + hex_byte(c);
    return {};
}

std::string printable_text(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            out += "\\x" + hex_byte(static_cast<unsigned char>(c));
        else
            out += c;
    }
    return out;
}

int hex_digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

char translate_received_char(unsigned char byte) {
    switch (byte) {
        case 0x7E:
            return static_cast<char>(0xBB);
        case 0x7F:
            return static_cast<char>(0xAB);
        case 0x91:
            return static_cast<char>(0xB0);
        case 0x9B:
            return static_cast<char>(0xB1);
        case 0x9D:
            return static_cast<char>(0xB5);
        case 0x9E:
            return 'x';
        default:
            return static_cast<char>(byte);
    }
}

void receive_bytes(std::string_view bytes, const std::function<void()>& on_good_frame) {
    LinkState& link = link_state();
    const std::uint64_t sent_before = link.frames_sent;
    for (char ch : bytes) {
        // A frame went out while these bytes were being taken apart: the rest of them came
        // before it, so nothing in them, not even the start of a frame that ends in a later
        // read, can answer it.
        if (link.frames_sent != sent_before) {
            link.receive_state = 0;
            return;
        }
        const auto byte = static_cast<unsigned char>(ch);
        switch (link.receive_state) {
            case 0:
                if (ch == STX) start_frame(link);
                break;
            case 1:
                if (ch == ETX) {
                    link.receive_state = 2;
                } else if (ch == CR) {
                    ++link.counted_length;
                    link.computed_xor ^= byte;
                    link.return_lines.push_back(link.current_line);
                    show_return_line(link.current_line);
                    if (session_state().uploading && session_state().config_progress.progress)
                        session_state().config_progress.progress(static_cast<int>(link.return_lines.size()));
                    debug_log_elapsed("rcvd:" + link.current_line, true);
                    link.current_line.clear();
                } else {
                    ++link.counted_length;
                    link.computed_xor ^= byte;
                    link.current_line += translate_received_char(byte);
                    link.final_element = link.current_line;
                }
                break;
            default: {  // 2..7: the trailer's hex digits
                const int value = hex_digit_value(ch);
                if (value < 0) {
                    ++link.bad_frames;
                    putils::append_log("Record " + std::to_string(link.record_number) + ": bad digit" +
                                       std::string(1, ch));
                    link.receive_state = 0;
                    // A frame start cut into a trailer begins the next frame.
                    if (ch == STX) start_frame(link);
                    break;
                }
                switch (link.receive_state) {
                    case 2:
                        link.declared_length = value * 4096;
                        break;
                    case 3:
                        link.declared_length += value * 256;
                        break;
                    case 4:
                        link.declared_length += value * 16;
                        break;
                    case 5:
                        link.declared_length += value;
                        break;
                    case 6:
                        link.received_checksum = value * 16;
                        break;
                    case 7:
                        link.received_checksum += value;
                        break;
                    default:
                        break;
                }
                if (link.receive_state == 7) {
                    link.receive_state = 0;
                    frame_check(on_good_frame);
                } else {
                    ++link.receive_state;
                }
                break;
            }
        }
    }
}

LinkOwner* link_owner() {
    return installed_owner;
}

void set_link_owner(LinkOwner* owner) {
    installed_owner = owner;
}

serial::TSpCustomComPort* session_port() {
    LinkOwner* owner = link_owner();
    if (!owner) return nullptr;
    serial::TSpComPort& port = owner->link_port();
    if (!port.Open() || port.PortState() != serial::psOpen) return nullptr;
    return &port;
}

void hold_until_rate_settled() {
    link_state().send_not_before_ms = now_ms() + rate_change_settle_ms;
}

std::uint64_t ms_until_send_allowed() {
    const std::uint64_t now = now_ms();
    const std::uint64_t until = link_state().send_not_before_ms;
    return until > now ? until - now : 0;
}

void send_command(const std::string& command) {
    serial::TSpCustomComPort* port = session_port();
    if (!port) return;
    LinkState& link = link_state();
    if (const std::uint64_t wait = ms_until_send_allowed(); wait > 0) {
        hold_command(command, wait);
        return;
    }
    if (is_atom_command(command)) link.atom_poll_interval = atom_poll_first_ticks;
    clear_return_lines();
    if (putils::starts_with_text(command, command_word::read_barcode)) {
        barcode_state().state = barcode_requested;
        barcode_state().text.clear();
    }
    if (!putils::same_text(command, command_word::get_atom_info)) link.last_command = command;
    link.last_sent = command;
    // What came in before this frame goes out cannot be its reply. The output is not cleared:
    // nothing but a resent copy of this same frame can still be waiting there (a reply is only
    // taken once its frame is out), and dropping a frame unsent would skip its command.
    port->ClearInput();
    // Whatever was half received belongs to an answer nobody waits for any more.
    link.receive_state = 0;
    link.empty_answer_since_send = false;
    expect_frame_bytes(*port);
    arm_timer(waits_for_configuration(command) ? link.config_timeout_ticks : link.reply_timeout_ticks,
              TimerMode::reply_timeout);
    link.sequence_toggle ^= 1;
    // A device that has gone takes nothing: the command stays outstanding, and the reply
    // time-out reports the loss and has the device reopened.
    if (port->DeviceLost()) return;
    port->WriteText(build_frame(command, link.sequence_toggle + 1));
    link.reply_expected = true;
    link.last_send_ms = now_ms();
    ++link.frames_sent;
    debug_log_elapsed("sent:" + command, true);
}

void hold_command(const std::string& command, std::uint64_t wait_ms) {
    LinkState& link = link_state();
    link.held_command = command;
    // Nothing may expire meanwhile (no reply is awaited): the pause is the form's millisecond
    // timer, not the port's, whose 55-ms ticks would stretch it by up to two ticks.
    if (serial::TSpCustomComPort* port = session_port()) port->ArmTimerTrigger(link.timer_handle, 0, false);
    link.timer_armed = false;
    link.timer_mode = TimerMode::baud_settle;
    if (LinkOwner* owner = link_owner()) owner->start_rate_settle_timer(wait_ms);
}

void send_held_command() {
    if (LinkOwner* owner = link_owner()) owner->stop_rate_settle_timer();
    LinkState& link = link_state();
    std::string command = std::move(link.held_command);
    link.held_command.clear();
    if (!command.empty()) send_command(command);
}

void arm_timer(std::int32_t ticks, TimerMode mode) {
    LinkState& link = link_state();
    link.timer_mode = mode;
    serial::TSpCustomComPort* port = session_port();
    if (!port) return;
    port->ArmTimerTrigger(link.timer_handle, ticks, true);
    link.timer_armed = true;
}

void stop_timer() {
    LinkState& link = link_state();
    link.timer_retries = 0;
    link.timer_armed = false;
    serial::TSpCustomComPort* port = session_port();
    if (!port) return;
    port->ArmTimerTrigger(link.timer_handle, 0, false);
}

void portTriggerAvail(serial::TSpCustomComPort& port, std::uint16_t count) {
    std::string bytes;
    const std::size_t n = count < receive_buffer_size ? count : receive_buffer_size;
    bytes.reserve(n);
    for (std::size_t i = 0; i < n && port.InBuffUsed() > 0; ++i) bytes += port.ReadChar();
    LinkState& link = link_state();
    if (port.OutBuffUsed() > 0 && output_held(port.FlowHoldState())) {
        // The outstanding frame is held back, so these bytes came before it went out: they
        // answer an earlier frame, never this one. (A frame that is not held is on its way, or
        // out already with the output thread yet to count it: what comes is its reply.)
        link.receive_state = 0;
        expect_frame_bytes(port);
        return;
    }
    // The good frames of this read, taken apart before any of them is dispatched.
    struct GoodFrame {
        std::string final_element;
        std::vector<std::string> lines;
        std::int32_t record;
    };
    std::vector<GoodFrame> frames;
    receive_bytes(bytes, [&frames] {
        LinkState& link = link_state();
        frames.push_back({link.final_element, link.return_lines, link.record_number});
    });
    // One command is outstanding and gets one reply. When one read holds several good frames,
    // the last one answers it: the earlier ones are late replies to frames answered before (the
    // reply to a resent frame beside the resend's, a reply that took so long it arrives just in
    // front of the next command's). An empty "|" never answers a query whose answer is data
    // (the configuration query's is the configuration): the query waits on, within its own
    // time-out.
    //
    // Replies carry no sequence number, so across reads one ambiguity remains: a stale reply
    // that is read whole before the real one has begun to arrive is taken as the answer (unless
    // it is an empty "|" to a data query), and the real one then answers nothing.
    int answer = -1;
    for (int i = 0; i < static_cast<int>(frames.size()); ++i)
        if (link.reply_expected && can_answer_outstanding(frames[i].final_element, frames[i].lines))
            answer = i;
    for (int i = 0; i < static_cast<int>(frames.size()); ++i) {
        if (i == answer) continue;
        if (link.reply_expected && !can_answer_outstanding(frames[i].final_element, frames[i].lines))
            note_empty_answer();
        ++link.stale_replies;
        putils::append_log("Record " + std::to_string(frames[i].record) +
                           ": reply to no outstanding command");
    }
    if (answer >= 0) {
        GoodFrame& frame = frames[answer];
        link.final_element = std::move(frame.final_element);
        link.return_lines = std::move(frame.lines);
        link.reply_expected = false;
        handle_reply();
    }
    expect_frame_bytes(port);
}

void portTriggerTimer(serial::TSpCustomComPort& port, std::uint16_t handle) {
    LinkState& link = link_state();
    if (handle != link.timer_handle) return;
    link.timer_armed = false;
    switch (link.timer_mode) {
        case TimerMode::idle_poll:
            send_command(command_word::get_stat);
            break;
        case TimerMode::atom_wait:
            if (port.FlowHoldState() == flow_held_by_xoff) {
                ++link.timer_retries;
                if (link.timer_retries < xoff_hold_limit)
                    continue_atom_wait();
                else
                    resend_after_timeout();
            } else {
                if (link.atom_poll_interval < atom_poll_longest_ticks) ++link.atom_poll_interval;
                send_command(command_word::get_atom_info);
            }
            break;
        case TimerMode::reply_timeout:
            resend_after_timeout();
            break;
        case TimerMode::baud_settle:  // the form's own timer ends that pause
            break;
    }
}

namespace {

// The debug list takes lines only while the debug page shows.
bool debug_list_shown() {
    const LinkOwner* owner = link_owner();
    return owner && session_state().debug_list_on && owner->link_lists_shown();
}

}  // namespace

void debug_log_elapsed(std::string_view text, bool reset) {
    LinkState& link = link_state();
    const std::uint32_t now = platform::kernel::tick_count();
    // Every frame sent and received passes here: the line is built only when someone sees it.
    if (debug_list_shown()) {
        std::string line(text);
        line += ":";
        line += std::to_string(now - link.trace_mark);
        add_debug_line(line);
    }
    if (reset) link.trace_mark = now;
}

void add_debug_line(std::string_view text) {
    if (!debug_list_shown()) return;
    link_owner()->show_debug_line(text);
}

}  // namespace core
