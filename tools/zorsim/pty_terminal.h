// The pseudo-terminal pair the driver talks to. zorsim keeps the master (its end of the line)
// and also holds the slave open itself, so that the driver closing and reopening the slave never
// makes the master see a hang-up in between. The slave starts raw: 8 data bits, no parity, no
// echo, no translation, 9600 baud; the driver sets what it wants on top.
#pragma once

#include <string>

namespace zorsim {

class PtyTerminal {
  public:
    PtyTerminal() = default;
    ~PtyTerminal();
    PtyTerminal(const PtyTerminal&) = delete;
    PtyTerminal& operator=(const PtyTerminal&) = delete;

    // Opens the pair; with a link path, also makes that path a symbolic link to the slave (an
    // existing link there is replaced; any other file there is an error). Empty on success, else
    // what went wrong.
    std::string open(const std::string& link_path);
    void close();

    int master() const { return master_; }
    const std::string& slave_path() const { return slave_path_; }
    // The line rate the slave is set to now (what the driver last chose), or 0 when unknown.
    int slave_baud() const;

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string slave_path_;
    std::string link_path_;
};

}  // namespace zorsim
