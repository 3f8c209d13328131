// A pseudo-terminal pair for tests: the device under test opens the slave (ZOR_COM<n> may point
// at it), the test plays the far end on the master.
// Threads: one thread at a time uses a pair; the port variable is process-wide.
#pragma once

#include <termios.h>

#include <chrono>
#include <cstddef>
#include <string>

namespace zor_testing {

class PtyPair {
  public:
    // Makes the pair; with com > 0 ZOR_COM<com> is set to the slave's path until the pair goes,
    // so that no later test finds a port pointed at a terminal that is gone.
    explicit PtyPair(int com = 0);
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master_ >= 0 && slave_ >= 0 && !slave_path_.empty(); }
    int master() const { return master_; }
    // Our own descriptor on the slave: it keeps the pty alive and lets tests read its settings.
    int slave() const { return slave_; }
    const std::string& slave_path() const { return slave_path_; }
    std::string com_name() const { return "COM" + std::to_string(com_); }

    void close_master();
    void close_slave();

    // One write of all of `bytes` on the master; false when not all went.
    bool write_master(const std::string& bytes);
    // The far end writes all of `data` (retrying while the pty is full), at most `timeout`.
    bool write_all(const std::string& data, std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // Reads from the master until `want` bytes came or `timeout` ran out; returns what came.
    std::string read_master(std::size_t want, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Everything the far end can read now, waiting up to `wait` for the first byte.
    std::string read_available(std::chrono::milliseconds wait = std::chrono::milliseconds(0));
    // Reads until `count` bytes came (or `timeout`).
    std::string read_exactly(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // The slave's output speed as the far end sees it.
    speed_t slave_speed() const;

  private:
    int com_ = 0;
    int master_ = -1;
    int slave_ = -1;
    std::string slave_path_;
};

}  // namespace zor_testing
