// The locator: change detection, paths, streaming; the details adapter.
#include <filesystem>
#include <memory>
#include <span>

#include "shellctl/kw_clipboard.h"
#include "shellctl/kw_shell_locator.h"
#include "shellctl/tests/shellctl_test_support.h"

namespace shellctl {
namespace {

namespace shell = platform::shell;
namespace com = platform::com;
using testing::TempTree;

struct Counted {
    TKwShellLocator loc;
    int changes = 0;
    Counted() {
        loc.OnChange = [this](TKwShellLocator&) { ++changes; };
    }
};

TEST_F(TempTree, SpecialFolderLocatorsCompareByNumber) {
    Counted a, b;
    a.loc.SetSpecialFolder(17);
    b.loc.SetSpecialFolder(17);
    a.changes = b.changes = 0;
    EXPECT_TRUE(a.loc.IsSame(b.loc));
    a.loc.Assign(&b.loc);
    EXPECT_EQ(a.changes, 0);
    b.loc.SetSpecialFolder(0);
    b.changes = 0;
    ASSERT_NE(a.loc.IdList(), nullptr);  // resolved and cached
    a.loc.Assign(&b.loc);
    EXPECT_EQ(a.changes, 1);
    EXPECT_EQ(a.loc.FolderNumber(), 0);
    EXPECT_EQ(IdListSize(a.loc.IdList()), 2u);  // the cache was dropped: now the root
}

TEST_F(TempTree, WritingTheSameListTwiceFiresOnce) {
    make_dir("home/x");
    PIDL list = nullptr;
    ASSERT_EQ(PathToIdList(home_ + "/x", list), com::S_OK);
    Counted c;
    c.loc.SetIdList(list);
    c.loc.SetIdList(list);
    EXPECT_EQ(c.changes, 1);
    ShellFree(list);
    // Assigning the locator its own list (a pointer into what it holds) is safe.
    c.loc.SetIdList(c.loc.IdList());
    EXPECT_EQ(c.changes, 1);
    EXPECT_EQ(c.loc.Path(), home_ + "/x");
}

TEST_F(TempTree, AnEmptyListIntoAnEmptyLocatorFiresNothing) {
    Counted c;
    const auto empty = shell::empty_id_list();
    c.loc.SetIdList(empty.data());
    EXPECT_EQ(c.changes, 0);
    EXPECT_EQ(c.loc.IdList(), nullptr);
    c.loc.Assign(nullptr);  // no list held: unchanged
    EXPECT_EQ(c.changes, 0);
}

TEST_F(TempTree, PathRoundTripAndAPathThatDoesNotParse) {
    make_dir("home/with space/\xC3\xA9");
    Counted c;
    c.loc.SetPath(home_ + "/with space/\xC3\xA9");
    EXPECT_EQ(c.changes, 1);
    EXPECT_EQ(c.loc.Path(), home_ + "/with space/\xC3\xA9");
    c.loc.SetPath(at("does/not/exist"));
    EXPECT_EQ(c.changes, 2);
    EXPECT_EQ(c.loc.IdList(), nullptr);  // none: the root
    EXPECT_EQ(c.loc.Path(), "");
    c.loc.SetSpecialFolder(17);
    EXPECT_EQ(c.loc.Path(), "");  // a virtual folder has no path
}

TEST_F(TempTree, AChangeHandlerThatRaisesLeavesNoParsedListBehind) {
    make_dir("p");
    TKwShellLocator loc;
    loc.OnChange = [](TKwShellLocator&) { throw Exception("refused"); };
    // The list parsed from the path is freed on the way out (a leak checker sees it).
    EXPECT_THROW(loc.SetPath(at("p")), Exception);
    EXPECT_EQ(loc.Path(), at("p"));
}

TEST_F(TempTree, PidlStreamingAndDamagedStreams) {
    TKwShellLocator none;
    std::vector<std::uint8_t> bytes;
    none.WritePidl(bytes);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0, 0, 0, 0, 0}));
    TKwShellLocator back;
    std::size_t used = 0;
    ASSERT_TRUE(back.ReadPidl(bytes.data(), bytes.size(), used));
    EXPECT_EQ(used, 5u);
    EXPECT_EQ(back.Kind(), 1);
    EXPECT_EQ(back.FolderNumber(), 0);

    make_dir("home/docs");
    TKwShellLocator held;
    held.SetPath(home_ + "/docs");
    bytes.clear();
    held.WritePidl(bytes);
    TKwShellLocator copy;
    ASSERT_TRUE(copy.ReadPidl(bytes.data(), bytes.size(), used));
    EXPECT_EQ(used, bytes.size());
    EXPECT_TRUE(copy.IsSame(held));
    EXPECT_EQ(copy.Path(), home_ + "/docs");

    // A size past the stream's end, or items that run past the size, are refused and leave
    // the locator as it was.
    auto cut = bytes;
    cut.resize(bytes.size() - 1);
    EXPECT_FALSE(copy.ReadPidl(cut.data(), cut.size(), used));
    auto bad = bytes;
    bad[5] = 0xF0;  // first item claims 240 bytes
    EXPECT_FALSE(copy.ReadPidl(bad.data(), bad.size(), used));
    bad = bytes;
    bad[bad.size() - 1] = 7;  // no terminator
    EXPECT_FALSE(copy.ReadPidl(bad.data(), bad.size(), used));
    EXPECT_EQ(copy.Path(), home_ + "/docs");

    TKwShellLocator special;
    special.SetSpecialFolder(17);
    bytes.clear();
    special.WritePidl(bytes);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{1, 17}));
}

TEST_F(TempTree, AssignNoneDropsAHeldListAndSkipsAnUnresolvedSpecialFolder) {
    Counted c;
    c.loc.SetSpecialFolder(17);
    c.changes = 0;
    c.loc.Assign(nullptr);  // never resolved: nothing held, nothing changes
    EXPECT_EQ(c.changes, 0);
    EXPECT_EQ(c.loc.Kind(), 1);
    make_dir("home/y");
    c.loc.SetPath(home_ + "/y");
    c.changes = 0;
    c.loc.Assign(nullptr);
    EXPECT_EQ(c.changes, 1);
    EXPECT_EQ(c.loc.IdList(), nullptr);
}

// A folder object with IShellFolder2 whose column 1 is not on by default.
class FakeFolder2 final : public TKwUnknown<IShellFolder2> {
  public:
    int forwarded = 0;
    HRESULT GetDetailsOf(PCIDL, unsigned column, SHELLDETAILS& d) override {
        ++forwarded;
        d.str = "col" + std::to_string(column);
        return com::S_OK;
    }
    HRESULT GetDefaultColumnState(unsigned column, std::uint32_t& flags) override {
        if (column == 2) return com::E_FAIL;
        flags = column == 0 ? SHCOLSTATE_ONBYDEFAULT : 0;
        return com::S_OK;
    }
};

TEST(FolderDetails, TheAdapterForwardsOnlyColumnsOnByDefault) {
    auto* folder = new FakeFolder2;
    folder->AddRef();
    IShellDetails* details = GetFolderShellDetails(folder);
    ASSERT_NE(details, nullptr);
    SHELLDETAILS d;
    const int probes = folder->forwarded;
    EXPECT_EQ(details->GetDetailsOf(nullptr, 0, d), com::S_OK);
    EXPECT_EQ(d.str, "col0");
    EXPECT_EQ(details->GetDetailsOf(nullptr, 1, d), com::E_INVALIDARG);
    EXPECT_EQ(details->GetDetailsOf(nullptr, 2, d), com::S_OK);  // a failing state query forwards
    EXPECT_EQ(folder->forwarded, probes + 2);
    EXPECT_EQ(details->ColumnClick(0), com::E_NOTIMPL);
    void* other = nullptr;
    EXPECT_EQ(details->QueryInterface(IShellFolder2::iid, &other), com::E_NOINTERFACE);
    EXPECT_EQ(folder->ref_count(), 2u);  // the adapter holds the folder
    details->Release();
    EXPECT_EQ(folder->ref_count(), 1u);
    folder->Release();
    EXPECT_EQ(GetFolderShellDetails(FolderPtr{}), nullptr);
}

// A folder of the namespace that also knows its own columns as a COM object. The shared
// pointer owns it; its reference count only counts.
class FolderWithColumns final : public shell::Folder, public IShellFolder2 {
  public:
    FolderWithColumns() : shell::Folder(shell::empty_id_list()) {}
    HRESULT enum_objects(std::uint32_t, std::vector<shell::IdList>& out) const override {
        out.clear();
        return com::S_OK;
    }
    std::uint32_t attributes_of(std::span<const PCIDL>, std::uint32_t) const override { return 0; }
    std::string display_name_of(PCIDL, std::uint32_t) const override { return {}; }

    HRESULT QueryInterface(const com::IID& iid, void** out) override {
        if (iid == com::IUnknown::iid || iid == IShellFolder2::iid) {
            *out = static_cast<IShellFolder2*>(this);
            AddRef();
            return com::S_OK;
        }
        *out = nullptr;
        return com::E_NOINTERFACE;
    }
    std::uint32_t AddRef() override { return ++refs; }
    std::uint32_t Release() override { return --refs; }
    HRESULT GetDetailsOf(PCIDL, unsigned column, SHELLDETAILS& d) override {
        if (column > 1) return com::E_FAIL;
        d.str = column == 0 ? "Title" : "Length";
        return com::S_OK;
    }
    HRESULT GetDefaultColumnState(unsigned, std::uint32_t& flags) override {
        flags = SHCOLSTATE_ONBYDEFAULT;
        return com::S_OK;
    }
    std::uint32_t refs = 0;
};

TEST(FolderDetails, AFolderPointerIsAskedThroughItsOwnColumns) {
    auto folder = std::make_shared<FolderWithColumns>();
    IShellDetails* details = GetFolderShellDetails(FolderPtr(folder));
    ASSERT_NE(details, nullptr);
    SHELLDETAILS d;
    EXPECT_EQ(details->GetDetailsOf(nullptr, 1, d), com::S_OK);
    EXPECT_EQ(d.str, "Length");
    EXPECT_EQ(details->GetDetailsOf(nullptr, 2, d), com::E_FAIL);
    EXPECT_EQ(folder->refs, 1u);  // the adapter holds it
    details->Release();
    EXPECT_EQ(folder->refs, 0u);
    // The namespace's own folders have no columns of their own.
    EXPECT_EQ(GetFolderShellDetails(shell::desktop_folder()), nullptr);
}

}  // namespace
}  // namespace shellctl
