// The control channel: line commands from tests and scripts while zorsim runs.
//
// At `--control PATH` zorsim listens on a unix stream socket (a stale socket file there is
// replaced). Every line sent is one command; every command gets one answer line, "ok" or
// "ok <text>" or "error: <text>". When PATH is an existing FIFO instead, zorsim reads commands
// from it and writes the answers of failed commands to its standard error, so a shell can say
// `echo "silent on" > PATH`.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace zorsim {

class ControlChannel {
  public:
    using Handler = std::function<std::string(const std::string& line)>;

    ControlChannel() = default;
    ~ControlChannel();
    ControlChannel(const ControlChannel&) = delete;
    ControlChannel& operator=(const ControlChannel&) = delete;

    // Empty on success, else what went wrong.
    std::string open(const std::string& path);
    void close();
    bool is_open() const { return listen_fd_ >= 0 || fifo_fd_ >= 0; }

    // The descriptors to poll for input.
    std::vector<int> fds() const;
    // Reads whatever is there without blocking and answers every complete line.
    void service(const Handler& handler);

  private:
    struct Client {
        int fd = -1;
        std::string input;
        std::string output;
    };

    void serve_lines(std::string& input, const Handler& handler, std::string* output);

    std::string path_;
    int listen_fd_ = -1;
    int fifo_fd_ = -1;
    int fifo_keepalive_fd_ = -1;
    std::string fifo_input_;
    std::vector<Client> clients_;
};

// Sends one command to a running zorsim's control socket and waits (at most timeout_ms) for its
// answer. Empty on success (the answer in `answer`), else why no answer came.
std::string tell(const std::string& path, const std::string& line, std::string& answer,
                 int timeout_ms = 5000);

}  // namespace zorsim
