#include "platform/testing/home_tree_test.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "platform/testing/temp_tree.h"

namespace zor_testing {

std::optional<std::string> replace_environment(const char* name, const std::string& value) {
    std::optional<std::string> saved;
    if (const char* old = std::getenv(name)) saved = old;
    ::setenv(name, value.c_str(), 1);
    return saved;
}

void restore_environment(const char* name, const std::optional<std::string>& saved) {
    if (saved) {
        ::setenv(name, saved->c_str(), 1);
    } else {
        ::unsetenv(name);
    }
}

void HomeTreeTest::SetUp() {
    root_ = make_temp_folder(prefix_).string();
    ASSERT_FALSE(root_.empty());
    // Open to everyone, so that a test's unprivileged child may work in it too.
    ::chmod(root_.c_str(), 0777);
    home_ = at("home");
    data_home_ = at("home/.local/share");
    std::filesystem::create_directories(data_home_);
    saved_home_ = replace_environment("HOME", home_);
    saved_data_ = replace_environment("XDG_DATA_HOME", data_home_);
}

void HomeTreeTest::TearDown() {
    restore_environment("HOME", saved_home_);
    restore_environment("XDG_DATA_HOME", saved_data_);
    if (root_.empty()) return;
    std::error_code ec;
    // Folders a test made unreadable must be opened again before they can be removed.
    for (auto it = std::filesystem::recursive_directory_iterator(
             root_, std::filesystem::directory_options::skip_permission_denied, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec)) ::chmod(it->path().c_str(), 0755);
    }
    ::chmod(root_.c_str(), 0755);
    std::filesystem::remove_all(root_, ec);
}

void HomeTreeTest::make_dir(const std::string& relative) const {
    std::filesystem::create_directories(at(relative));
}

void HomeTreeTest::make_file(const std::string& relative, const std::string& content) const {
    std::ofstream(at(relative), std::ios::binary) << content;
}

std::string HomeTreeTest::read_file(const std::string& path) const {
    return zor_testing::read_file(path);
}

}  // namespace zor_testing
