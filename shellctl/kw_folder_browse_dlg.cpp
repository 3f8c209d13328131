#include "shellctl/kw_folder_browse_dlg.h"

#include <algorithm>

#include "platform/forms/application.h"
#include "platform/shell/shell.h"
#include "shellctl/kw_sh_consts.h"

namespace shellctl {

namespace forms = platform::forms;
namespace shell = platform::shell;
using forms::Rect;

// ---- TKwDialog ------------------------------------------------------------------------------------------

bool TKwDialog::Execute() {
    if (executing_) throw Exception(std::string(class_name()) + " already executing");
    executing_ = true;
    bool result = false;
    try {
        result = DoModalRun();
    } catch (...) {
        executing_ = false;
        throw;
    }
    executing_ = false;
    return result;
}

void TKwDialog::WriteFormState(std::vector<std::uint8_t>& out) const {
    for (int v : {FormWidth, FormHeight}) {
        const auto u = static_cast<std::uint32_t>(v);
        for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(u >> shift));
    }
    out.push_back(static_cast<std::uint8_t>(FormWindowState));
}

bool TKwDialog::ReadFormState(const std::uint8_t* data, std::size_t size) {
    if (!data || size < 9 || data[8] > static_cast<std::uint8_t>(TWindowState::wsMaximized)) return false;
    auto word = [&](int at) {
        std::uint32_t u = 0;
        for (int i = 0; i < 4; ++i) u |= static_cast<std::uint32_t>(data[at + i]) << (8 * i);
        return static_cast<std::int32_t>(u);
    };
    FormWidth = word(0);
    FormHeight = word(4);
    FormWindowState = static_cast<TWindowState>(data[8]);
    return true;
}

// ---- the form ---------------------------------------------------------------------------------------------

TKwFrmFolderBrowseDlg::TKwFrmFolderBrowseDlg() : forms::Form("TKwFrmFolderBrowseDlg") {
    Name = "KwFrmFolderBrowseDlg";
    Left = 658;
    Top = 400;
    BorderStyle = forms::FormBorderStyle::sizeable;
    BorderIcons.system_menu = true;
    BorderIcons.maximize = true;
    BorderIcons.minimize = false;
    Color = forms::clBtnFace;
    Font.Name = "MS Sans Serif";
    Font.Height = -11;
    Position = forms::FormPosition::screen_center;

    CreateNewFolderBtn = add<forms::SpeedButton>("CreateNewFolderBtn");
    CreateNewFolderBtn->SetBounds(295, 3, 23, 22);
    CreateNewFolderBtn->Hint = "Create New Folder|Create a new folder here";
    CreateNewFolderBtn->Glyph = "KwFrmFolderBrowseDlg.CreateNewFolderBtn";
    CreateNewFolderBtn->NumGlyphs = 2;
    CreateNewFolderBtn->ShowHint = true;
    CreateNewFolderBtn->OnClick = [this](forms::Component&) { CreateBtnClick(); };
    DeleteFolderBtn = add<forms::SpeedButton>("DeleteFolderBtn");
    DeleteFolderBtn->SetBounds(325, 3, 23, 22);
    DeleteFolderBtn->Hint = "Delete|Deletes the selected item(s).";
    DeleteFolderBtn->Glyph = "KwFrmFolderBrowseDlg.DeleteFolderBtn";
    DeleteFolderBtn->ShowHint = true;
    DeleteFolderBtn->OnClick = [this](forms::Component&) { DeleteBtnClick(); };
    StatusTxt = add<TKwFrame>("StatusTxt");
    StatusTxt->SetBounds(8, 8, 281, 17);
    StatusTxt->SetAlignment(forms::Alignment::left);
    StatusTxt->SetFrameSpace(0);
    StatusTxt->SetFrameStyle(TKwFrameStyle::kwfsNone);
    StatusTxt->SetCaption("StatusTxt");
    KwShellTree1 = add<TKwShellTree>("KwShellTree1");
    KwShellTree1->SetBounds(8, 28, 341, 245);
    KwShellTree1->SetOptions(option_bit(kwstoVirtualFolders) | option_bit(kwstoDesignInteractive) |
                             option_bit(kwstoContextMenus) | option_bit(kwstoDynamicRefresh));
    KwShellTree1->ShowRoot = true;
    KwShellTree1->HideSelection = false;
    KwShellTree1->Indent = 19;
    KwShellTree1->TabOrder = 0;
    KwShellTree1->OnChange = [this](forms::Component& sender, forms::TreeNode* node) {
        KwShellTree1Change(sender, node);
    };
    ButtonPanel = add<forms::Panel>("ButtonPanel");
    ButtonPanel->SetBounds(0, 278, 358, 35);
    ButtonPanel->BevelOuter = forms::BevelStyle::none;
    ButtonPanel->TabOrder = 1;
    OkBtn = add<forms::Button>("OkBtn", ButtonPanel);
    OkBtn->SetBounds(12, 6, 75, 23);
    OkBtn->Caption = "OK";
    OkBtn->Default = true;
    OkBtn->modal_result = forms::mr_ok;
    OkBtn->TabOrder = 0;
    CancelBtn = add<forms::Button>("CancelBtn", ButtonPanel);
    CancelBtn->SetBounds(92, 6, 75, 23);
    CancelBtn->Caption = "Cancel";
    CancelBtn->Cancel = true;
    CancelBtn->modal_result = forms::mr_cancel;
    CancelBtn->TabOrder = 1;
    // Only Cancel answers Escape: a person pressing Escape never creates or deletes a folder.
    CreateBtn = add<forms::Button>("CreateBtn", ButtonPanel);
    CreateBtn->SetBounds(186, 6, 75, 23);
    CreateBtn->Caption = "&Create...";
    CreateBtn->TabOrder = 2;
    CreateBtn->OnClick = [this](forms::Component&) { CreateBtnClick(); };
    DeleteBtn = add<forms::Button>("DeleteBtn", ButtonPanel);
    DeleteBtn->SetBounds(266, 6, 75, 23);
    DeleteBtn->Caption = "&Delete...";
    DeleteBtn->TabOrder = 3;
    DeleteBtn->OnClick = [this](forms::Component&) { DeleteBtnClick(); };
    SizeGrip = add<TKwSizeGrip>("SizeGrip");

    SetFormSize(358 + FrameWidth, 313 + FrameHeight);
    OnShow = [this](forms::Component&) { FormShow(); };
    OnHide = [this](forms::Component&) {
        if (OnFormClose) OnFormClose(*this);
    };
    OnResize = [this](forms::Component&) { FormResize(); };
}

void TKwFrmFolderBrowseDlg::ApplyClientSize(int width, int height) {
    ClientWidth = width;
    ClientHeight = height;
    // The button panel keeps to the bottom.
    ButtonPanel->SetBounds(0, ClientHeight - ButtonPanel->Height, ClientWidth, ButtonPanel->Height);
    if (OnResize) OnResize(*this);
}

void TKwFrmFolderBrowseDlg::SetFormSize(int width, int height) {
    Width = width;
    Height = height;
    if (WindowState == TWindowState::wsNormal) normal_ = {Left, Top, Left + width, Top + height};
    ApplyClientSize(width - FrameWidth, height - FrameHeight);
}

void TKwFrmFolderBrowseDlg::resize_by_person(int width, int height) {
    SetFormSize(std::max(width, MinTrackWidth), std::max(height, MinTrackHeight));
}

void TKwFrmFolderBrowseDlg::SetWindowState(TWindowState state) {
    if (state == WindowState) return;
    const Rect normal = normal_;
    WindowState = state;
    if (state == TWindowState::wsMaximized) {
        const auto& screen = forms::screen();
        Width = screen.Width;
        Height = screen.Height;
        ApplyClientSize(Width - FrameWidth, Height - FrameHeight);
    } else if (state == TWindowState::wsNormal) {
        SetFormSize(normal.width(), normal.height());
    }
    normal_ = normal;
}

void TKwFrmFolderBrowseDlg::FormShow() {
    Font.Name = LoadStr(sKwDialogFontName);
    KwShellTree1->SetOptions(KwShellTree1->Options() | option_bit(kwstoAutoFill));
    KwShellTree1->FillRoot();
    OkBtn->Caption = LoadStr(sKwOK);
    CancelBtn->Caption = LoadStr(sKwCancel);
    CreateNewFolderBtn->Hint = LoadStr(sKwCreateFolderHint) + "|" + LoadStr(sKwCreateFolderLongHint);
    DeleteFolderBtn->Hint = LoadStr(sKwDeleteHint) + "|" + LoadStr(sKwDeleteLongHint);
    if (Caption.empty()) Caption = LoadStr(sKwBrowseForFolder);
    // The screen's colour depth is not known here (it reads as 0): the 8-bit glyphs, as for a
    // screen of more than 8 bits.
    CreateNewFolderBtn->Glyph = "kwbm_newfolder16_8bpp";
    DeleteFolderBtn->Glyph = "kwbm_delete16_8bpp";
    DeleteFolderBtn->NumGlyphs = 2;
    if (OnFormShow) OnFormShow(*this);
}

void TKwFrmFolderBrowseDlg::KwShellTree1Change(forms::Component&, forms::TreeNode* node) {
    TKwShTreeData* data = KwShellTree1->NodeData(node);
    if (!data) return;
    const std::string path = data->Path();
    CreateBtn->Enabled = !path.empty();
    CreateNewFolderBtn->Enabled = CreateBtn->Enabled;
    // Nothing that cannot be deleted is offered for deletion: not the first node, and not the
    // root of the file system, the home folder or a mount point either.
    const bool first = !KwShellTree1->roots().empty() && node == KwShellTree1->roots().front().get();
    const bool deletable =
        shell::attributes(data->AbsoluteIdList(), shell::SFGAO_CANDELETE) & shell::SFGAO_CANDELETE;
    DeleteBtn->Enabled = !path.empty() && !first && deletable;
    DeleteFolderBtn->Enabled = DeleteBtn->Enabled;
    if (OnSelChange) OnSelChange(*this, data->AbsoluteIdList());
}

void TKwFrmFolderBrowseDlg::CreateBtnClick() {
    KwShellTree1->CreateFolderHere();
}

void TKwFrmFolderBrowseDlg::DeleteBtnClick() {
    KwShellTree1->InvokeNodeVerb(KwShellTree1->Selected, "delete");
    KwShellTree1->RefreshTree();
}

void TKwFrmFolderBrowseDlg::FormResize() {
    StatusTxt->SetBounds(StatusTxt->Left, StatusTxt->Top, Width - 24, StatusTxt->Height);
    auto* tree = KwShellTree1;
    const int tree_top = StatusTxt->Top + StatusTxt->Height + 8;
    tree->SetBounds(tree->Left, tree_top, Width - 24, ButtonPanel->Top - 8 - tree_top);
    if (Options & dialog_option_bit(kwfbCreateDeleteButtons)) {
        OkBtn->Left = tree->Left;
        CancelBtn->Left = OkBtn->Left + OkBtn->Width + 4;
    } else {
        CancelBtn->Left = ClientWidth - CancelBtn->Width - 16;
        OkBtn->Left = CancelBtn->Left - OkBtn->Width - 4;
    }
    int x = ClientWidth - 16;
    if (DeleteFolderBtn->Visible) {
        DeleteFolderBtn->SetBounds(x - DeleteFolderBtn->Width, DeleteFolderBtn->Top, DeleteFolderBtn->Width,
                                   DeleteFolderBtn->Height);
        x = DeleteFolderBtn->Left - 8;
    }
    if (CreateNewFolderBtn->Visible) {
        CreateNewFolderBtn->SetBounds(x - CreateNewFolderBtn->Width, CreateNewFolderBtn->Top,
                                      CreateNewFolderBtn->Width, CreateNewFolderBtn->Height);
        x = CreateNewFolderBtn->Left - 4;
    }
    StatusTxt->SetBounds(StatusTxt->Left, StatusTxt->Top, x - StatusTxt->Left, StatusTxt->Height);
    SizeGrip->SetBounds(ClientWidth - 13, ClientHeight - 13, 13, 13);
}

// ---- the dialog
// ----------------------------------------------------------------------------------------------

TKwCustomFolderBrowseDlg::~TKwCustomFolderBrowseDlg() = default;

bool TKwCustomFolderBrowseDlg::DoModalRun() {
    if (form_) throw Exception("TKwFolderBrowseDlg form already active");
    auto& screen = forms::screen();
    const forms::Cursor saved = screen.Cursor;
    screen.Cursor = forms::Cursor::hour_glass;
    forms::FormPtr<TKwFrmFolderBrowseDlg> form;
    // The form is freed and the cursor restored also when something raises.
    struct Cleanup {
        TKwCustomFolderBrowseDlg& dialog;
        forms::FormPtr<TKwFrmFolderBrowseDlg>& form;
        forms::Cursor cursor;
        ~Cleanup() {
            form.reset();
            dialog.form_ = nullptr;
            forms::screen().Cursor = cursor;
        }
    } cleanup{*this, form, saved};
    form = forms::make_form<TKwFrmFolderBrowseDlg>();
    ConfigureForm(*form);
    form_ = form.get();
    DoInitialized();
    // The person chooses with the ordinary pointer: the hourglass covers only the preparation.
    screen.Cursor = saved;
    const forms::ModalResult result = form->ShowModal();
    StoreBack(*form);
    return result == forms::mr_ok;
}

void TKwCustomFolderBrowseDlg::ConfigureForm(TKwFrmFolderBrowseDlg& form) {
    TKwShellTree& tree = *form.KwShellTree1;
    form.OnSelChange = OnSelChange;
    form.OnFormShow = OnFormShow;
    form.OnFormClose = OnFormClose;
    tree.OnAddItem = OnAddItem;
    tree.OnCustomDrawSh = OnTvCustomDrawSh;
    tree.OnCustomDrawShEx = OnTvCustomDrawShEx;
    form.StatusTxt->SetCaption(StatusText);
    form.SetFormSize(FormWidth > 0 ? FormWidth : form.Width, FormHeight > 0 ? FormHeight : form.Height);
    form.SetWindowState(FormWindowState);
    form.Caption = Title.empty() ? LoadStr(sKwBrowseForFolder) : Title;
    form.Options = Options;
    const auto has = [&](TKwFolderBrowseDlgOption o) { return (Options & dialog_option_bit(o)) != 0; };
    form.CreateBtn->Visible = has(kwfbCreateDeleteButtons);
    form.DeleteBtn->Visible = has(kwfbCreateDeleteButtons);
    form.CreateNewFolderBtn->Visible = has(kwfbCreateFolderIcon);
    form.DeleteFolderBtn->Visible = has(kwfbDeleteFolderIcon);
    tree.ReadOnly = has(kwfbReadOnly);
    TKwShellTreeOptions o = tree.Options();
    const auto map = [&](TKwFolderBrowseDlgOption from, TKwShellTreeOption to) {
        o = has(from) ? static_cast<TKwShellTreeOptions>(o | option_bit(to))
                      : static_cast<TKwShellTreeOptions>(o & ~option_bit(to));
    };
    map(kwfbContextMenus, kwstoContextMenus);
    map(kwfbIncludeNonFolders, kwstoIncludeNonFolders);
    map(kwfbOleDrag, kwstoOleDrag);
    map(kwfbOleDrop, kwstoOleDrop);
    map(kwfbVirtualFolders, kwstoVirtualFolders);
    map(kwfbShowHidden, kwstoShowHidden);
    tree.SetOptions(o);
    form.FormResize();
    tree.SetBaseFolder(base_folder_);
    tree.AssignSelection(selected_);
}

void TKwCustomFolderBrowseDlg::StoreBack(TKwFrmFolderBrowseDlg& form) {
    const Rect normal = form.NormalBounds();
    FormWidth = normal.width();
    FormHeight = normal.height();
    FormWindowState = form.WindowState;
    if (form.modal_result == forms::mr_ok) selected_.Assign(&form.KwShellTree1->SelectionLocator());
}

}  // namespace shellctl
