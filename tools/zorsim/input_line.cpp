#include "tools/zorsim/input_line.h"

#include <algorithm>

#include "tools/zorsim/output_pacer.h"

namespace zorsim {

void InputLine::arrive(std::string_view bytes, Clock::time_point now) {
    const auto per_byte = OutputPacer::byte_time(baud_);
    for (char c : bytes) {
        Clock::time_point at = now;
        if (paced_) {
            // A line that fell idle starts the byte now; otherwise after the one before it.
            at = std::max(now, line_free_at_) + per_byte;
            line_free_at_ = at;
        }
        line_.push_back({c, at});
    }
}

std::string InputLine::take_heard(Clock::time_point now) {
    std::string heard;
    while (!line_.empty() && line_.front().heard_at <= now) {
        heard += line_.front().value;
        line_.pop_front();
    }
    return heard;
}

std::optional<InputLine::Clock::time_point> InputLine::next_due() const {
    if (line_.empty()) return std::nullopt;
    return line_.front().heard_at;
}

}  // namespace zorsim
