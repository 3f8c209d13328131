// Temporary folder trees, a private home and data home, and an injected mount table for the
// shell tests.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/shell/shell.h"

namespace platform::shell::testing {

// Makes a fresh temporary folder, points HOME and XDG_DATA_HOME into it and the mount table
// at a file of its own ("/" on ext4 plus the mounts a test adds). Undone in TearDown.
class ShellTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Absolute path below the temporary root.
    std::string at(const std::string& relative) const { return root_ + "/" + relative; }
    void make_dir(const std::string& relative) const;
    void make_file(const std::string& relative, const std::string& content = "x") const;
    std::string read_file(const std::string& path) const;
    // Adds a line to the injected mount table.
    void add_mount(const std::string& mount_point, const std::string& fs_type = "ext4", unsigned major = 8,
                   unsigned minor = 1);

    std::string root_;
    std::string home_;
    std::string data_home_;

  private:
    std::string saved_home_, saved_data_;
    bool had_home_ = false, had_data_ = false;
    std::string mountinfo_;
    int next_mount_id_ = 30;
};

// The folder at an absolute path, bound through its canonical list (the test fails when it
// cannot be).
FolderPtr bind_path(const std::string& path);

// The original path a trash record gives (its "Path=" line, percent-decoded).
std::string trash_record_path(const std::string& record);
// Puts a trashed entry back where its record says and removes the record; the path it went to,
// or empty when it could not.
std::string restore_from_trash(const std::string& record);

// Runs `body` in a child process as an ordinary user when the tests run as root (root is not
// stopped by permission bits, so a test of unreadable folders would prove nothing). The body
// returns an empty text on success or what went wrong.
std::string run_unprivileged(const std::function<std::string()>& body);

}  // namespace platform::shell::testing
