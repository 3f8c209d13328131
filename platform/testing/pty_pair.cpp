#include "platform/testing/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>

namespace zor_testing {

namespace {

std::string com_variable(int com) {
    return "ZOR_COM" + std::to_string(com);
}

}  // namespace

PtyPair::PtyPair(int com) : com_(com) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    const char* name = ::ptsname(master_);
    if (!name) return;
    slave_path_ = name;
    // Opened before the device takes the slave.
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (com > 0) ::setenv(com_variable(com).c_str(), name, 1);
}

PtyPair::~PtyPair() {
    close_master();
    close_slave();
    if (com_ > 0) ::unsetenv(com_variable(com_).c_str());
}

void PtyPair::close_master() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

void PtyPair::close_slave() {
    if (slave_ >= 0) ::close(slave_);
    slave_ = -1;
}

bool PtyPair::write_master(const std::string& bytes) {
    return ::write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

bool PtyPair::write_all(const std::string& data, std::chrono::milliseconds timeout) {
    std::size_t done = 0;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (done < data.size()) {
        const ssize_t n = ::write(master_, data.data() + done, data.size() - done);
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

std::string PtyPair::read_master(std::size_t want, std::chrono::milliseconds timeout) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (got.size() < want) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char buffer[4096];
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0) break;
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

std::string PtyPair::read_available(std::chrono::milliseconds wait) {
    std::string out;
    pollfd p{master_, POLLIN, 0};
    if (wait.count() > 0) ::poll(&p, 1, static_cast<int>(wait.count()));
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0) break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
}

std::string PtyPair::read_exactly(std::size_t count, std::chrono::milliseconds timeout) {
    std::string out;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (out.size() < count && std::chrono::steady_clock::now() < end)
        out += read_available(std::chrono::milliseconds(5));
    return out;
}

speed_t PtyPair::slave_speed() const {
    termios t{};
    if (::tcgetattr(slave_, &t) != 0) return 0;
    return ::cfgetospeed(&t);
}

}  // namespace zor_testing
