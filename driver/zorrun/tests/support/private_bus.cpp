#include "driver/zorrun/tests/support/private_bus.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace zorrun_test {

PrivateBus::PrivateBus(const std::filesystem::path& folder) {
    if (const char* previous = ::getenv("DBUS_SESSION_BUS_ADDRESS")) {
        previous_ = previous;
        had_previous_ = true;
    }
    std::string listen = "--address=unix:path=" + (folder / "bus").string();
    std::string program = "dbus-daemon";
    std::string session = "--session";
    std::string nofork = "--nofork";
    std::string print = "--print-address=1";
    char* argv[] = {program.data(), session.data(), nofork.data(), listen.data(), print.data(), nullptr};
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(out[1], 1);
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, 0);
            ::dup2(null, 2);
        }
        ::execvp(argv[0], argv);
        ::_exit(127);
    }
    ::close(out[1]);
    std::string line;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < end) {
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        char buffer[512];
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n <= 0) break;
        line.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    if (line.find('\n') == std::string::npos) return;
    address_ = line.substr(0, line.find('\n'));
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
}

PrivateBus::~PrivateBus() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        for (int i = 0; i < 200 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (::waitpid(pid_, &status, WNOHANG) == 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
        }
    }
    if (had_previous_) {
        ::setenv("DBUS_SESSION_BUS_ADDRESS", previous_.c_str(), 1);
    } else {
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
}

}  // namespace zorrun_test
