// Programs as real processes for zorctl's end-to-end tests: run one to its end with a bound on
// the wait, or keep one in the background and stop it by its process id. Every wait is bounded;
// a program still running when its time is up is killed, and the caller is told.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/testing/wait.h"

namespace zorctl_test {

struct Finished {
    bool timed_out = false;
    int exit_code = -1;  // 128 + signal for a program ended by a signal
    std::string out;
    std::string err;
};

// Runs the program (argv[0] a path) with the test's environment plus `environment` entries
// ("NAME=value"), no standard input, and its output collected. At most `timeout`.
Finished run_program(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {},
                     std::chrono::milliseconds timeout = std::chrono::seconds(60));

class Background {
  public:
    // Starts the program; standard output and error go to the files given (or /dev/null).
    Background(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
               const std::filesystem::path& out_file = {}, const std::filesystem::path& err_file = {});
    ~Background();  // SIGTERM, then SIGKILL when it does not end in time
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    pid_t pid() const { return pid_; }
    bool running();
    // SIGTERM and a bounded wait for the end; the exit code, or nothing when it had to be killed.
    std::optional<int> stop(std::chrono::milliseconds timeout = std::chrono::seconds(10));

  private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// Checks the condition every few milliseconds until it holds or the time runs out.
using zor_testing::wait_until;

// The program's path found along PATH ("" when none).
std::string find_program(const std::string& name);

std::string read_file(const std::filesystem::path& path);
std::vector<std::string> read_lines(const std::filesystem::path& path);

}  // namespace zorctl_test
