// zorsim as a real process at the far end of a pseudo-terminal, for the session's end-to-end
// tests and benchmarks: start it with a folder of its own, talk to its control socket, read its
// transcript and executed-atoms files, stop it by its process id.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace core_test {

inline std::vector<std::string> read_file_lines(const std::filesystem::path& path) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

class ZorsimProcess {
  public:
    // Starts zorsim with the folder's link, control socket, transcript and executed files and
    // the extra options; waits (bounded) for the terminal's path on its standard output.
    ZorsimProcess(const std::filesystem::path& folder, const std::vector<std::string>& extra)
        : folder_(folder) {
        std::vector<std::string> args = {ZORSIM_PATH,
                                         "--config",
                                         std::string(ZOR_EXAMPLES_DIR) + "/zor_config.pol",
                                         "--link",
                                         link_path().string(),
                                         "--control",
                                         control_path().string(),
                                         "--transcript",
                                         transcript_path().string(),
                                         "--executed",
                                         executed_path().string(),
                                         "--downloads",
                                         downloads_path().string()};
        args.insert(args.end(), extra.begin(), extra.end());
        // Everything the child needs is made before the fork: only exec-safe calls run there.
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        int out[2];
        if (::pipe(out) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            ::close(out[1]);
            const int devnull = ::open("/dev/null", O_WRONLY);
            if (devnull >= 0) ::dup2(devnull, 2);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        stdout_fd_ = out[0];
        // The first line is the terminal's path; the link and the socket exist by then.
        std::string line;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < end) {
            pollfd p{stdout_fd_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char buf[256];
            const ssize_t n = ::read(stdout_fd_, buf, sizeof buf);
            if (n <= 0) break;
            line.append(buf, static_cast<std::size_t>(n));
        }
        if (line.find('\n') != std::string::npos) terminal_ = line.substr(0, line.find('\n'));
        for (int i = 0; i < 200 && !std::filesystem::exists(control_path()); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ~ZorsimProcess() { stop(); }
    ZorsimProcess(const ZorsimProcess&) = delete;
    ZorsimProcess& operator=(const ZorsimProcess&) = delete;

    bool ok() const { return pid_ > 0 && !terminal_.empty(); }
    const std::string& terminal() const { return terminal_; }
    std::filesystem::path link_path() const { return folder_ / "COM1"; }
    std::filesystem::path control_path() const { return folder_ / "ctl"; }
    std::filesystem::path transcript_path() const { return folder_ / "transcript.txt"; }
    std::filesystem::path executed_path() const { return folder_ / "executed.txt"; }
    std::filesystem::path downloads_path() const { return folder_ / "downloads.txt"; }

    // One control command; its answer line ("ok ...", "error: ...").
    std::string tell(const std::string& command) const {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (fd < 0) return "error: socket";
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, control_path().c_str(), sizeof address.sun_path - 1);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return "error: connect";
        }
        const std::string line = command + "\n";
        if (::write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
            ::close(fd);
            return "error: write";
        }
        std::string answer;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (answer.find('\n') == std::string::npos && std::chrono::steady_clock::now() < end) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            char buf[512];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0) break;
            answer.append(buf, static_cast<std::size_t>(n));
        }
        ::close(fd);
        if (answer.find('\n') != std::string::npos) answer.resize(answer.find('\n'));
        return answer;
    }

    // The executed atoms so far (zorsim writes the file on "dump").
    std::vector<std::string> executed() const {
        tell("dump");
        return read_file_lines(executed_path());
    }
    std::vector<std::string> downloads() const {
        tell("dump");
        return read_file_lines(downloads_path());
    }
    std::vector<std::string> transcript() const { return read_file_lines(transcript_path()); }

    void stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            for (int i = 0; i < 200; ++i) {
                if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                    pid_ = -1;
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            if (pid_ > 0) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                pid_ = -1;
            }
        }
        if (stdout_fd_ >= 0) ::close(stdout_fd_);
        stdout_fd_ = -1;
    }

  private:
    std::filesystem::path folder_;
    pid_t pid_ = -1;
    int stdout_fd_ = -1;
    std::string terminal_;
};

}  // namespace core_test
