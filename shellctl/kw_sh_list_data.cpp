#include "shellctl/kw_sh_list_data.h"

#include "platform/shell/mounts.h"
#include "shellctl/kw_shell_list.h"
#include "shellctl/kw_shell_ops.h"

namespace shellctl {

namespace shell = platform::shell;
namespace com = platform::com;

namespace {

constexpr std::uint32_t list_attribute_mask = 0x700F0037;

}  // namespace

TKwShListData::TKwShListData(TKwCustomShellList* list, PIDL relative) : list_(list), relative_(relative) {}

TKwShListData::~TKwShListData() {
    ShellFree(absolute_);
    ShellFree(relative_);
}

PCIDL TKwShListData::AbsoluteIdList() {
    if (!absolute_) absolute_ = ConcatIdLists(nullptr, list_->FolderIdList(), relative_);
    return absolute_;
}

std::string TKwShListData::Path() {
    return IdListToPath(AbsoluteIdList());
}

std::uint32_t TKwShListData::Attributes() {
    const FolderPtr folder = list_->CurrentFolder();
    if (!folder || !relative_) return 0;
    std::uint32_t mask = list_attribute_mask;
    const std::string path = Path();
    if (PathBeyondRoot(path)) {
        // Asking whether a file on a removable medium is read-only can wake the drive.
        if (const shell::Mount* m = shell::mount_of(path);
            m && shell::drive_type(*m) == shell::DriveType::removable)
            mask &= ~shell::SFGAO_READONLY;
    }
    return folder->attributes_of(relative_, mask);
}

bool TKwShListData::IsShortcut() {
    const std::string path = Path();
    return !path.empty() && shell::is_shortcut(path);
}

const std::string& TKwShListData::DisplayName() {
    if (display_name_.empty()) {
        const FolderPtr folder = list_->CurrentFolder();
        display_name_ = folder ? folder->display_name_of(relative_, shell::SHGDN_NORMAL) : std::string{};
    }
    return display_name_;
}

std::string TKwShListData::DetailText(int column) {
    if (column <= 0) return {};
    if (IShellDetails* details = list_->DetailsProvider()) {
        SHELLDETAILS d;
        if (com::failed(details->GetDetailsOf(relative_, static_cast<unsigned>(column), d))) return {};
        return d.str;
    }
    if (!details_computed_) {
        const TKwItemDetails d = GetItemDetails(AbsoluteIdList(), Attributes());
        details_[0] = d.Size;
        details_[1] = d.Type;
        details_[2] = d.Date;
        details_computed_ = true;
    }
    return column <= 3 ? details_[column - 1] : std::string{};
}

void TKwShListData::SetRelative(PIDL relative) {
    ShellFree(relative_);
    relative_ = relative;
    Reset();
}

void TKwShListData::Reset() {
    ShellFree(absolute_);
    absolute_ = nullptr;
    display_name_.clear();
    details_computed_ = false;
}

}  // namespace shellctl
