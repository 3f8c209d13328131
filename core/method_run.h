// The method run: the step executor and error mode.
//
// cmd_list (run_state().cmd_list) is a copy of expanded_method made when the run starts; the
// executor walks it one line per completed reply, turns the line into command text and leaves
// it as the pending command. Local atoms (index arithmetic, REPEAT / END, WAIT_FOR_DS,
// SET_INJECTED) cost no exchange. When the instrument answers with an error code during a run,
// error mode walks alternate_cmd_list (ERROR ENTRY lines, "ERROR DLG()", ERROR EXIT lines,
// "ERROR RESPONSE()") and applies the user's Abort, Retry or Ignore. Main thread only.
#pragma once

#include <string>
#include <string_view>

namespace core {

// prepare_cmd_list, go flag off. Nothing is sent: the first line runs after the next reply.
void start_method();
// Copies expanded_method into cmd_list, error mode off, step 0, run active, on_run_started.
void prepare_cmd_list();
void run_next_step();
void run_next_error_step();
void jump_to_method_exit();
// At or past the end of cmd_list: the run ends (on_method_finished); true then.
bool method_ended();
// The error-mode twin of line_to_command; false after reporting the error.
bool error_line_to_command(std::string_view line, std::string& command);

// Automation entry points. A stop moves the run to its METHOD EXIT part and asks for a
// "CANCEL" at the next completed reply; the go flag releases a run that waits at WAIT_FOR_DS.
void request_stop();
void set_go_flag();

}  // namespace core
