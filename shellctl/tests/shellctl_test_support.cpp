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
    HomeTreeTest::SetUp();
    if (HasFatalFailure()) return;
    // The person's folders and settings are the test's own.
    saved_config_ = zor_testing::replace_environment("XDG_CONFIG_HOME", at("home/.config"));
    saved_registry_ = zor_testing::replace_environment("ZOR_REGISTRY", at("registry.db"));
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
    platform::registry::reset_store();
    zor_testing::restore_environment("XDG_CONFIG_HOME", saved_config_);
    zor_testing::restore_environment("ZOR_REGISTRY", saved_registry_);
    HomeTreeTest::TearDown();
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
