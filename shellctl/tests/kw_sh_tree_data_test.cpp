// Node and item data and the tree's data object, on real temporary folders.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/shell/ole.h"
#include "shellctl/kw_sh_tree_data.h"
#include "shellctl/tests/shellctl_test_support.h"

namespace shellctl {
namespace {

namespace shell = platform::shell;
namespace com = platform::com;
using testing::TempTree;

PIDL list_of(const std::string& path) {
    PIDL list = nullptr;
    EXPECT_EQ(PathToIdList(path, list), com::S_OK) << path;
    return list;
}

// A chain of node data from a top-level node at `base` down through `names`.
struct Chain {
    Chain(const std::string& base, const std::vector<std::string>& names) {
        PIDL top = list_of(base);
        nodes.push_back(std::make_unique<TKwShTreeData>());
        nodes.back()->Init(nullptr, top);
        ShellFree(top);
        for (const auto& name : names) {
            shell::IdList item = shell::make_item(shell::ItemKind::child, name);
            auto* parent = nodes.back().get();
            nodes.push_back(std::make_unique<TKwShTreeData>());
            nodes.back()->Init(parent, item.data());
        }
    }
    TKwShTreeData& at(std::size_t i) { return *nodes.at(i); }
    std::vector<std::unique_ptr<TKwShTreeData>> nodes;
};

TEST_F(TempTree, NodeDataBuildsPathsAndARenamedFolderRebuildsItsChildren) {
    make_dir("base/a/b");
    Chain chain(at("base"), {"a", "b"});
    EXPECT_EQ(chain.at(2).Path(), at("base/a/b"));
    EXPECT_EQ(chain.at(0).Path(), at("base"));
    ASSERT_NE(chain.at(1).OwnFolder(), nullptr);

    // The folder is renamed through its parent folder, as the tree does.
    shell::IdList renamed;
    ASSERT_EQ(chain.at(1).ParentFolder()->set_name_of(chain.at(1).RelativeIdList(), "c", renamed), com::S_OK);
    chain.at(1).ReplaceRelative(renamed.data());
    chain.at(2).Invalidate();
    EXPECT_EQ(chain.at(1).Path(), at("base/c"));
    EXPECT_EQ(chain.at(2).Path(), at("base/c/b"));
    ASSERT_NE(chain.at(2).OwnFolder(), nullptr);
    EXPECT_EQ(chain.at(2).OwnFolder()->path(), at("base/c/b"));
}

TEST_F(TempTree, NodeDataPathsHaveNoLengthLimit) {
    std::string rel = "deep";
    std::vector<std::string> names;
    for (int i = 0; i < 30; ++i) names.push_back("level_with_a_long_name_" + std::to_string(i));
    for (const auto& n : names) rel += "/" + n;
    make_dir(rel);
    Chain chain(at("deep"), names);
    const std::string path = chain.nodes.back()->Path();
    EXPECT_GT(path.size(), 700u);
    EXPECT_EQ(path, at(rel));
}

TEST_F(TempTree, TheRootAndVirtualNodesHaveNoPathAndCannotBeRenamed) {
    TKwShTreeData root;
    root.Init(nullptr, nullptr);
    EXPECT_EQ(root.Path(), "");
    EXPECT_FALSE(root.CanRename());
    ASSERT_NE(root.OwnFolder(), nullptr);  // the desktop
    PIDL computer = nullptr;
    ASSERT_EQ(GetSpecialFolderIdList(0, shell::CSIDL_DRIVES, computer), com::S_OK);
    TKwShTreeData node;
    node.Init(&root, computer);
    EXPECT_EQ(node.Path(), "");
    EXPECT_FALSE(node.CanRename());
    ShellFree(computer);
    // A top-level node that is a real folder is not renamed from the tree either.
    make_dir("top");
    Chain chain(at("top"), {});
    EXPECT_FALSE(chain.at(0).CanRename());
}

TEST_F(TempTree, CanRenameAsksTheParentFolderAndAGoneItemCannot) {
    make_dir("base/a");
    Chain chain(at("base"), {"a", "missing"});
    EXPECT_TRUE(chain.at(1).CanRename());
    EXPECT_FALSE(chain.at(2).CanRename()) << "an item its folder cannot answer for is not renamable";
}

TEST_F(TempTree, TheDataObjectOffersTheIdListArrayThenTheFileNames) {
    make_dir("base/a");
    Chain chain(at("base"), {"a"});
    auto data = com::ComPtr<shell::IDataObject>::share(new TDataObject_shtv(&chain.at(1)));
    shell::FORMATETC f;
    com::ComPtr<shell::IEnumFORMATETC> formats;
    ASSERT_EQ(data->EnumFormatEtc(shell::DATADIR_GET, formats.put()), com::S_OK);
    shell::FORMATETC got[3];
    std::uint32_t n = 0;
    EXPECT_EQ(formats->Next(3, got, &n), com::S_FALSE);
    ASSERT_EQ(n, 2u);
    EXPECT_EQ(got[0].cfFormat, CF_IDLIST());
    EXPECT_EQ(got[1].cfFormat, shell::CF_HDROP);

    f.cfFormat = shell::CF_HDROP;
    shell::STGMEDIUM m;
    ASSERT_EQ(data->GetData(f, m), com::S_OK);
    EXPECT_EQ(shell::parse_hdrop(m.hGlobal), std::vector<std::string>{at("base/a")});
    shell::release_stg_medium(m);

    f.cfFormat = CF_IDLIST();
    ASSERT_EQ(data->GetData(f, m), com::S_OK);
    std::vector<std::uint8_t> parent;
    std::vector<std::vector<std::uint8_t>> children;
    ASSERT_TRUE(ReadIdListArrayBlock(m.hGlobal, parent, children));
    EXPECT_EQ(IdListToPath(parent.data()), at("base"));
    ASSERT_EQ(children.size(), 1u);
    shell::release_stg_medium(m);

    f.cfFormat = 7;
    EXPECT_EQ(data->GetData(f, m), shell::DV_E_FORMATETC);
    shell::IEnumFORMATETC* none = nullptr;
    EXPECT_EQ(data->EnumFormatEtc(shell::DATADIR_SET, &none), com::E_NOTIMPL);
    EXPECT_EQ(none, nullptr);
    shell::FORMATETC canon;
    EXPECT_EQ(data->GetCanonicalFormatEtc(f, canon), com::E_NOTIMPL);
    EXPECT_EQ(data->GetDataHere(f, m), com::E_NOTIMPL);
}

TEST_F(TempTree, TheDataObjectOfTheRootIsEmptyAndAVirtualItemCarriesNoFileName) {
    TKwShTreeData root;
    root.Init(nullptr, nullptr);
    auto empty = com::ComPtr<TDataObject_shtv>::share(new TDataObject_shtv(&root));
    EXPECT_EQ(empty->Formats().Count(), 0);
    PIDL computer = nullptr;
    ASSERT_EQ(GetSpecialFolderIdList(0, shell::CSIDL_DRIVES, computer), com::S_OK);
    TKwShTreeData node;
    node.Init(&root, computer);
    ShellFree(computer);
    auto data = com::ComPtr<TDataObject_shtv>::share(new TDataObject_shtv(&node));
    ASSERT_EQ(data->Formats().Count(), 1);
    EXPECT_EQ(data->Formats().Items(0).cfFormat, CF_IDLIST());
}

TEST_F(TempTree, TheDataObjectsAnswerAsObjectsWithoutAdviseSupport) {
    TKwShTreeData root;
    root.Init(nullptr, nullptr);
    auto data = com::ComPtr<TDataObject_shtv>::share(new TDataObject_shtv(&root));
    std::uint32_t connection = 77;
    EXPECT_EQ(data->DAdvise(FORMATETC{}, 0, nullptr, &connection), shell::OLE_E_ADVISENOTSUPPORTED);
    EXPECT_EQ(connection, 0u);
    EXPECT_EQ(data->DUnadvise(1), shell::OLE_E_ADVISENOTSUPPORTED);
    com::IUnknown* advisers = data.get();
    EXPECT_EQ(data->EnumDAdvise(&advisers), shell::OLE_E_ADVISENOTSUPPORTED);
    EXPECT_EQ(advisers, nullptr);
}

}  // namespace
}  // namespace shellctl
