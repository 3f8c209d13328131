#include "core/step_queue.h"

#include "core/framed_link.h"
#include "utilities/message_boxes.h"

namespace core {

bool queue_command(const std::string& command) {
    if (const std::string why = frame_problem(command); !why.empty()) {
        putils::show_error(printable_text(command) + " cannot be sent: " + why);
        return false;
    }
    step_queue().pending_command = command;
    link_state().resends_since_queue = 0;
    return true;
}

void install_sequence(std::initializer_list<Step> steps) {
    StepQueueState& queue = step_queue();
    for (Step& slot : queue.slots) slot = nullptr;
    int n = 0;
    for (const Step& step : steps) {
        if (n >= step_queue_capacity) break;
        queue.slots[n++] = step;
    }
    queue.position = 0;
    queue.size = n;
    ++queue.generation;
}

void clear_step_queue() {
    StepQueueState& queue = step_queue();
    for (Step& slot : queue.slots) slot = nullptr;
    queue.position = 0;
    queue.size = 0;
    ++queue.generation;
}

bool step_queue_empty() {
    return step_queue().size == 0;
}

void run_next_queued_step() {
    StepQueueState& queue = step_queue();
    if (queue.position < 0) queue.position = 0;  // a step asked for the sequence again
    if (queue.position >= queue.size) return;
    const std::uint64_t generation = queue.generation;
    // The step may replace the queue while it runs: keep it alive until it returns.
    Step step = queue.slots[queue.position];
    if (step) step();
    if (queue.generation != generation) return;  // a new sequence starts at its first step
    ++queue.position;
    if (queue.position == queue.size) {
        queue.size = 0;
        queue.position = 0;
    }
}

}  // namespace core
