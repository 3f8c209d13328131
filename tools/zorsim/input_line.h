// What the host sends, as the instrument hears it. A pseudo-terminal hands over a whole frame at
// once; with pacing on, each byte is heard only when a line at the current rate would have
// carried it (10 bit times a byte, one after the other from the moment the first arrived), so
// a command of n bytes reaches the instrument n byte times after the host wrote it.
#pragma once

#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace zorsim {

class InputLine {
  public:
    using Clock = std::chrono::steady_clock;

    void set_pacing(bool on) { paced_ = on; }
    void set_baud(int baud) { baud_ = baud; }

    // Bytes read from the terminal at `now`.
    void arrive(std::string_view bytes, Clock::time_point now);
    // The bytes heard by `now`, in order (all of them when pacing is off).
    std::string take_heard(Clock::time_point now);
    // When the next byte still on the line is heard.
    std::optional<Clock::time_point> next_due() const;

  private:
    struct Byte {
        char value;
        Clock::time_point heard_at;
    };
    std::deque<Byte> line_;
    Clock::time_point line_free_at_{};  // when the last byte put on the line is through
    bool paced_ = false;
    int baud_ = 9600;
};

}  // namespace zorsim
