#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

#include "platform/kernel/kernel.h"
#include "platform/window/poller.h"

namespace platform::window::detail {

Waker::Waker() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

Waker::~Waker() {
    close(fd_);
}

void Waker::signal() {
    const std::uint64_t one = 1;
    // Only EINTR can stop it; the counter cannot overflow at one write per wake-up.
    while (write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void Waker::drain() {
    std::uint64_t count;
    while (read(fd_, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

int poll_until(std::vector<pollfd>& fds, std::int64_t deadline_ns) {
    for (;;) {
        timespec left{};
        timespec* timeout = nullptr;
        if (deadline_ns != INT64_MAX) {
            const std::int64_t ns = deadline_ns - kernel::monotonic_ns();
            if (ns > 0) {
                left.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
                left.tv_nsec = static_cast<long>(ns % 1'000'000'000);
            }
            timeout = &left;
        }
        const int n = ppoll(fds.data(), fds.size(), timeout, nullptr);
        if (n >= 0) return n;
        if (errno != EINTR) throw std::system_error(errno, std::generic_category(), "ppoll");
    }
}

}  // namespace platform::window::detail
