// The folder-browse dialog: a component that lets a person pick one folder from a shell tree in
// a resizable modal form with OK, Cancel, new-folder and delete buttons and a status line.
//
// The road a caller takes: SetSelectedPath(current folder), Execute() (true on OK), then
// GetSelectedPath() (empty when the chosen node has no file-system path, Computer say). The
// selected folder changes only on OK; the form's size and window state carry over from one run
// to the next. Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/forms/common_controls.h"
#include "platform/forms/form.h"
#include "platform/forms/standard_controls.h"
#include "shellctl/kw_frame.h"
#include "shellctl/kw_shell_tree.h"

namespace shellctl {

enum class TWindowState : std::uint8_t { wsNormal = 0, wsMinimized = 1, wsMaximized = 2 };

// The base of the controls' dialogs: Execute runs the steps below, which descendants replace.
class TKwDialog : public platform::forms::Component {
  public:
    FORMS_CLASS_NAME("TKwDialog")
    int FormWidth = -1;
    int FormHeight = -1;
    TWindowState FormWindowState = TWindowState::wsNormal;
    platform::forms::NotifyEvent OnInitialized;

    // True when the person pressed OK. A second Execute during a run raises "<class name>
    // already executing".
    bool Execute();
    // The form state as 4 bytes width, 4 bytes height and 1 byte window state, little-endian.
    void WriteFormState(std::vector<std::uint8_t>& out) const;
    // Reads what WriteFormState wrote; false (nothing changed) for fewer than 9 bytes or an
    // unknown window state.
    bool ReadFormState(const std::uint8_t* data, std::size_t size);

  protected:
    virtual bool DoModalRun() = 0;
    virtual void DoInitialized() { FireNotify(OnInitialized); }

    void FireNotify(const platform::forms::NotifyEvent& event) {
        if (event) event(*this);
    }

  private:
    bool executing_ = false;
};

enum TKwFolderBrowseDlgOption : int {
    kwfbCreateDeleteButtons = 0,
    kwfbContextMenus = 1,
    kwfbReadOnly = 2,
    kwfbIncludeNonFolders = 3,
    kwfbOleDrag = 4,
    kwfbOleDrop = 5,
    kwfbCreateFolderIcon = 6,
    kwfbDeleteFolderIcon = 7,
    kwfbVirtualFolders = 8,
    kwfbShowHidden = 9,
};
using TKwFolderBrowseDlgOptions = std::uint16_t;
inline constexpr TKwFolderBrowseDlgOptions dialog_option_bit(TKwFolderBrowseDlgOption o) {
    return static_cast<TKwFolderBrowseDlgOptions>(1u << o);
}
inline constexpr TKwFolderBrowseDlgOptions kwfbDefaultOptions = 706;

using TKwFolderBrowseSelChangeEvent =
    std::function<void(platform::forms::Component& sender, PCIDL new_selection)>;

// The size grip in the bottom-right corner.
class TKwSizeGrip : public platform::forms::SizeGrip {
  public:
    std::uint32_t Style = 0x56000010;  // child, visible, clip siblings and children, size grip
};

class TKwFrmFolderBrowseDlg : public platform::forms::Form {
  public:
    TKwFrmFolderBrowseDlg();

    platform::forms::SpeedButton* CreateNewFolderBtn;
    platform::forms::SpeedButton* DeleteFolderBtn;
    TKwFrame* StatusTxt;
    TKwShellTree* KwShellTree1;
    platform::forms::Panel* ButtonPanel;
    platform::forms::Button* OkBtn;
    platform::forms::Button* CancelBtn;
    platform::forms::Button* CreateBtn;
    platform::forms::Button* DeleteBtn;
    TKwSizeGrip* SizeGrip;

    // The dialog's options and events, handed over before the form shows.
    TKwFolderBrowseDlgOptions Options = kwfbDefaultOptions;
    TKwFolderBrowseSelChangeEvent OnSelChange;
    platform::forms::NotifyEvent OnFormShow;
    platform::forms::NotifyEvent OnFormClose;

    // The window: its state and its size in the normal (restored) state.
    TWindowState WindowState = TWindowState::wsNormal;
    platform::forms::Rect NormalBounds() const { return normal_; }
    // The whole window's size; the client area is the window less its frame.
    void SetFormSize(int width, int height);
    // A person dragging the window's frame: the window never gets smaller than 366 x 340.
    void resize_by_person(int width, int height) override;
    platform::forms::Point min_track_size() const override { return {MinTrackWidth, MinTrackHeight}; }
    void SetWindowState(TWindowState state);
    static constexpr int MinTrackWidth = 366;
    static constexpr int MinTrackHeight = 340;
    static constexpr int FrameWidth = 8;    // both side borders
    static constexpr int FrameHeight = 27;  // caption and borders

    // The form's handlers.
    void KwShellTree1Change(platform::forms::Component& sender, platform::forms::TreeNode* node);
    void CreateBtnClick();
    void DeleteBtnClick();
    void FormResize();

  private:
    void FormShow();
    void ApplyClientSize(int width, int height);
    platform::forms::Rect normal_;
};

class TKwCustomFolderBrowseDlg : public TKwDialog {
  public:
    TKwCustomFolderBrowseDlg() = default;
    ~TKwCustomFolderBrowseDlg() override;

    std::string Title;
    std::string StatusText;
    TKwFolderBrowseDlgOptions Options = kwfbDefaultOptions;
    TKwShellLocator& BaseFolder() { return base_folder_; }
    void SetBaseFolder(const TKwShellLocator& folder) { base_folder_.Assign(&folder); }
    TKwShellLocator& SelectedFolder() { return selected_; }
    std::string GetSelectedPath() { return selected_.Path(); }
    void SetSelectedPath(const std::string& path) { selected_.SetPath(path); }

    TKwCustomShellTree::AddItemEvent OnAddItem;
    platform::forms::NotifyEvent OnFormClose;
    platform::forms::NotifyEvent OnFormShow;
    TKwFolderBrowseSelChangeEvent OnSelChange;
    TKwCustomShellTree::ShCustomDrawEvent OnTvCustomDrawSh;
    TKwCustomShellTree::ShCustomDrawEvent OnTvCustomDrawShEx;

    // The live form during Execute, else nullptr.
    TKwFrmFolderBrowseDlg* Form() const { return form_; }

  protected:
    bool DoModalRun() override;
    virtual void ConfigureForm(TKwFrmFolderBrowseDlg& form);
    virtual void StoreBack(TKwFrmFolderBrowseDlg& form);

  private:
    TKwFrmFolderBrowseDlg* form_ = nullptr;
    TKwShellLocator selected_;
    TKwShellLocator base_folder_;
};

class TKwFolderBrowseDlg : public TKwCustomFolderBrowseDlg {
  public:
    FORMS_CLASS_NAME("TKwFolderBrowseDlg")
};

}  // namespace shellctl
