// Test support: a temporary folder, and a fresh registry store inside it for the test's
// duration.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/registry/registry.h"
#include "platform/testing/temp_tree.h"
#include "utilities/session.h"

namespace putils_test {

// A temporary folder of the utilities' tests.
class TempFolder : public zor_testing::TempTree {
  public:
    TempFolder() : TempTree("zor-utilities") {
        if (path().empty()) ADD_FAILURE() << "the temporary folder could not be made";
    }
};

// A fresh user profile: an empty registry store in a temp folder and the session values of a
// process that has just started, with instance 1.
class FreshProfile : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* previous = std::getenv("ZOR_REGISTRY");
        had_previous_ = previous != nullptr;
        if (had_previous_) previous_ = previous;
        setenv("ZOR_REGISTRY", folder_.file("registry.db").c_str(), 1);
        platform::registry::reset_store();
        putils::reset_session();
        putils::session().instance_number = 1;
    }
    void TearDown() override {
        platform::registry::reset_store();
        if (had_previous_) {
            setenv("ZOR_REGISTRY", previous_.c_str(), 1);
        } else {
            unsetenv("ZOR_REGISTRY");
        }
        putils::reset_session();
    }

    TempFolder folder_;

  private:
    bool had_previous_ = false;
    std::string previous_;
};

}  // namespace putils_test
