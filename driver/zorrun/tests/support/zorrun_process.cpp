#include "driver/zorrun/tests/support/zorrun_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "platform/testing/child_environment.h"

namespace zorrun_test {

ZorrunProcess::ZorrunProcess(const std::string& program, const std::vector<std::string>& arguments,
                             const std::vector<std::string>& environment,
                             const std::filesystem::path& stderr_path) {
    std::vector<std::string> args = {program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    // Everything the child needs is made before the fork.
    const zor_testing::ChildEnvironment env(environment);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string err = stderr_path.empty() ? std::string("/dev/null") : stderr_path.string();
    pid_ = ::fork();
    if (pid_ == 0) {
        const int fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd >= 0) ::dup2(fd, 2);
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, 0);
            ::dup2(null, 1);
        }
        ::execve(argv[0], argv.data(), env.envp());
        ::_exit(127);
    }
}

ZorrunProcess::~ZorrunProcess() {
    if (running()) {
        ::kill(pid_, SIGKILL);
        wait_exit(std::chrono::seconds(10));
    }
}

bool ZorrunProcess::running() {
    if (pid_ <= 0 || status_) return false;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }
    return r == 0;
}

void ZorrunProcess::signal(int number) {
    if (running()) ::kill(pid_, number);
}

std::optional<int> ZorrunProcess::wait_exit(std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (running()) {
        if (std::chrono::steady_clock::now() >= end) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return status_;
}

std::optional<int> run_program(const std::string& program, const std::vector<std::string>& arguments,
                               const std::vector<std::string>& environment,
                               std::chrono::milliseconds timeout) {
    ZorrunProcess process(program, arguments, environment);
    return process.wait_exit(timeout);
}

}  // namespace zorrun_test
