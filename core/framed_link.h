// The framed link: the lowest layer of the instrument session.
//
// One command text becomes one frame on the serial line; the instrument's reply frames are
// collected byte by byte, checked, and each good one is handed to the reply dispatcher
// (core/reply_dispatcher.h), which gives the reply its meaning. The link also owns the session's
// one timer, whose expiry means a lost reply (core/lost_reply.h), a running atom (poll its
// progress), an idle instrument (poll its state) or a command held back until the instrument has
// changed its rate. The port, the lists that show replies and traces, and the millisecond timer
// of that pause belong to the form that owns the link (core/link_owner.h). Command words come
// from the command table (core/instrument_commands.h).
//
// Frame to the instrument: STX, the sequence digit "1" or "2", the command bytes, ETX, four hex
// digits of the command's length and two of the XOR of its bytes (upper case; length and XOR
// cover the command only). Reply frames: STX, payload, ETX, length, XOR (no digit); the payload
// is data lines ended by CR and a final element, the reply code.
//
// Exactly one command is outstanding at a time. Everything runs on the main thread inside the
// port's OnTriggerAvail and OnTriggerTimer events; nothing here locks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "core/session_state.h"

namespace serial {
class TSpCustomComPort;
}

namespace core {

inline constexpr char STX = 0x02;
inline constexpr char ETX = 0x03;
inline constexpr char CR = 0x0D;
inline constexpr char XON = 0x11;
inline constexpr char XOFF = 0x13;
// The frame's length field holds four hexadecimal digits.
inline constexpr std::size_t max_command_length = 0xFFFF;

// Milliseconds per tick of the port's timer trigger.
inline constexpr int tick_ms = 55;
// Settings in milliseconds as ticks: divided by 55, rounded down.
constexpr std::int32_t ms_to_ticks(std::int32_t ms) {
    return ms / tick_ms;
}

// Two upper-case hexadecimal digits of a value 0..255.
std::string hex_byte(int value);
// The frame of a command with the sequence digit (1 or 2).
std::string build_frame(std::string_view command, int digit);
// The value of a hexadecimal digit (either case), or -1.
int hex_digit_value(char c);
// The instrument's display characters: 0x7E », 0x7F «, 0x91 °, 0x9B ±, 0x9D µ, 0x9E x.
char translate_received_char(unsigned char byte);

// Why no frame can carry the text to the instrument ("" when one can): nothing escapes STX and
// ETX inside a frame, the instrument takes XON and XOFF for flow control wherever they fall, and
// the length field has four digits. Such a frame would never be answered and would be resent
// without end.
std::string frame_problem(std::string_view text);
// The text with its control bytes written as \xHH, for messages.
std::string printable_text(std::string_view text);

// Feeds received bytes to the receive machine (link_state()); `on_good_frame` runs for every
// frame that passes the length and checksum checks, with its data lines in
// link_state().return_lines and its code in link_state().final_element. Once a frame has been
// sent meanwhile (by `on_good_frame`), the rest of the bytes is dropped: it came before that
// frame.
void receive_bytes(std::string_view bytes, const std::function<void()>& on_good_frame);

// The port of the core form when it is open; nullptr otherwise.
serial::TSpCustomComPort* session_port();

// Frames and sends one command and arms the reply time-out. Nothing when the port is closed.
// A command that comes while the instrument is still changing its rate is held and goes out
// when that pause is over (see hold_until_rate_settled).
void send_command(const std::string& command);

void arm_timer(std::int32_t ticks, TimerMode mode);
void stop_timer();
// Sends the outstanding command again with the same sequence digit (the instrument knows it
// as a repeat); a copy of it still held back in the output is dropped first.
void resend_last_frame(serial::TSpCustomComPort& port);

// The handlers bound to the port's OnTriggerAvail and OnTriggerTimer.
void portTriggerAvail(serial::TSpCustomComPort& port, std::uint16_t count);
void portTriggerTimer(serial::TSpCustomComPort& port, std::uint16_t handle);

// Pacing. After the reply to a rate change the instrument switches its own rate once that reply is
// out; a frame sent at the new rate before it has done so is lost. The next frame therefore
// waits this long after the host changed its rate.
inline constexpr int rate_change_settle_ms = 500;
void hold_until_rate_settled();
// Milliseconds until the next frame may go (0: now).
std::uint64_t ms_until_send_allowed();
// Keeps the command back for `wait_ms` (the form's rate_settle_timer); send_held_command sends
// it when that timer comes.
void hold_command(const std::string& command, std::uint64_t wait_ms);
void send_held_command();

// Trace lines: the text, ":" and the milliseconds since the trace mark; `reset` sets the mark.
void debug_log_elapsed(std::string_view text, bool reset);
// Appends to the form's debug_box when the debug list is on and the form is visible.
void add_debug_line(std::string_view text);

}  // namespace core
