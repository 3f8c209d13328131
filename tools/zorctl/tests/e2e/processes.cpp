#include "tools/zorctl/tests/e2e/processes.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <thread>

#include "platform/testing/child_environment.h"

namespace zorctl_test {

namespace {

using namespace std::chrono_literals;

int decode(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

// Everything the child needs is made before the fork: only exec-safe calls run in it.
pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
            const std::filesystem::path& out_file, const std::filesystem::path& err_file) {
    const zor_testing::ChildEnvironment env(environment);
    std::vector<std::string> args = argv;
    std::vector<char*> arg_ptrs;
    for (auto& a : args) arg_ptrs.push_back(a.data());
    arg_ptrs.push_back(nullptr);
    const std::string out = out_file.empty() ? "/dev/null" : out_file.string();
    const std::string err = err_file.empty() ? "/dev/null" : err_file.string();

    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    const int in = ::open("/dev/null", O_RDONLY);
    const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || o < 0 || e < 0) ::_exit(126);
    ::dup2(in, 0);
    ::dup2(o, 1);
    ::dup2(e, 2);
    // A process group of its own, so that a test's signals reach nothing else.
    ::setpgid(0, 0);
    ::execve(arg_ptrs[0], arg_ptrs.data(), env.envp());
    ::_exit(127);
}

std::optional<int> wait_for(pid_t pid, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return decode(status);
        if (r < 0) return -1;
        if (std::chrono::steady_clock::now() >= end) return std::nullopt;
        std::this_thread::sleep_for(5ms);
    }
}

std::filesystem::path temporary_file(const char* what) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / (std::string("zorctl-") + what + "-XXXXXX")).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd >= 0) ::close(fd);
    return pattern;
}

}  // namespace

Finished run_program(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                     std::chrono::milliseconds timeout) {
    Finished f;
    const auto out = temporary_file("out"), err = temporary_file("err");
    const pid_t pid = spawn(argv, environment, out, err);
    if (pid < 0) return f;
    if (auto code = wait_for(pid, timeout)) {
        f.exit_code = *code;
    } else {
        f.timed_out = true;
        ::kill(pid, SIGKILL);
        f.exit_code = wait_for(pid, 10s).value_or(-1);
    }
    f.out = read_file(out);
    f.err = read_file(err);
    std::error_code ignored;
    std::filesystem::remove(out, ignored);
    std::filesystem::remove(err, ignored);
    return f;
}

Background::Background(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                       const std::filesystem::path& out_file, const std::filesystem::path& err_file)
    : pid_(spawn(argv, environment, out_file, err_file)) {}

Background::~Background() {
    if (!stop()) {
        if (pid_ > 0 && !status_) {
            ::kill(pid_, SIGKILL);
            status_ = wait_for(pid_, 10s);
        }
    }
}

bool Background::running() {
    if (pid_ <= 0 || status_) return false;
    if (auto code = wait_for(pid_, 0ms)) {
        status_ = code;
        return false;
    }
    return true;
}

std::optional<int> Background::stop(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) return std::nullopt;
    if (status_) return status_;
    ::kill(pid_, SIGTERM);
    status_ = wait_for(pid_, timeout);
    return status_;
}

std::string find_program(const std::string& name) {
    const char* path = ::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::filesystem::path candidate = std::filesystem::path(dirs.substr(start, end - start)) / name;
        if (!candidate.parent_path().empty() && ::access(candidate.c_str(), X_OK) == 0)
            return candidate.string();
        start = end + 1;
    }
    return "";
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> read_lines(const std::filesystem::path& path) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

}  // namespace zorctl_test
