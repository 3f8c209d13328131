// A temporary folder with a private home and data home for the controls' tests, and a
// counting allocator for ownership checks.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <span>
#include <string>

#include "platform/testing/home_tree_test.h"
#include "shellctl/kw_shell_utils.h"

namespace shellctl::testing {

class TempTree : public zor_testing::HomeTreeTest {
  protected:
    TempTree() : HomeTreeTest("zor_shellctl") {}
    void SetUp() override;
    void TearDown() override;

  private:
    std::optional<std::string> saved_registry_, saved_config_;
};

// Counts what it hands out and takes back.
class CountingMalloc final : public IMalloc {
  public:
    void* Alloc(std::size_t size) override;
    void Free(void* block) override;
    int live() const { return static_cast<int>(blocks_.size()); }
    int frees = 0;

  private:
    std::map<void*, std::size_t> blocks_;
};

// A folder whose reading ends with a chosen code after the children of a real folder: a
// folder of another namespace whose enumeration fails part way.
class BrokenFolder final : public platform::shell::Folder {
  public:
    BrokenFolder(FolderPtr real, HRESULT end) : Folder(real->id_list()), real_(std::move(real)), end_(end) {}
    HRESULT enum_objects(std::uint32_t flags, std::vector<platform::shell::IdList>& out) const override {
        real_->enum_objects(flags, out);
        return end_;
    }
    std::uint32_t attributes_of(std::span<const PCIDL> children, std::uint32_t mask) const override {
        return real_->attributes_of(children, mask);
    }
    std::string display_name_of(PCIDL child, std::uint32_t flags) const override {
        return real_->display_name_of(child, flags);
    }
    std::string path() const override { return real_->path(); }

  private:
    FolderPtr real_;
    HRESULT end_;
};

// An item-ID list in an allocator's block.
PIDL block_of(IMalloc* malloc, const std::vector<std::uint8_t>& list);

}  // namespace shellctl::testing
