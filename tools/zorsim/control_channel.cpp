#include "tools/zorsim/control_channel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace zorsim {
namespace {

constexpr std::size_t max_line = 64 * 1024;  // a client that sends more without a line end is dropped

std::string os_error(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool make_address(const std::string& path, sockaddr_un& addr) {
    addr = {};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

}  // namespace

ControlChannel::~ControlChannel() {
    close();
}

std::string ControlChannel::open(const std::string& path) {
    close();
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) {
        fifo_fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fifo_fd_ < 0) return os_error("open " + path);
        // Our own writer keeps the FIFO from reading end-of-file whenever a shell's echo ends.
        fifo_keepalive_fd_ = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        path_.clear();
        return {};
    }
    sockaddr_un addr;
    if (!make_address(path, addr)) return "control path too long for a unix socket: " + path;
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) return path + " exists and is neither a socket nor a FIFO";
        ::unlink(path.c_str());
    }
    listen_fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listen_fd_ < 0) return os_error("socket");
    if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listen_fd_, 8) != 0) {
        const std::string e = os_error("listen on " + path);
        ::close(listen_fd_);
        listen_fd_ = -1;
        return e;
    }
    path_ = path;
    return {};
}

void ControlChannel::close() {
    for (auto& c : clients_) ::close(c.fd);
    clients_.clear();
    if (listen_fd_ >= 0) {
        ::close(listen_fd_);
        listen_fd_ = -1;
        ::unlink(path_.c_str());
    }
    if (fifo_fd_ >= 0) ::close(fifo_fd_);
    if (fifo_keepalive_fd_ >= 0) ::close(fifo_keepalive_fd_);
    fifo_fd_ = fifo_keepalive_fd_ = -1;
    path_.clear();
}

std::vector<int> ControlChannel::fds() const {
    std::vector<int> fds;
    if (listen_fd_ >= 0) fds.push_back(listen_fd_);
    if (fifo_fd_ >= 0) fds.push_back(fifo_fd_);
    for (const auto& c : clients_) fds.push_back(c.fd);
    return fds;
}

void ControlChannel::serve_lines(std::string& input, const Handler& handler, std::string* output) {
    std::size_t nl;
    while ((nl = input.find('\n')) != std::string::npos) {
        std::string line = input.substr(0, nl);
        input.erase(0, nl + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        const std::string answer = handler(line);
        if (output != nullptr) {
            *output += answer + "\n";
        } else if (answer.rfind("ok", 0) != 0) {
            std::fprintf(stderr, "zorsim: control \"%s\": %s\n", line.c_str(), answer.c_str());
        }
    }
}

void ControlChannel::service(const Handler& handler) {
    if (listen_fd_ >= 0) {
        while (true) {
            const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) break;
            clients_.push_back(Client{fd, {}, {}});
        }
    }
    char buffer[4096];
    if (fifo_fd_ >= 0) {
        ssize_t n;
        while ((n = ::read(fifo_fd_, buffer, sizeof buffer)) > 0)
            fifo_input_.append(buffer, static_cast<std::size_t>(n));
        if (fifo_input_.size() > max_line && fifo_input_.find('\n') == std::string::npos) fifo_input_.clear();
        serve_lines(fifo_input_, handler, nullptr);
    }
    for (std::size_t i = 0; i < clients_.size();) {
        Client& c = clients_[i];
        bool gone = false;
        while (true) {
            const ssize_t n = ::read(c.fd, buffer, sizeof buffer);
            if (n > 0) {
                c.input.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) gone = true;
            break;
        }
        serve_lines(c.input, handler, &c.output);
        if (c.input.size() > max_line) gone = true;
        while (!c.output.empty()) {
            const ssize_t n = ::send(c.fd, c.output.data(), c.output.size(), MSG_NOSIGNAL);
            if (n <= 0) break;  // a client that reads nothing keeps its answers queued
            c.output.erase(0, static_cast<std::size_t>(n));
        }
        if (gone) {
            ::close(c.fd);
            clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
}

std::string tell(const std::string& path, const std::string& line, std::string& answer, int timeout_ms) {
    answer.clear();
    sockaddr_un addr;
    if (!make_address(path, addr)) return "control path too long: " + path;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return os_error("socket");
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        const std::string e = os_error("connect to " + path);
        ::close(fd);
        return e;
    }
    const std::string out = line + "\n";
    if (::send(fd, out.data(), out.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(out.size())) {
        const std::string e = os_error("send");
        ::close(fd);
        return e;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    std::string input;
    while (input.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ::close(fd);
            return "no answer from " + path + " in time";
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            ::close(fd);
            return "zorsim closed the control connection";
        }
        input.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    answer = input.substr(0, input.find('\n'));
    return {};
}

}  // namespace zorsim
