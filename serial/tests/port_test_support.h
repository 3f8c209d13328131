// Test support for the dispatcher and port tests: pseudo-terminal pairs with COM<n> pointed at the
// slave, bounded waits (with and without serving the thread's messages), and far-end helpers.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "platform/window/window.h"

namespace serial_test {

using namespace std::chrono_literals;

// Polls `pred` in small steps until it holds or `timeout` runs out.
inline bool wait_until(const std::function<bool()>& pred, std::chrono::milliseconds timeout = 10s) {
    auto end = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= end) return pred();
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// As wait_until, serving the calling thread's messages meanwhile (the port's events run there).
inline bool pump_until(const std::function<bool()>& pred, std::chrono::milliseconds timeout = 10s) {
    auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        platform::window::process_messages();
        if (pred()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(200us);
    }
}

// Serves messages for a while (to show that nothing more comes).
inline void pump_for(std::chrono::milliseconds time) {
    pump_until([] { return false; }, time);
}

class PtyPair {
  public:
    // Makes the pair; with com > 0 ZOR_COM<com> is set to the slave's path.
    explicit PtyPair(int com = 0) : com_(com) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        const char* name = ::ptsname(master_);
        if (!name) return;
        slave_path_ = name;
        // Our own descriptor on the slave keeps the pty alive and lets tests read its settings.
        slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (com > 0) ::setenv(("ZOR_COM" + std::to_string(com)).c_str(), name, 1);
    }
    ~PtyPair() {
        close_master();
        if (slave_ >= 0) ::close(slave_);
        if (com_ > 0) ::unsetenv(("ZOR_COM" + std::to_string(com_)).c_str());
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master_ >= 0 && slave_ >= 0 && !slave_path_.empty(); }
    int master() const { return master_; }
    const std::string& slave_path() const { return slave_path_; }
    std::string com_name() const { return "COM" + std::to_string(com_); }

    void close_master() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

    // The far end writes all of `data` (retrying while the pty is full), at most `timeout`.
    bool write_all(const std::string& data, std::chrono::milliseconds timeout = 10s) {
        std::size_t done = 0;
        auto end = std::chrono::steady_clock::now() + timeout;
        while (done < data.size()) {
            ssize_t n = ::write(master_, data.data() + done, data.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
            if (std::chrono::steady_clock::now() >= end) return false;
            pollfd p{master_, POLLOUT, 0};
            ::poll(&p, 1, 10);
        }
        return true;
    }

    // Everything the far end can read now, waiting up to `wait` for the first byte.
    std::string read_available(std::chrono::milliseconds wait = 0ms) {
        std::string out;
        pollfd p{master_, POLLIN, 0};
        if (wait.count() > 0) ::poll(&p, 1, static_cast<int>(wait.count()));
        char buf[4096];
        for (;;) {
            ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0) break;
            out.append(buf, static_cast<std::size_t>(n));
        }
        return out;
    }

    // Reads until `count` bytes came (or `timeout`).
    std::string read_exactly(std::size_t count, std::chrono::milliseconds timeout = 10s) {
        std::string out;
        auto end = std::chrono::steady_clock::now() + timeout;
        while (out.size() < count && std::chrono::steady_clock::now() < end) out += read_available(5ms);
        return out;
    }

    // The slave's output speed as the far end sees it.
    speed_t slave_speed() const {
        termios t{};
        if (::tcgetattr(slave_, &t) != 0) return 0;
        return ::cfgetospeed(&t);
    }

  private:
    int com_ = 0;
    int master_ = -1;
    int slave_ = -1;
    std::string slave_path_;
};

}  // namespace serial_test
