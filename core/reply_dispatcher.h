// The reply dispatcher: what a good reply means, and what goes out next.
//
// handle_reply interprets the final element of a good frame against the outstanding command,
// stores what the reply carries (bar code, firmware version, mounted syringe), and then sends
// at most one next command, chosen in this order: a requested "CANCEL", the step queue's
// command, the running method's, else the idle poll "GET_STAT". This is the one place where
// the session advances; besides it only the link's timer sends.
//
// Reply codes (compared exactly): "@" acknowledged, "|" done (data lines before it), "READY",
// "BUSY" and "ERROR" to GET_STAT, "@" + code an instrument error, anything else a progress
// line of the running atom. What a code means for a given command is the command table's
// (core/instrument_commands.h). Main thread only.
#pragma once

#include <string>
#include <string_view>

namespace core {

// Dispatches link_state().final_element (data lines in link_state().return_lines).
void handle_reply();
// A good frame came, whatever it answers: a lost link is back (on_reconnected, software flow
// control on again) and the line's rate is right.
void note_instrument_answers();

// When a cancel is requested: sends "CANCEL" and returns true.
bool send_cancel_if_requested();
void arm_atom_wait();
void continue_atom_wait();
// Arms the idle poll (the "Polling interval" setting) and calls on_idle_poll.
void start_idle_polling();
// When the link only waits for its next idle poll (nothing outstanding, nothing held), sends
// that poll now instead of at the end of its interval; true when it did.
bool poll_now_if_idle();
void handle_atom_progress(const std::string& text);

// A port change asked for by ChangePorts is carried out at the next good reply or time-out,
// before anything else is sent. The port cannot be closed and reopened from inside its own
// handlers, so the change is posted to the core form and done there; meanwhile nothing is sent.
// Returns true when a change was started (the caller then sends nothing itself).
bool apply_port_change(bool from_timeout);
// The posted part: closes the port, opens the one the "Port" setting names (back to the
// previous one when that fails), and resumes the session.
void carry_out_port_change();
// Sends again (or polls) once the new line is open.
void resume_after_port_change();

// The device behind the port went away: the session is already told it is disconnected; the
// port is closed and reopened at the same number outside the port's handlers (posted to the
// core form), and tried again every half second until the device is back. Then the outstanding
// command is resent with its sequence digit, so the instrument carries nothing out twice.
void report_device_lost();
// The posted part.
void reopen_lost_device();

// The last command's name (up to the first "(") equals the name, without regard to case.
bool last_command_is(std::string_view name);
// The outstanding command is GET_ATOM_INFO.
bool waiting_for_atom_info();

// An instrument error outside a run: shown once, after the reply's processing (never nested
// in the port's handler), while the session goes back to idle polling.
void report_instrument_error(const std::string& text);

}  // namespace core
