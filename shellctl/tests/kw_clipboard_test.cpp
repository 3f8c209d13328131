// Format lists, enumerators, the two selection blocks and the drop source.
#include <gtest/gtest.h>

#include "platform/shell/shell.h"
#include "shellctl/kw_clipboard.h"

namespace shellctl {
namespace {

namespace shell = platform::shell;
namespace com = platform::com;

// Stands in for the data object that owns a list: counts its references.
struct Owner final : TKwUnknown<shell::IDropSource> {
    HRESULT QueryContinueDrag(bool, std::uint32_t) override { return com::S_OK; }
    HRESULT GiveFeedback(std::uint32_t) override { return com::S_OK; }
};

TEST(FormatEtcList, QueryFormatRules) {
    TKwFormatEtcList list;
    list.AddFormats({CF_IDLIST(), shell::CF_HDROP});
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Items(0).cfFormat, CF_IDLIST());
    EXPECT_EQ(list.Items(1).lindex, -1);
    shell::FORMATETC f;
    f.cfFormat = shell::CF_HDROP;
    EXPECT_EQ(list.QueryFormat(f), com::S_OK);
    f.tymed = shell::TYMED_ISTREAM;
    EXPECT_EQ(list.QueryFormat(f), shell::DV_E_TYMED);
    f.tymed = shell::TYMED_HGLOBAL;
    f.dwAspect = shell::DVASPECT_ICON;
    EXPECT_EQ(list.QueryFormat(f), shell::DV_E_FORMATETC);
    f.dwAspect = shell::DVASPECT_CONTENT;
    f.cfFormat = 1;
    EXPECT_EQ(list.QueryFormat(f), shell::DV_E_FORMATETC);
    EXPECT_EQ(CF_IDLIST(), shell::register_clipboard_format("shell idlist array"));
    EXPECT_GE(CF_IDLIST(), 0xC000);
}

TEST(FormatEtcList, EnumeratorNextSkipResetCloneAndItsHoldOnTheOwner) {
    TKwFormatEtcList list;
    list.AddFormats({CF_IDLIST(), shell::CF_HDROP});
    auto* owner = new Owner;
    owner->AddRef();
    shell::IEnumFORMATETC* e = NewFormatEtcEnumerator(list, owner);
    e->AddRef();
    EXPECT_EQ(owner->ref_count(), 2u);  // the enumerator keeps the owner (and its list) alive
    shell::FORMATETC out[5];
    std::uint32_t fetched = 99;
    EXPECT_EQ(e->Next(5, out, &fetched), com::S_FALSE);
    EXPECT_EQ(fetched, 2u);
    EXPECT_EQ(out[1].cfFormat, shell::CF_HDROP);
    EXPECT_EQ(e->Next(1, out, &fetched), com::S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(e->Reset(), com::S_OK);
    EXPECT_EQ(e->Skip(3), com::S_FALSE);
    EXPECT_EQ(e->Next(1, out, nullptr), com::S_FALSE);
    e->Reset();
    EXPECT_EQ(e->Skip(2), com::S_OK);
    e->Reset();
    e->Skip(1);
    shell::IEnumFORMATETC* clone = nullptr;
    ASSERT_EQ(e->Clone(&clone), com::S_OK);
    EXPECT_EQ(clone->Next(1, out, &fetched), com::S_OK);
    EXPECT_EQ(out[0].cfFormat, shell::CF_HDROP);  // the clone starts where the original was
    EXPECT_EQ(owner->ref_count(), 3u);
    clone->Release();
    e->Release();
    EXPECT_EQ(owner->ref_count(), 1u);
    owner->Release();
}

TEST(Blocks, HDropLayoutIsByteExact) {
    GlobalBlock b;
    ASSERT_EQ(BuildHDropBlock({"/a", "/bc"}, b), com::S_OK);
    const std::vector<std::uint8_t> expected = {20, 0, 0, 0, 0, 0, 0,   0,   0, 0,   0,   0,   0, 0,
                                                0,  0, 0, 0, 0, 0, '/', 'a', 0, '/', 'b', 'c', 0, 0};
    EXPECT_EQ(*b, expected);
    EXPECT_EQ(shell::parse_hdrop(b), (std::vector<std::string>{"/a", "/bc"}));
}

TEST(Blocks, AHDropPathOfAnyLengthFitsItsBlock) {
    const std::string long_path = "/" + std::string(299, 'p');  // 300 bytes: past the old 260 per path
    GlobalBlock b;
    ASSERT_EQ(BuildHDropBlock({long_path, "/x"}, b), com::S_OK);
    EXPECT_EQ(b->size(), 20u + 301u + 3u + 1u);
    EXPECT_EQ(shell::parse_hdrop(b), (std::vector<std::string>{long_path, "/x"}));
}

TEST(Blocks, ForeignHDropBlocksAreChecked) {
    EXPECT_FALSE(shell::parse_hdrop(nullptr));
    auto b = shell::global_alloc(24);
    (*b)[0] = 200;  // offset past the end
    EXPECT_FALSE(shell::parse_hdrop(b));
    (*b)[0] = 20;
    (*b)[20] = 'x';
    (*b)[21] = 'y';
    (*b)[22] = 'z';
    (*b)[23] = 'w';  // no closing zero
    EXPECT_FALSE(shell::parse_hdrop(b));
}

TEST(Blocks, IdListArrayOfOneChildBelowTheRoot) {
    const auto child = shell::make_item(shell::ItemKind::anchor, "/");  // cb 6, list 8 bytes
    GlobalBlock b;
    ASSERT_EQ(BuildIdListArrayBlock(nullptr, {child.data()}, b), com::S_OK);
    ASSERT_EQ(b->size(), 12u + 2u + 8u);
    const std::vector<std::uint8_t> head(b->begin(), b->begin() + 14);
    EXPECT_EQ(head, (std::vector<std::uint8_t>{1, 0, 0, 0, 12, 0, 0, 0, 14, 0, 0, 0, 0, 0}));
    EXPECT_EQ(std::vector<std::uint8_t>(b->begin() + 14, b->end()), child);
    std::vector<std::uint8_t> parent;
    std::vector<std::vector<std::uint8_t>> children;
    ASSERT_TRUE(ReadIdListArrayBlock(b, parent, children));
    EXPECT_EQ(parent, shell::empty_id_list());
    ASSERT_EQ(children.size(), 1u);
    EXPECT_EQ(children[0], child);
    // A count or an offset that the block does not hold is refused.
    auto bad = CopyGlobalBlock(b);
    EXPECT_NE(bad.get(), b.get());
    (*bad)[0] = 0xFF;
    EXPECT_FALSE(ReadIdListArrayBlock(bad, parent, children));
    bad = CopyGlobalBlock(b);
    (*bad)[8] = 40;
    EXPECT_FALSE(ReadIdListArrayBlock(bad, parent, children));
    bad = CopyGlobalBlock(b);
    bad->resize(b->size() - 1);  // the child's terminator is cut off
    EXPECT_FALSE(ReadIdListArrayBlock(bad, parent, children));
}

TEST(DropSource, TheWholeMatrix) {
    using shell::MK_LBUTTON;
    using shell::MK_MBUTTON;
    using shell::MK_RBUTTON;
    auto* left = new TDropSource_shlvtv(0);
    auto* right = new TDropSource_shlvtv(1);
    auto* middle = new TDropSource_shlvtv(2);
    left->AddRef();
    right->AddRef();
    middle->AddRef();
    EXPECT_EQ(left->QueryContinueDrag(false, MK_LBUTTON), com::S_OK);
    EXPECT_EQ(left->QueryContinueDrag(false, 0), shell::DRAGDROP_S_DROP);
    EXPECT_EQ(left->QueryContinueDrag(true, MK_LBUTTON), shell::DRAGDROP_S_CANCEL);
    EXPECT_EQ(left->QueryContinueDrag(false, MK_LBUTTON | MK_RBUTTON), shell::DRAGDROP_S_CANCEL);
    EXPECT_EQ(left->QueryContinueDrag(false, MK_LBUTTON | MK_MBUTTON), shell::DRAGDROP_S_CANCEL);
    EXPECT_EQ(right->QueryContinueDrag(false, MK_RBUTTON), com::S_OK);
    EXPECT_EQ(right->QueryContinueDrag(false, MK_RBUTTON | MK_LBUTTON), shell::DRAGDROP_S_CANCEL);
    EXPECT_EQ(right->QueryContinueDrag(false, 0), shell::DRAGDROP_S_DROP);
    EXPECT_EQ(right->QueryContinueDrag(false, shell::MK_SHIFT), shell::DRAGDROP_S_DROP);
    EXPECT_EQ(middle->QueryContinueDrag(false, MK_MBUTTON), com::S_OK);
    EXPECT_EQ(middle->QueryContinueDrag(false, MK_LBUTTON), shell::DRAGDROP_S_CANCEL);
    EXPECT_EQ(left->GiveFeedback(1), shell::DRAGDROP_S_USEDEFAULTCURSORS);
    void* unk = nullptr;
    EXPECT_EQ(left->QueryInterface(shell::IEnumFORMATETC::iid, &unk), com::E_NOINTERFACE);
    EXPECT_EQ(unk, nullptr);
    left->Release();
    right->Release();
    middle->Release();
}

}  // namespace
}  // namespace shellctl
