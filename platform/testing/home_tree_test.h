// A test fixture over a temporary folder tree with a private home and data home: HOME and
// XDG_DATA_HOME point into the tree for the test and are given back after it.
// Threads: the test's main thread; the environment it changes is process-wide.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace zor_testing {

class HomeTreeTest : public ::testing::Test {
  protected:
    explicit HomeTreeTest(std::string prefix) : prefix_(std::move(prefix)) {}
    void SetUp() override;
    // Removes the tree, also the folders a test made unreadable.
    void TearDown() override;

    // Absolute path below the temporary root.
    std::string at(const std::string& relative) const { return root_ + "/" + relative; }
    void make_dir(const std::string& relative) const;
    void make_file(const std::string& relative, const std::string& content = "x") const;
    // The whole content of a file (any path); empty when it cannot be read.
    std::string read_file(const std::string& path) const;

    std::string root_;
    std::string home_;
    std::string data_home_;

  private:
    std::string prefix_;
    std::optional<std::string> saved_home_, saved_data_;
};

// Sets `name` to `value` and returns what it was before (nothing when it was not set).
std::optional<std::string> replace_environment(const char* name, const std::string& value);
// Gives `name` back what replace_environment returned.
void restore_environment(const char* name, const std::optional<std::string>& saved);

}  // namespace zor_testing
