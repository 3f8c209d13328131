// The instrument's end of a pseudo-terminal, for tests and benchmarks that play the instrument
// with bytes of their own instead of zorsim: the master side, the path the session opens, and
// the reply frames an instrument sends.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "core/framed_link.h"

namespace core_test {

class FarEndPty {
  public:
    FarEndPty() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        ::grantpt(master_);
        ::unlockpt(master_);
        slave_path_ = ::ptsname(master_);
        // Kept open so the session may close and reopen its end.
        slave_keep_ = ::open(slave_path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    }
    ~FarEndPty() {
        ::close(slave_keep_);
        ::close(master_);
    }
    FarEndPty(const FarEndPty&) = delete;
    FarEndPty& operator=(const FarEndPty&) = delete;

    int master() const { return master_; }
    const std::string& slave_path() const { return slave_path_; }

  private:
    int master_ = -1;
    int slave_keep_ = -1;
    std::string slave_path_;
};

// STX, the payload, ETX, its length and XOR: a reply as the instrument frames it.
inline std::string reply_frame(const std::string& payload) {
    int x = 0;
    for (char c : payload) x ^= static_cast<unsigned char>(c);
    const int n = static_cast<int>(payload.size());
    return std::string(1, core::STX) + payload + std::string(1, core::ETX) + core::hex_byte(n >> 8) +
           core::hex_byte(n & 0xFF) + core::hex_byte(x);
}

}  // namespace core_test
