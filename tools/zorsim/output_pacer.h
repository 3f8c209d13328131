// What zorsim writes to the terminal, in order: whole frames and single flow-control bytes.
// It holds frames while the host has sent XOFF, and with pacing on lets out one byte per ten bit
// times of the current rate, as a real line would (38400 baud: 3840 bytes a second).
// Writing never blocks: what the terminal does not take now is kept for the next call.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zorsim {

class OutputPacer {
  public:
    using Clock = std::chrono::steady_clock;
    using Done = std::function<void()>;

    // A frame (held by the host's XOFF); `done` runs once its last byte is written.
    void push_frame(std::string bytes, Done done = {});
    // XON or XOFF: goes out in turn, even while the host holds us.
    void push_flow(char byte);

    void set_pacing(bool on) { paced_ = on; }
    bool pacing() const { return paced_; }
    void set_baud(int baud) { baud_ = baud; }
    void set_held(bool held) { held_ = held; }
    bool held() const { return held_; }
    bool empty() const { return queue_.empty(); }
    std::size_t queued_bytes() const;

    // Writes what may go out at `now` to fd; returns the `done` actions of the frames completed.
    // would_block() tells afterwards whether the terminal refused bytes (wait for POLLOUT).
    std::vector<Done> write(int fd, Clock::time_point now);
    bool would_block() const { return would_block_; }
    // When the next byte may go (pacing), or nothing when writing is not waiting on time.
    std::optional<Clock::time_point> next_due() const;
    // Forgets everything queued (the host cleared its input anyway).
    void clear() { queue_.clear(); }

    // Time one byte takes on the line: 10 bit times (start, 8 data, stop).
    static Clock::duration byte_time(int baud);

  private:
    struct Chunk {
        std::string bytes;
        std::size_t sent = 0;
        bool flow = false;
        Done done;
    };

    std::deque<Chunk> queue_;
    bool paced_ = false;
    bool held_ = false;
    bool would_block_ = false;
    int baud_ = 9600;
    bool line_idle_ = true;  // nothing was queued since the line last fell silent
    Clock::time_point next_byte_at_{};
};

}  // namespace zorsim
