// The data of the shell controls' nodes and items, and the tree's objects for drag and drop:
// - TKwShTreeData: one per shell-tree node; its relative and (lazily) absolute item-ID lists,
//   its own folder and its parent folder.
// - TKwShListData: one per shell-list item; attributes, display name and detail texts.
// - TDataObject_shtv: one node offered as a "Shell IDList Array" block and a CF_HDROP block.
// - TDropTarget_shtv: forwards drops on the tree to the tree's drop steps.
//
// Item-ID lists are blocks of the shell allocator, owned by the object that holds them.
// Main thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/shell/ole.h"
#include "shellctl/kw_clipboard.h"
#include "shellctl/kw_shell_locator.h"
#include "shellctl/kw_shell_utils.h"

namespace shellctl {

class TKwCustomShellTree;

class TKwShTreeData {
  public:
    explicit TKwShTreeData(TKwCustomShellTree* tree = nullptr) : tree_(tree) {}
    ~TKwShTreeData();
    TKwShTreeData(const TKwShTreeData&) = delete;
    TKwShTreeData& operator=(const TKwShTreeData&) = delete;

    // With a parent, `list` is relative to the parent's folder. Without one (a top-level node)
    // `list` is absolute: the relative list is its last item (or the list itself when it has
    // none) and the absolute list is a copy. A null list is the root.
    void Init(TKwShTreeData* parent, PCIDL list);

    TKwCustomShellTree* Tree() const { return tree_; }
    TKwShTreeData* Parent() const { return parent_; }
    PCIDL RelativeIdList() const { return relative_; }
    // Built on demand: the parent's absolute list joined with the relative list.
    PCIDL AbsoluteIdList();

    // The parent folder says the item may be renamed; false for the root, a top-level node and
    // when the folder cannot answer.
    bool CanRename();
    // The file-system path; empty for an item outside the file system. No length limit: a path
    // of any depth is the path.
    std::string Path();
    FolderPtr ParentFolder();
    // The item as a folder (bound on first use); the root's is set by the tree.
    FolderPtr OwnFolder();
    void SetOwnFolder(FolderPtr folder) { own_folder_ = std::move(folder); }
    // After a rename: the new relative list, the absolute list rebuilt, the folder let go.
    void ReplaceRelative(PCIDL list);
    // Drops the cached absolute list and folder (every descendant of a renamed node).
    void Invalidate();
    // The drop target of the item: a folder's (or a link to one's), or a program's.
    HRESULT GetDropTarget(platform::com::ComPtr<platform::shell::IDropTarget>& target);

  private:
    TKwCustomShellTree* tree_;
    TKwShTreeData* parent_ = nullptr;
    PIDL relative_ = nullptr;
    PIDL absolute_ = nullptr;
    FolderPtr own_folder_;
    FolderPtr parent_folder_;  // top-level nodes only
};

// ---- drag and drop ------------------------------------------------------------------------------

// One node for the clipboard verbs, drags and Send To: "Shell IDList Array" first, then
// CF_HDROP, both built at creation. A node without a parent node (the tree's root) offers no
// format; CF_HDROP is offered only for an item in the file system.
class TDataObject_shtv final : public TKwShellItemsDataObject {
  public:
    explicit TDataObject_shtv(TKwShTreeData* node);

  private:
    ~TDataObject_shtv() override = default;
};

// The tree's drop target: each call goes to the tree's drop step of the same name.
class TDropTarget_shtv final : public TKwUnknown<platform::shell::IDropTarget> {
  public:
    explicit TDropTarget_shtv(TKwCustomShellTree* tree) : tree_(tree) {}
    HRESULT DragEnter(platform::shell::IDataObject* data, std::uint32_t keys, platform::shell::POINTL pt,
                      std::uint32_t* effect) override;
    HRESULT DragOver(std::uint32_t keys, platform::shell::POINTL pt, std::uint32_t* effect) override;
    HRESULT DragLeave() override;
    HRESULT Drop(platform::shell::IDataObject* data, std::uint32_t keys, platform::shell::POINTL pt,
                 std::uint32_t* effect) override;

  private:
    ~TDropTarget_shtv() override = default;
    TKwCustomShellTree* tree_;
};

}  // namespace shellctl
