// The step queue: jobs that take several exchanges with the instrument.
//
// A sequence is a short list of steps (parameterless procedures); the reply dispatcher runs at
// most one step per completed reply. A step usually chooses the next command (queue_command)
// and may do local work; a step that sends nothing lets the dispatcher run the next one in the
// same reply. Installing a sequence replaces whatever was queued. Main thread only.
#pragma once

#include <initializer_list>
#include <string>

#include "core/session_state.h"

namespace core {

// Makes the text the pending command (sent after the current reply) and clears the resend
// count. A command that no frame can carry (frame_problem) is refused with a message instead:
// false, and nothing is queued.
bool queue_command(const std::string& command);

// Writes the steps into slots 0.., position 0, size = their number (at most 64).
void install_sequence(std::initializer_list<Step> steps);
// Empties the queue.
void clear_step_queue();
bool step_queue_empty();

// When a step is due: runs it, then moves on. A step that sets the position to -1 makes the
// sequence run again from slot 0 at the next reply; a step that installs a new sequence leaves
// that sequence at its first step.
void run_next_queued_step();

}  // namespace core
