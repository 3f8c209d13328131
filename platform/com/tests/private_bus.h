// A session bus of the test process's own: a dbus-daemon started for the process and ended
// with it, so parallel test processes never share the fixed bus names. Set
// ZOR_TEST_USE_SESSION_BUS=1 to use the bus that DBUS_SESSION_BUS_ADDRESS names instead.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace com_test {

class PrivateBus : public ::testing::Environment {
  public:
    void SetUp() override {
        const char* shared = getenv("ZOR_TEST_USE_SESSION_BUS");
        if (shared && std::string(shared) == "1" && getenv("DBUS_SESSION_BUS_ADDRESS")) return;
        int out[2];
        ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
        const pid_t parent = getpid();
        pid_ = fork();
        ASSERT_GE(pid_, 0);
        if (pid_ == 0) {
            // It ends with this process even when a crash skips the tear-down, and keeps none of
            // the output the test runner waits on.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent) _exit(1);
            const int null = open("/dev/null", O_RDWR);
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
            if (out[1] == 3)
                fcntl(3, F_SETFD, 0);
            else
                dup2(out[1], 3);  // dup2 clears close-on-exec on the copy
            execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=3",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        std::string address;
        // Bounded: the daemon prints its address at once or not at all.
        for (;;) {
            pollfd p{out[0], POLLIN, 0};
            if (poll(&p, 1, 10'000) <= 0) break;
            char c;
            if (read(out[0], &c, 1) != 1 || c == '\n') break;
            address += c;
        }
        close(out[0]);
        ASSERT_FALSE(address.empty()) << "dbus-daemon did not start (is it installed?)";
        setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    }
    void TearDown() override {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        int status;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }

  private:
    pid_t pid_ = -1;
};

}  // namespace com_test
