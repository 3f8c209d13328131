// Temporary folder trees, a private home and data home, and an injected mount table for the
// shell tests.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/shell/shell.h"
#include "platform/testing/home_tree_test.h"

namespace platform::shell::testing {

// A fresh temporary folder tree with a private home and data home, and the mount table at a file
// of its own ("/" on ext4 plus the mounts a test adds). Undone in TearDown.
class ShellTest : public zor_testing::HomeTreeTest {
  protected:
    ShellTest() : HomeTreeTest("zor_shell") {}
    void SetUp() override;
    void TearDown() override;

    // Adds a line to the injected mount table.
    void add_mount(const std::string& mount_point, const std::string& fs_type = "ext4", unsigned major = 8,
                   unsigned minor = 1);

  private:
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
