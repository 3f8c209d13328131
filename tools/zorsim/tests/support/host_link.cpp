#include "host_link.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>

namespace zorsim::test {
namespace {

std::string hex2(unsigned v) {
    char s[3];
    std::snprintf(s, sizeof s, "%02X", v & 0xFF);
    return s;
}

unsigned hex_digit(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
    return 99;
}

// Takes one frame off the front of `bytes` if a whole one is there.
std::optional<ReplyFrame> take_frame(std::string& bytes) {
    const auto stx = bytes.find('\x02');
    if (stx == std::string::npos) return std::nullopt;
    const auto etx = bytes.find('\x03', stx);
    if (etx == std::string::npos || bytes.size() < etx + 7) return std::nullopt;
    ReplyFrame f;
    for (char c : bytes.substr(0, stx)) {
        if (c != '\x11' && c != '\x13') f.noise += c;
    }
    f.payload = bytes.substr(stx + 1, etx - stx - 1);
    f.trailer = bytes.substr(etx + 1, 6);
    bytes.erase(0, etx + 7);
    unsigned length = 0, sum = 0;
    bool hex = true;
    for (int i = 0; i < 6; ++i) {
        const unsigned d = hex_digit(f.trailer[static_cast<std::size_t>(i)]);
        if (d > 15) hex = false;
        if (i < 4)
            length = length * 16 + d;
        else
            sum = sum * 16 + d;
    }
    unsigned x = 0;
    for (char c : f.payload) x ^= static_cast<unsigned char>(c);
    f.length_ok = hex && length == f.payload.size();
    f.checksum_ok = hex && sum == x;
    std::string line;
    for (char c : f.payload) {
        if (c == '\r') {
            f.lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    f.code = line;
    return f;
}

}  // namespace

std::string command_frame(char digit, const std::string& text) {
    unsigned x = 0;
    for (char c : text) x ^= static_cast<unsigned char>(c);
    return std::string("\x02") + digit + text + "\x03" + hex2(static_cast<unsigned>(text.size() >> 8)) +
           hex2(static_cast<unsigned>(text.size())) + hex2(x);
}

HostLink::HostLink(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return;
    termios t{};
    ::tcgetattr(fd_, &t);
    ::cfmakeraw(&t);
    ::cfsetispeed(&t, B9600);
    ::cfsetospeed(&t, B9600);
    ::tcsetattr(fd_, TCSANOW, &t);
}

HostLink::~HostLink() {
    close();
}

void HostLink::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void HostLink::set_baud(int baud) {
    termios t{};
    ::tcgetattr(fd_, &t);
    const speed_t speed = baud == 38400 ? B38400 : B9600;
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    ::tcsetattr(fd_, TCSANOW, &t);
}

void HostLink::write_bytes(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

void HostLink::send(char digit, const std::string& text) {
    digit_ = digit;
    last_text_ = text;
    write_bytes(command_frame(digit, text));
}

std::optional<ReplyFrame> HostLink::ask(const std::string& text, std::chrono::milliseconds timeout) {
    send(digit_ == '1' ? '2' : '1', text);
    return read_reply(timeout);
}

std::optional<ReplyFrame> HostLink::ask_again(std::chrono::milliseconds timeout) {
    send(digit_, last_text_);
    return read_reply(timeout);
}

bool HostLink::fill(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
    char buf[4096];
    const ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n > 0) buffer_.append(buf, static_cast<std::size_t>(n));
    return n > 0;
}

std::optional<ReplyFrame> HostLink::read_reply(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        if (auto f = take_frame(buffer_)) return f;
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        fill(deadline);
    }
}

std::string HostLink::read_until_quiet(std::chrono::milliseconds quiet, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        const auto until = std::min(end, std::chrono::steady_clock::now() + quiet);
        if (!fill(until)) break;
    }
    std::string all;
    all.swap(buffer_);
    return all;
}

std::string HostLink::read_coming_bytes(std::chrono::milliseconds quiet, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (buffer_.empty() && fill(end)) {
    }
    return read_until_quiet(quiet, limit);
}

std::vector<ReplyFrame> split_replies(const std::string& bytes) {
    std::string rest = bytes;
    std::vector<ReplyFrame> frames;
    while (auto f = take_frame(rest)) frames.push_back(*f);
    return frames;
}

}  // namespace zorsim::test
