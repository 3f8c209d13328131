// Test support: a temporary folder, and a fresh registry store inside it for the test's
// duration.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/registry/registry.h"
#include "utilities/session.h"

namespace putils_test {

class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zor-utilities-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
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
