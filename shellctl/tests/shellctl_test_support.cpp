#include "shellctl/tests/shellctl_test_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/forms/application.h"
#include "platform/registry/registry.h"
#include "platform/shell/mounts.h"
#include "platform/shell/ole.h"
#include "platform/window/window.h"
#include "shellctl/kw_sh_consts.h"
#include "shellctl/kw_shell_ops.h"

namespace shellctl::testing {

void TempTree::SetUp() {
    char tmpl[] = "/tmp/zor_shellctl_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    home_ = at("home");
    data_home_ = at("home/.local/share");
    std::filesystem::create_directories(data_home_);
    if (const char* h = std::getenv("HOME")) saved_home_ = h;
    if (const char* d = std::getenv("XDG_DATA_HOME")) saved_data_ = d;
    ::setenv("HOME", home_.c_str(), 1);
    ::setenv("XDG_DATA_HOME", data_home_.c_str(), 1);
    // The person's folders and settings are the test's own.
    if (const char* c = std::getenv("XDG_CONFIG_HOME")) saved_config_ = c;
    ::setenv("XDG_CONFIG_HOME", at("home/.config").c_str(), 1);
    if (const char* r = std::getenv("ZOR_REGISTRY")) saved_registry_ = r;
    ::setenv("ZOR_REGISTRY", at("registry.db").c_str(), 1);
    platform::registry::reset_store();
    // Texts in the classic locale, whatever the environment says.
    SetUserLocale(std::locale::classic());
    std::ofstream(at("mountinfo")) << "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n";
    platform::shell::set_mountinfo_path(at("mountinfo"));
    ResetStringTable();
}

void TempTree::TearDown() {
    platform::shell::set_mountinfo_path({});
    platform::shell::reset_ole_state_for_tests();
    FreeDeviceChangeHandler();
    ResetShellOpsUnitState();
    platform::window::reset_thread_state_for_tests();
    platform::forms::reset_forms_state_for_tests();
    ResetShellUtilsUnitState();  // no control is left to hold the image lists
    if (!saved_home_.empty()) ::setenv("HOME", saved_home_.c_str(), 1);
    if (!saved_data_.empty())
        ::setenv("XDG_DATA_HOME", saved_data_.c_str(), 1);
    else
        ::unsetenv("XDG_DATA_HOME");
    platform::registry::reset_store();
    if (saved_config_)
        ::setenv("XDG_CONFIG_HOME", saved_config_->c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    if (saved_registry_)
        ::setenv("ZOR_REGISTRY", saved_registry_->c_str(), 1);
    else
        ::unsetenv("ZOR_REGISTRY");
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(root_, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec)) ::chmod(it->path().c_str(), 0755);
    }
    std::filesystem::remove_all(root_, ec);
}

void TempTree::make_dir(const std::string& relative) const {
    std::filesystem::create_directories(at(relative));
}

void TempTree::make_file(const std::string& relative, const std::string& content) const {
    std::ofstream(at(relative), std::ios::binary) << content;
}

std::string TempTree::read_file(const std::string& path) const {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void* CountingMalloc::Alloc(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    blocks_[p] = size;
    return p;
}

void CountingMalloc::Free(void* block) {
    if (!block) return;
    EXPECT_EQ(blocks_.erase(block), 1u) << "freed a block this allocator did not hand out, or twice";
    ++frees;
    std::free(block);
}

PIDL block_of(IMalloc* malloc, const std::vector<std::uint8_t>& list) {
    auto* p = static_cast<PIDL>(malloc->Alloc(list.size()));
    std::memcpy(p, list.data(), list.size());
    return p;
}

}  // namespace shellctl::testing
