// The host's end of the line, for tests: opens the terminal as the driver would and speaks the
// framed protocol with framing code of its own, written apart from zorsim's, so that the two check
// each other.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace zorsim::test {

struct ReplyFrame {
    std::string noise;    // bytes before the STX
    std::string payload;  // between STX and ETX
    std::string trailer;  // the 6 characters after ETX
    bool length_ok = false;
    bool checksum_ok = false;
    std::vector<std::string> lines;  // data lines (each ended by CR in the payload)
    std::string code;                // the text after the last CR

    bool good() const { return length_ok && checksum_ok; }
};

// STX digit text ETX, then length and XOR as upper-case hex, computed here by hand.
std::string command_frame(char digit, const std::string& text);

class HostLink {
  public:
    explicit HostLink(const std::string& path);
    ~HostLink();
    HostLink(const HostLink&) = delete;
    HostLink& operator=(const HostLink&) = delete;

    bool is_open() const { return fd_ >= 0; }
    void close();
    void write_bytes(const std::string& bytes);
    // Sets the terminal's line rate, as the driver does after SET_BAUD.
    void set_baud(int baud);

    // Sends text with the given digit.
    void send(char digit, const std::string& text);
    // Sends text with the next digit (1, 2, 1, ...) and waits for the reply frame.
    std::optional<ReplyFrame> ask(const std::string& text,
                                  std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));
    // Sends the last command again with the same digit, as after a lost reply.
    std::optional<ReplyFrame> ask_again(std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));
    char last_digit() const { return digit_; }

    // The next whole reply frame, or nothing within the time-out.
    std::optional<ReplyFrame> read_reply(std::chrono::milliseconds timeout);
    // Every byte that arrives until nothing has come for `quiet` (at most `limit` in all).
    std::string read_until_quiet(std::chrono::milliseconds quiet,
                                 std::chrono::milliseconds limit = std::chrono::milliseconds(5000));
    // The bytes of replies that are sure to come: waits up to `limit` for the first byte however
    // slow the machine, then reads until nothing has come for `quiet`.
    std::string read_coming_bytes(std::chrono::milliseconds quiet,
                                  std::chrono::milliseconds limit = std::chrono::milliseconds(5000));
    // Bytes read but not yet taken as a frame (flow-control bytes included).
    std::string& pending() { return buffer_; }

  private:
    bool fill(std::chrono::steady_clock::time_point deadline);

    int fd_ = -1;
    char digit_ = '2';  // so the first command goes with "1"
    std::string last_text_;
    std::string buffer_;
};

// Splits a received byte string into frames with the same rules as read_reply (for comparing
// whole exchanges).
std::vector<ReplyFrame> split_replies(const std::string& bytes);

}  // namespace zorsim::test
