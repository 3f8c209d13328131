#include "tools/zorsim/output_pacer.h"

#include <unistd.h>
#include <cerrno>

namespace zorsim {

OutputPacer::Clock::duration OutputPacer::byte_time(int baud) {
    if (baud <= 0) baud = 9600;
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(10'000'000'000LL / baud));
}

void OutputPacer::push_frame(std::string bytes, Done done) {
    if (queue_.empty()) line_idle_ = true;
    queue_.push_back(Chunk{std::move(bytes), 0, false, std::move(done)});
}

void OutputPacer::push_flow(char byte) {
    if (queue_.empty()) line_idle_ = true;
    queue_.push_back(Chunk{std::string(1, byte), 0, true, {}});
}

std::size_t OutputPacer::queued_bytes() const {
    std::size_t n = 0;
    for (const auto& c : queue_) n += c.bytes.size() - c.sent;
    return n;
}

std::optional<OutputPacer::Clock::time_point> OutputPacer::next_due() const {
    if (queue_.empty() || !paced_) return std::nullopt;
    if (held_ && !queue_.front().flow) return std::nullopt;
    return next_byte_at_;
}

std::vector<OutputPacer::Done> OutputPacer::write(int fd, Clock::time_point now) {
    std::vector<Done> finished;
    would_block_ = false;
    const auto per_byte = byte_time(baud_);
    // An idle line earns no credit: the first byte after a pause goes at once, the rest in step.
    if (line_idle_) {
        if (next_byte_at_ < now) next_byte_at_ = now;
        line_idle_ = false;
    }
    while (!queue_.empty()) {
        Chunk& c = queue_.front();
        if (held_ && !c.flow) break;
        std::size_t allowed = c.bytes.size() - c.sent;
        if (paced_) {
            if (now < next_byte_at_) break;
            const auto due = static_cast<std::size_t>((now - next_byte_at_) / per_byte) + 1;
            if (due < allowed) allowed = due;
        }
        const ssize_t n = ::write(fd, c.bytes.data() + c.sent, allowed);
        if (n < 0) {
            if (errno == EINTR) continue;
            would_block_ = (errno == EAGAIN || errno == EWOULDBLOCK);
            break;  // other errors: the terminal is gone for now; keep the bytes
        }
        c.sent += static_cast<std::size_t>(n);
        if (paced_) next_byte_at_ += per_byte * n;
        if (c.sent < c.bytes.size()) {
            if (static_cast<std::size_t>(n) < allowed) would_block_ = true;
            if (would_block_ || paced_) break;
            continue;
        }
        if (c.done) finished.push_back(std::move(c.done));
        queue_.pop_front();
    }
    return finished;
}

}  // namespace zorsim
