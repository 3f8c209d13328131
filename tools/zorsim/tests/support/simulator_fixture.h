// A running zorsim (in this process, on a thread of its own) with a host link to its terminal and
// a temporary folder for its files.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host_link.h"
#include "platform/testing/temp_tree.h"
#include "tools/zorsim/simulator.h"

namespace zorsim::test {

std::vector<std::string> read_lines(const std::filesystem::path& path);

class SimulatorTest : public ::testing::Test {
  protected:
    // Options whose files lie in the test's folder; the tests change what they need.
    Options options();
    void start(Options options);
    void TearDown() override;

    std::filesystem::path dir_ = zor_testing::make_temp_folder("zorsim-test");
    std::unique_ptr<Simulator> sim_;
    std::unique_ptr<HostLink> host_;
};

}  // namespace zorsim::test
