// Zorrun as a real process for the end-to-end tests: started with the arguments and extra
// environment given (the test's environment otherwise, so it joins the same private bus),
// stopped by its process id, its exit status and standard error kept.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zorrun_test {

class ZorrunProcess {
  public:
    // Starts `program` (Zorrun) with `arguments`; `environment` entries ("NAME=value") are set
    // on top of the test's own. Standard error goes to `stderr_path` when given.
    ZorrunProcess(const std::string& program, const std::vector<std::string>& arguments,
                  const std::vector<std::string>& environment, const std::filesystem::path& stderr_path = {});
    ~ZorrunProcess();  // SIGKILL when still running
    ZorrunProcess(const ZorrunProcess&) = delete;
    ZorrunProcess& operator=(const ZorrunProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool running();
    void signal(int number);
    // Waits for the end; the exit code (or 128 + signal), or nothing when still running then.
    std::optional<int> wait_exit(std::chrono::milliseconds timeout = std::chrono::seconds(20));

  private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// Runs the program to its end (bounded) and gives its exit code, or nothing on time-out.
std::optional<int> run_program(const std::string& program, const std::vector<std::string>& arguments,
                               const std::vector<std::string>& environment,
                               std::chrono::milliseconds timeout = std::chrono::seconds(30));

}  // namespace zorrun_test
