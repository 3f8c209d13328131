// Test support: serial ports COMn that exist, as pseudo-terminals mapped through ZOR_COMn, for
// as long as the object lives. With `only`, every other port up to COM31 names no device, so
// the port probe finds exactly these whatever the machine has.
#pragma once

#include <gtest/gtest.h>
#include <pty.h>
#include <stdlib.h>
#include <unistd.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace zorsetup_test {

class PtyPorts {
  public:
    explicit PtyPorts(std::initializer_list<int> numbers, bool only = false) {
        if (only) {
            for (int n = 1; n <= 31; ++n) set(n, "/dev/zor-no-such-device");
        }
        for (int n : numbers) {
            int master = -1, slave = -1;
            char name[64] = {};
            if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
                ADD_FAILURE() << "no pseudo-terminal for COM" << n;
                continue;
            }
            fds_.push_back(master);
            fds_.push_back(slave);
            set(n, name);
        }
    }
    ~PtyPorts() {
        for (int fd : fds_) close(fd);
        for (int n : mapped_) unsetenv(("ZOR_COM" + std::to_string(n)).c_str());
    }
    PtyPorts(const PtyPorts&) = delete;
    PtyPorts& operator=(const PtyPorts&) = delete;

  private:
    void set(int n, const char* device) {
        setenv(("ZOR_COM" + std::to_string(n)).c_str(), device, 1);
        mapped_.push_back(n);
    }
    std::vector<int> fds_;
    std::vector<int> mapped_;
};

}  // namespace zorsetup_test
