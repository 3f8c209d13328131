#include "tools/zorsim/simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "tools/zorsim/builtin_config.h"
#include "tools/zorsim/byte_escape.h"

namespace zorsim {
namespace {

// The loop wakes at least this often even with nothing to do, so a missed wake-up costs little.
constexpr int longest_wait_ms = 250;
// Output for a host that reads nothing is not kept without end.
constexpr std::size_t most_queued_output = 1 << 20;

std::string write_lines(const std::string& path, const std::vector<std::string>& lines) {
    if (path.empty()) return {};
    // Written aside and renamed, so a reader never sees half a file.
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        for (const auto& l : lines) out << l << '\n';
        if (!out) return "cannot write " + temp;
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0)
        return "cannot rename " + temp + " to " + path + ": " + std::strerror(errno);
    return {};
}

std::string join_notes(const std::string& a, const std::string& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return a + "; " + b;
}

}  // namespace

Simulator::Simulator(Options options)
    : options_(std::move(options)),
      start_time_(Clock::now()),
      transcript_(start_time_),
      faults_(options_.seed) {
    faults_.rates() = options_.faults;
    output_.set_pacing(options_.pace);
    output_.set_baud(options_.baud);
    input_.set_pacing(options_.pace);
    input_.set_baud(options_.baud);
}

Simulator::~Simulator() {
    stop();
    if (wake_read_ >= 0) ::close(wake_read_);
    if (wake_write_ >= 0) ::close(wake_write_);
}

std::string Simulator::open() {
    std::lock_guard lock(mutex_);
    ConfigText config;
    if (options_.config_path.empty()) {
        config = ConfigText::from_text(builtin_config_text());
    } else {
        std::ifstream in(options_.config_path, std::ios::binary);
        if (!in) return "cannot read the configuration " + options_.config_path;
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        config = ConfigText::from_text(text);
    }
    instrument_.emplace(std::move(config), options_.instrument);
    instrument_->set_baud(options_.baud);

    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_NONBLOCK | O_CLOEXEC) != 0) return std::string("pipe: ") + std::strerror(errno);
    wake_read_ = pipe_fds[0];
    wake_write_ = pipe_fds[1];

    if (!options_.transcript_path.empty()) {
        if (auto e = transcript_.open(options_.transcript_path); !e.empty()) return e;
    }
    if (auto e = terminal_.open(options_.link_path); !e.empty()) return e;
    if (!options_.control_path.empty()) {
        if (auto e = control_channel_.open(options_.control_path); !e.empty()) {
            terminal_.close();
            return e;
        }
    }
    return {};
}

std::vector<std::string> Simulator::config_problems() const {
    std::lock_guard lock(mutex_);
    return instrument_ ? instrument_->config().problems() : std::vector<std::string>{};
}

void Simulator::start() {
    if (thread_.joinable()) return;
    stop_requested_ = false;
    thread_ = std::thread([this] { run(); });
}

void Simulator::stop() {
    request_stop();
    if (thread_.joinable()) thread_.join();
}

void Simulator::request_stop() {
    stop_requested_ = true;
    if (wake_write_ >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_write_, &byte, 1);
    }
}

void Simulator::log(const std::string& text) const {
    std::fprintf(stderr, "zorsim: %s\n", display_text(text).c_str());
}

void Simulator::run() {
    while (!stop_requested_) {
        std::vector<pollfd> fds;
        int timeout = 0;
        {
            std::lock_guard lock(mutex_);
            const auto now = Clock::now();
            fds.push_back({wake_read_, POLLIN, 0});
            short master_events = POLLIN;
            if (output_.would_block()) master_events |= POLLOUT;
            fds.push_back({terminal_.master(), master_events, 0});
            for (int fd : control_channel_.fds()) fds.push_back({fd, POLLIN, 0});
            timeout = poll_timeout_ms(now);
        }
        const int n = ::poll(fds.data(), fds.size(), timeout);
        if (n < 0 && errno != EINTR) {
            log(std::string("poll: ") + std::strerror(errno));
            break;
        }
        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (::read(wake_read_, drain, sizeof drain) > 0) {
            }
        }
        std::lock_guard lock(mutex_);
        const auto now = Clock::now();
        handle_input(now);
        control_channel_.service([this](const std::string& line) { return apply_control(line); });
        run_timed_events(now);
        flush_output(Clock::now());
    }
    std::lock_guard lock(mutex_);
    flush_output(Clock::now());
    if (auto e = write_reports_locked(); !e.empty()) log(e);
}

int Simulator::poll_timeout_ms(Clock::time_point now) const {
    auto wait = std::chrono::milliseconds(longest_wait_ms);
    auto consider = [&](std::optional<Clock::time_point> at) {
        if (!at) return;
        const auto until = std::chrono::ceil<std::chrono::milliseconds>(*at - now);
        wait = std::max(std::chrono::milliseconds(0), std::min(wait, until));
    };
    consider(output_.next_due());
    consider(input_.next_due());
    consider(xoff_at_);
    consider(xon_at_);
    consider(replug_at_);
    return static_cast<int>(wait.count());
}

void Simulator::handle_input(Clock::time_point now) {
    if (terminal_.master() < 0) return;  // unplugged
    char buffer[4096];
    while (true) {
        const ssize_t n = ::read(terminal_.master(), buffer, sizeof buffer);
        if (n <= 0) break;  // EAGAIN: all read; EIO: nobody has the slave open (cannot last: we hold it)
        input_.arrive(std::string_view(buffer, static_cast<std::size_t>(n)), now);
    }
    for (const char c : input_.take_heard(now)) {
        if (c == XOFF || c == XON) {
            // The host's flow control: never data, wherever it falls.
            output_.set_held(c == XOFF);
            transcript_.received(now, std::string(1, c),
                                 c == XOFF ? "flow: host holds our output" : "flow: host resumes");
            continue;
        }
        if (auto frame = receiver_.feed(c)) handle_frame(*frame, now);
    }
}

void Simulator::handle_frame(const CommandReceiver::Frame& frame, Clock::time_point now) {
    if (!frame.good) {
        ++stats_.bad_frames;
        transcript_.received(now, frame.raw, "bad frame: " + frame.problem);
        log("bad frame (" + frame.problem + "), not answered");
        return;
    }
    ++stats_.frames_received;
    if (!silent_ && options_.silent_after >= 0 && answered_ >= options_.silent_after) {
        silent_ = true;
        log("silent after " + std::to_string(answered_) + " frames");
    }
    if (silent_) {
        ++stats_.ignored;
        transcript_.received(now, frame.raw, "ignored: silent");
        return;
    }
    if (options_.strict_baud) {
        const int line = terminal_.slave_baud();
        if (line != 0 && line != instrument_->baud()) {
            ++stats_.ignored;
            transcript_.received(now, frame.raw,
                                 "ignored: terminal at " + std::to_string(line) + " baud, instrument at " +
                                     std::to_string(instrument_->baud()));
            return;
        }
    }
    transcript_.received(now, frame.raw);
    if (options_.verbose) log("RX " + frame.text);
    ++answered_;
    const Reply reply = instrument_->handle(frame.digit, frame.text, now);
    if (reply.resend) ++stats_.resends;
    if (reply.note.rfind("refused", 0) == 0) log(frame.text + ": " + reply.note);
    const bool late_any = faults_.rates().late_any;
    if (late_reply_ && !reply.resend && !late_any) {
        // The host went on without resending: the held reply answers nothing any more.
        transcript_.sent(now, late_reply_->bytes, "late reply withdrawn: the host sent a new frame");
        late_reply_.reset();
    }
    // Every reply that is no resend draws, so the pattern depends on the seed alone. A reply that
    // changes the line rate is never held: the rate would change before the host heard it.
    // With late-any every reply draws, and any may be held.
    bool late = false;
    if (late_any)
        late = faults_.draw_late();
    else
        late = faults_.draw_late() && !reply.resend && reply.baud_after == 0;
    send_reply(reply, now, late);
}

void Simulator::send_reply(const Reply& reply, Clock::time_point now, bool late) {
    ++stats_.replies;
    if (char c = forbidden_frame_byte(reply.payload)) {
        log("the reply to send holds the byte " + std::to_string(static_cast<unsigned char>(c)) +
            ", which breaks its frame on the host");
    }
    const std::string frame = encode_reply(reply.payload);
    const FaultedReply out = faults_.apply(frame);
    if (out.dropped) ++stats_.dropped;
    if (out.note.find("garbled") != std::string::npos) ++stats_.garbled;
    const bool hold = late && !out.dropped;
    std::optional<HeldReply> held;
    if (late_reply_ && (!hold || faults_.rates().late_any)) {
        // The resend (or, with late-any, any next frame) has come: the held reply goes now, just
        // before this reply (alone when this one is held in its place).
        held = std::move(late_reply_);
        late_reply_.reset();
        transcript_.sent(now, held->bytes, "late: sent with the next reply");
    }
    transcript_.sent(
        now, out.dropped ? frame : out.bytes,
        join_notes(reply.note, join_notes(out.note, hold ? "late: held until the host resends" : "")));
    if (options_.verbose) log("TX " + reply.payload + (out.note.empty() ? "" : " (" + out.note + ")"));

    // What follows the reply happens when it is out, or at once when it is lost: the instrument
    // carried the command out either way.
    const int baud_after = reply.baud_after;
    const bool atom_started = reply.atom_started;
    auto after = [this, baud_after, atom_started] {
        if (baud_after != 0) {
            instrument_->set_baud(baud_after);
            output_.set_baud(baud_after);
            input_.set_baud(baud_after);
        }
        if (atom_started && options_.xoff_during_atom) {
            xoff_at_ = Clock::now() + std::chrono::milliseconds(options_.xoff_delay_ms);
        }
    };
    if (hold) {
        ++stats_.late;
        late_reply_ = HeldReply{out.bytes, after};
        if (held) output_.push_frame(std::move(held->bytes), std::move(held->after));
        return;
    }
    if (out.dropped) after();
    std::string bytes = out.dropped ? std::string() : out.bytes;
    std::function<void()> done = out.dropped ? std::function<void()>() : std::function<void()>(after);
    if (held) {
        // Both leave in one write, so the host reads them together.
        bytes = held->bytes + bytes;
        done = [first = std::move(held->after), second = std::move(done)] {
            if (first) first();
            if (second) second();
        };
    }
    if (bytes.empty()) return;
    if (output_.queued_bytes() > most_queued_output) {
        log("the host reads nothing; dropping " + std::to_string(output_.queued_bytes()) + " queued bytes");
        output_.clear();
    }
    output_.push_frame(std::move(bytes), std::move(done));
}

void Simulator::run_timed_events(Clock::time_point now) {
    if (replug_at_ && *replug_at_ <= now) {
        replug_at_.reset();
        if (auto e = terminal_.open(options_.link_path); !e.empty())
            log("cannot plug the line in again: " + e);
        else
            transcript_.sent(now, "", "plugged in again at " + terminal_.slave_path());
    }
    if (xoff_at_ && *xoff_at_ <= now) {
        xoff_at_.reset();
        output_.push_flow(XOFF);
        transcript_.sent(now, std::string(1, XOFF), "flow: XOFF during the atom");
        xon_at_ = now + std::chrono::milliseconds(options_.xoff_hold_ms);
    }
    if (xon_at_ && *xon_at_ <= now) {
        xon_at_.reset();
        output_.push_flow(XON);
        transcript_.sent(now, std::string(1, XON), "flow: XON");
    }
}

void Simulator::flush_output(Clock::time_point now) {
    if (terminal_.master() < 0) return;  // unplugged
    for (auto& done : output_.write(terminal_.master(), now)) done();
}

std::vector<std::string> Simulator::executed() const {
    std::lock_guard lock(mutex_);
    return instrument_ ? instrument_->executed() : std::vector<std::string>{};
}

std::vector<std::string> Simulator::downloads() const {
    std::lock_guard lock(mutex_);
    return instrument_ ? instrument_->downloads() : std::vector<std::string>{};
}

Stats Simulator::stats() const {
    std::lock_guard lock(mutex_);
    return stats_;
}

int Simulator::baud() const {
    std::lock_guard lock(mutex_);
    return instrument_ ? instrument_->baud() : 0;
}

std::string Simulator::write_reports_locked() {
    if (!instrument_) return {};
    std::string e = write_lines(options_.executed_path, instrument_->executed());
    if (!e.empty()) return e;
    return write_lines(options_.downloads_path, instrument_->downloads());
}

std::string Simulator::control(const std::string& line) {
    std::string answer;
    {
        std::lock_guard lock(mutex_);
        answer = apply_control(line);
    }
    // The loop recomputes its time-outs and sees a quit.
    if (wake_write_ >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_write_, &byte, 1);
    }
    return answer;
}

}  // namespace zorsim
