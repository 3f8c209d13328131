// A fresh registry store per test (ZOR_REGISTRY in a temporary folder).
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "platform/registry/registry.h"
#include "platform/testing/temp_tree.h"

namespace com_test {

class TempRegistry {
  public:
    TempRegistry() {
        dir_ = zor_testing::make_temp_folder("zor_com_test");
        if (dir_.empty()) ADD_FAILURE() << "no temporary folder";
        setenv("ZOR_REGISTRY", (dir_ / "registry.db").c_str(), 1);
        platform::registry::reset_store();
    }
    ~TempRegistry() {
        platform::registry::reset_store();
        unsetenv("ZOR_REGISTRY");
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    const std::filesystem::path& dir() const { return dir_; }

  private:
    std::filesystem::path dir_;
};

}  // namespace com_test
