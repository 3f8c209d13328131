// Another process on the session bus with a window of a class (the test server's "--window"
// mode): it tells when its window was made the foreground window, and ends then.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace com_test {

class WindowPeer {
  public:
    // Starts the peer and waits (bounded) until its window exists; ok() tells.
    WindowPeer(const char* server_path, const char* class_name) {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            execl(server_path, server_path, "--window", class_name, static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
        ready_ = next_line() == "ready";
    }
    ~WindowPeer() {
        if (out_ >= 0) close(out_);
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            int status;
            waitpid(pid_, &status, 0);
        }
    }
    WindowPeer(const WindowPeer&) = delete;
    WindowPeer& operator=(const WindowPeer&) = delete;

    bool ok() const { return ready_; }
    // Its next line ("activated" once its window was made the foreground window); empty when
    // it ended or said nothing within the guard.
    std::string next_line() {
        std::string line;
        pollfd p{out_, POLLIN, 0};
        char c;
        while (poll(&p, 1, 20'000) > 0 && read(out_, &c, 1) == 1 && c != '\n') line += c;
        return line;
    }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    bool ready_ = false;
};

}  // namespace com_test
