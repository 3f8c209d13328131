// A fresh store in a temporary folder for each test: ZOR_REGISTRY points at it.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/registry/registry.h"
#include "platform/testing/temp_tree.h"

namespace platform::registry::testing {

class TempStore : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = zor_testing::make_temp_folder("zor_registry_test");
        ASSERT_FALSE(dir_.empty());
        db_ = (dir_ / "registry.db").string();
        setenv("ZOR_REGISTRY", db_.c_str(), 1);
        reset_store();
    }

    void TearDown() override {
        reset_store();
        unsetenv("ZOR_REGISTRY");
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    // Points ZOR_REGISTRY elsewhere for this test (cleaned up with the folder when inside it).
    void use_store(const std::string& path) {
        setenv("ZOR_REGISTRY", path.c_str(), 1);
        reset_store();
    }

    std::filesystem::path dir_;
    std::string db_;
};

}  // namespace platform::registry::testing
