// Test helpers: a pseudo-terminal pair with COM<n> pointed at its slave, and waits with a bound.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace zor_test {

// Polls `pred` in small steps until it holds or `timeout` runs out; the result of the last look.
inline bool wait_until(const std::function<bool()>& pred,
                       std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    auto end = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= end) return pred();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Runs `body` in a child process without root's rights (it becomes "nobody" when the tests run
// as root, whom no file mode keeps out) and returns what the body returned; "" when the child
// could not run it.
inline std::string in_unprivileged_child(const std::function<std::string()>& body) {
    int out[2];
    if (::pipe(out) != 0) return {};
    const pid_t child = ::fork();
    if (child < 0) return {};
    if (child == 0) {
        ::close(out[0]);
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
        const std::string text = body();
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::write(out[1], text.data() + done, text.size() - done);
            if (n <= 0) ::_exit(4);
            done += static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(out[1]);
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? text : std::string();
}

class PtyPair {
  public:
    // Makes the pair and sets ZOR_COM<com> to the slave's path.
    explicit PtyPair(int com = 0) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        const char* name = ::ptsname(master_);
        if (!name) return;
        slave_path_ = name;
        // A descriptor of our own on the slave, opened before the device takes it, to read its
        // settings back.
        slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (com > 0) ::setenv(("ZOR_COM" + std::to_string(com)).c_str(), name, 1);
    }
    ~PtyPair() {
        close_master();
        if (slave_ >= 0) ::close(slave_);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master_ >= 0 && slave_ >= 0 && !slave_path_.empty(); }
    int master() const { return master_; }
    int slave() const { return slave_; }
    const std::string& slave_path() const { return slave_path_; }

    void close_master() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }
    void close_slave() {
        if (slave_ >= 0) ::close(slave_);
        slave_ = -1;
    }

    bool write_master(const std::string& bytes) {
        return ::write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // Reads from the master until `want` bytes came or `timeout` ran out; returns what came.
    std::string read_master(std::size_t want, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::string got;
        auto end = std::chrono::steady_clock::now() + timeout;
        while (got.size() < want) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            char buffer[4096];
            ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n <= 0) break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string slave_path_;
};

}  // namespace zor_test
