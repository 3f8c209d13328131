// zorsim as a whole: the terminal, the instrument, the faults, the control channel and the files.
//
// One loop does everything: it waits in poll() on the terminal's master, the control channel and a
// wake-up pipe, with a time-out for the next paced byte or flow-control event, and handles what
// came in. The executable runs the loop on its main thread; tests run it on a thread of its own
// with start() and stop(), and may call the public members from any thread meanwhile (they take
// the simulator's lock, which the loop holds only while it handles events, never while it waits).
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tools/zorsim/control_channel.h"
#include "tools/zorsim/fault_injector.h"
#include "tools/zorsim/frame_codec.h"
#include "tools/zorsim/input_line.h"
#include "tools/zorsim/instrument.h"
#include "tools/zorsim/options.h"
#include "tools/zorsim/output_pacer.h"
#include "tools/zorsim/pty_terminal.h"
#include "tools/zorsim/transcript.h"

namespace zorsim {

struct Stats {
    long frames_received = 0;  // good command frames, answered or not
    long bad_frames = 0;       // refused by the frame check
    long ignored = 0;          // good frames not answered (silent, wrong line rate)
    long replies = 0;          // replies made, including dropped ones
    long dropped = 0;
    long garbled = 0;
    long resends = 0;  // repeated frames answered again
    long late = 0;     // replies held until the host resent, then sent beside the resend's reply
};

class Simulator {
  public:
    explicit Simulator(Options options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Reads the configuration, opens the terminal, the control channel and the transcript.
    // Empty on success, else what went wrong (nothing is left open then).
    std::string open();
    const std::string& slave_path() const { return terminal_.slave_path(); }
    // Problems found in the configuration text (served anyway).
    std::vector<std::string> config_problems() const;

    // Runs until "quit" or request_stop(); writes the executed and downloads files at the end.
    void run();
    void start();
    void stop();
    // Safe to call from a signal handler.
    void request_stop();

    // One control command, as from the control channel; returns its answer line.
    std::string control(const std::string& line);

    std::vector<std::string> executed() const;
    std::vector<std::string> downloads() const;
    Stats stats() const;
    int baud() const;

  private:
    std::string apply_control(const std::string& line);  // lock held
    void handle_input(Clock::time_point now);
    void handle_frame(const CommandReceiver::Frame& frame, Clock::time_point now);
    void send_reply(const Reply& reply, Clock::time_point now, bool late = false);
    void run_timed_events(Clock::time_point now);
    void flush_output(Clock::time_point now);
    int poll_timeout_ms(Clock::time_point now) const;
    std::string write_reports_locked();
    void log(const std::string& text) const;

    Options options_;
    Clock::time_point start_time_;
    mutable std::mutex mutex_;
    PtyTerminal terminal_;
    ControlChannel control_channel_;
    Transcript transcript_;
    std::optional<Instrument> instrument_;
    FaultInjector faults_;
    CommandReceiver receiver_;
    InputLine input_;
    OutputPacer output_;
    Stats stats_;
    bool silent_ = false;
    long answered_ = 0;
    std::optional<Clock::time_point> xoff_at_;
    std::optional<Clock::time_point> xon_at_;
    // A late reply, held until the host resends its frame.
    struct HeldReply {
        std::string bytes;
        std::function<void()> after;
    };
    std::optional<HeldReply> late_reply_;
    // When an unplugged line comes back.
    std::optional<Clock::time_point> replug_at_;

    std::atomic<bool> stop_requested_{false};
    int wake_read_ = -1;
    int wake_write_ = -1;
    std::thread thread_;
};

}  // namespace zorsim
