#include "driver/zorrun/tests/support/interaction_channel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "driver/zorrun/interaction_wire.h"

namespace zorrun_test {

namespace wire = zorrun::wire;

InteractionChannel::InteractionChannel(std::string socket_path) : path_(std::move(socket_path)) {
    ::unlink(path_.c_str());
    listen_fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path_.size() >= sizeof address.sun_path) throw std::runtime_error("socket path too long");
    std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
    if (listen_fd_ < 0 || ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listen_fd_, 4) != 0)
        throw std::runtime_error("cannot listen on " + path_);
    if (::pipe2(wake_, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
    thread_ = std::thread([this] { reader(); });
}

InteractionChannel::~InteractionChannel() {
    [[maybe_unused]] const ssize_t n = ::write(wake_[1], "x", 1);
    if (thread_.joinable()) thread_.join();
    for (int fd : {fd_, listen_fd_, wake_[0], wake_[1]})
        if (fd >= 0) ::close(fd);
    ::unlink(path_.c_str());
}

void InteractionChannel::reader() {
    std::string input;
    for (;;) {
        pollfd fds[2] = {{wake_[0], POLLIN, 0}, {fd_ >= 0 ? fd_ : listen_fd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents) return;
        if (!fds[1].revents) continue;
        if (fd_ < 0) {
            const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            std::lock_guard lock(mutex_);
            fd_ = fd;
            continue;
        }
        char buffer[4096];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            std::lock_guard lock(mutex_);
            closed_ = true;
            connected_ = false;
            changed_.notify_all();
            return;
        }
        input.append(buffer, static_cast<std::size_t>(n));
        for (;;) {
            const auto end = input.find('\n');
            if (end == std::string::npos) break;
            const std::vector<std::string> f = wire::split(input.substr(0, end));
            input.erase(0, end + 1);
            if (f.empty()) continue;
            if (f[0] == "ok" || f[0] == "error") {
                std::lock_guard lock(mutex_);
                replies_.push_back(f);
                changed_.notify_all();
                continue;
            }
            InteractionEvent e;
            e.kind = f[0];
            if (e.kind == "hello") {
                std::lock_guard lock(mutex_);
                connected_ = true;
                changed_.notify_all();
                continue;
            }
            if (f.size() > 1) e.id = std::atoi(f[1].c_str());
            if (e.kind == "box" && f.size() >= 6) {
                e.type = f[2];
                e.caption = f[3];
                e.text = f[4];
                e.buttons = f[5];
            } else if (e.kind == "form" && f.size() >= 4) {
                e.form_class = f[2];
                e.caption = f[3];
            }
            BoxHandler handler;
            {
                std::lock_guard lock(mutex_);
                if (e.kind == "box") boxes_.push_back(e);
                handler = box_handler_;
            }
            if (e.kind == "box" && handler) {
                if (const auto answer = handler(e)) {
                    send({"answer", std::to_string(e.id), std::to_string(*answer)});
                    continue;
                }
            }
            std::lock_guard lock(mutex_);
            events_.push_back(e);
            changed_.notify_all();
        }
    }
}

bool InteractionChannel::wait_connected(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return connected_ || closed_; }) && connected_;
}

bool InteractionChannel::connected() const {
    std::lock_guard lock(mutex_);
    return connected_;
}

void InteractionChannel::set_box_handler(BoxHandler handler) {
    std::lock_guard lock(mutex_);
    box_handler_ = std::move(handler);
}

std::optional<InteractionEvent> InteractionChannel::next_event(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, timeout, [this] { return !events_.empty() || closed_; }) || events_.empty())
        return std::nullopt;
    InteractionEvent e = events_.front();
    events_.pop_front();
    return e;
}

std::vector<InteractionEvent> InteractionChannel::boxes() const {
    std::lock_guard lock(mutex_);
    return boxes_;
}

void InteractionChannel::send(const std::vector<std::string>& fields) {
    const std::string line = wire::join(fields) + "\n";
    std::lock_guard lock(mutex_);
    if (fd_ < 0 || closed_) return;
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::send(fd_, line.data() + done, line.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

std::optional<std::vector<std::string>> InteractionChannel::request(const std::vector<std::string>& fields) {
    std::lock_guard serial(request_mutex_);
    send(fields);
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, std::chrono::seconds(20), [this] { return !replies_.empty() || closed_; }) ||
        replies_.empty())
        return std::nullopt;
    std::vector<std::string> reply = replies_.front();
    replies_.pop_front();
    if (reply[0] != "ok") return std::nullopt;
    return reply;
}

void InteractionChannel::answer(int box_id, int modal_result) {
    send({"answer", std::to_string(box_id), std::to_string(modal_result)});
}

std::optional<std::string> InteractionChannel::get(const std::string& path, const std::string& property) {
    const auto reply = request({"get", path, property});
    if (!reply) return std::nullopt;
    return reply->size() > 1 ? (*reply)[1] : std::string();
}

bool InteractionChannel::set(const std::string& path, const std::string& property, const std::string& value) {
    return request({"set", path, property, value}).has_value();
}

bool InteractionChannel::act(const std::string& path, const std::string& action,
                             const std::string& argument) {
    return request({"do", path, action, argument}).has_value();
}

bool InteractionChannel::set_result(const std::string& form_path, int modal_result) {
    return request({"result", form_path, std::to_string(modal_result)}).has_value();
}

}  // namespace zorrun_test
