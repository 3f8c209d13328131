#include "shellctl/kw_sh_tree_data.h"

#include "platform/shell/file_ops.h"
#include "platform/shell/mounts.h"
#include "shellctl/kw_shell_ops.h"

namespace shellctl {

namespace com = platform::com;
namespace shell = platform::shell;

namespace {

bool is_root_list(PCIDL list) {
    return !list || IdListSize(list) <= 2;
}

}  // namespace

// ---- TKwShTreeData ------------------------------------------------------------------------------

TKwShTreeData::~TKwShTreeData() {
    ShellFree(relative_);
    ShellFree(absolute_);
}

void TKwShTreeData::Init(TKwShTreeData* parent, PCIDL list) {
    parent_ = parent;
    ShellFree(relative_);
    ShellFree(absolute_);
    relative_ = absolute_ = nullptr;
    if (parent) {
        relative_ = CopyIdList(nullptr, list);
        return;
    }
    if (list) {
        TKwIdListArray items(list);
        const int n = items.Count();
        relative_ = CopyIdList(nullptr, n > 0 ? items.Item(n - 1) : list);
        absolute_ = CopyIdList(nullptr, list);
    }
}

PCIDL TKwShTreeData::AbsoluteIdList() {
    if (!absolute_) {
        if (parent_) {
            absolute_ = ConcatIdLists(nullptr, parent_->AbsoluteIdList(), relative_);
        } else if (relative_) {
            absolute_ = CopyIdList(nullptr, relative_);
        }
    }
    return absolute_;
}

bool TKwShTreeData::CanRename() {
    PCIDL absolute = AbsoluteIdList();
    if (is_root_list(absolute) || !parent_) return false;
    const FolderPtr folder = ParentFolder();
    if (!folder) return false;
    return folder->attributes_of(relative_, 0x40000177u) & shell::SFGAO_CANRENAME;
}

std::string TKwShTreeData::Path() {
    return IdListToPath(AbsoluteIdList());
}

FolderPtr TKwShTreeData::ParentFolder() {
    if (parent_) return parent_->OwnFolder();
    parent_folder_.reset();
    PIDL parent_list = nullptr, child = nullptr;
    if (com::succeeded(SplitIdList(AbsoluteIdList(), parent_folder_, parent_list, child))) {
        ShellFree(parent_list);
        ShellFree(child);
    }
    return parent_folder_;
}

FolderPtr TKwShTreeData::OwnFolder() {
    if (own_folder_) return own_folder_;
    PCIDL absolute = AbsoluteIdList();
    if (is_root_list(absolute)) {
        OleCheck(GetDesktopFolder(own_folder_));
        return own_folder_;
    }
    if (const FolderPtr parent = ParentFolder()) {
        if (com::failed(parent->bind_to_object(relative_, own_folder_))) own_folder_.reset();
    }
    return own_folder_;
}

void TKwShTreeData::ReplaceRelative(PCIDL list) {
    ShellFree(absolute_);
    ShellFree(relative_);
    absolute_ = nullptr;
    own_folder_.reset();
    relative_ = CopyIdList(nullptr, list);
    AbsoluteIdList();
}

void TKwShTreeData::Invalidate() {
    ShellFree(absolute_);
    absolute_ = nullptr;
    own_folder_.reset();
}

HRESULT TKwShTreeData::GetDropTarget(com::ComPtr<shell::IDropTarget>& target) {
    target.reset();
    const std::string path = Path();
    if (path.empty()) return com::E_NOINTERFACE;
    target = shell::drop_target_for_path(path);
    return target ? com::S_OK : com::E_NOINTERFACE;
}

// ---- TDataObject_shtv ---------------------------------------------------------------------------

TDataObject_shtv::TDataObject_shtv(TKwShTreeData* node) {
    if (!node || !node->Parent()) return;  // the root: nothing to offer
    Offer(node->Parent()->AbsoluteIdList(), {node->RelativeIdList()}, {node->Path()});
}

}  // namespace shellctl
