// A session bus of the test's own: a dbus-daemon in a folder, its address put into this
// process's DBUS_SESSION_BUS_ADDRESS (which Zorrun and the bus clients then inherit or read),
// so that tests running side by side never meet on one bus name.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace zorrun_test {

class PrivateBus {
  public:
    explicit PrivateBus(const std::filesystem::path& folder);
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;
    bool ok() const { return !address_.empty(); }
    const std::string& address() const { return address_; }

  private:
    pid_t pid_ = -1;
    std::string address_;
    std::string previous_;
    bool had_previous_ = false;
};

}  // namespace zorrun_test
