// Every frame received and sent, one line each:
//     <seconds since start, 3 decimals> <RX|TX> <the bytes, escaped> [# note]
// RX is from the host, TX to it. Notes say what was special: "resend", "dropped", "garbled: ...",
// "bad frame: ...", "ignored: silent", "refused: ...". Flow-control bytes zorsim sends get a TX
// line of their own. Lines are flushed as they are written, so a test can read the file while
// zorsim runs.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

namespace zorsim {

class Transcript {
  public:
    using Clock = std::chrono::steady_clock;

    explicit Transcript(Clock::time_point start) : start_(start) {}
    ~Transcript();
    Transcript(const Transcript&) = delete;
    Transcript& operator=(const Transcript&) = delete;

    // Empty on success, else why the file cannot be written. Without a call nothing is written.
    std::string open(const std::string& path);
    bool is_open() const { return file_ != nullptr; }

    void received(Clock::time_point at, std::string_view bytes, std::string_view note = {});
    void sent(Clock::time_point at, std::string_view bytes, std::string_view note = {});

    // The line format, for tests and tools.
    static std::string format(double seconds, std::string_view direction, std::string_view bytes,
                              std::string_view note);

  private:
    void write(Clock::time_point at, std::string_view direction, std::string_view bytes,
               std::string_view note);

    Clock::time_point start_;
    std::FILE* file_ = nullptr;
};

}  // namespace zorsim
