// The folder-browse dialog run as a person runs it: the form's layout and texts, choosing a
// folder, Cancel, the size carried between runs, the buttons that make and delete folders.
#include <filesystem>
#include <fstream>

#include "platform/forms/application.h"
#include "platform/forms/interaction.h"
#include "shellctl/kw_folder_browse_dlg.h"
#include "shellctl/kw_shell_ops.h"
#include "shellctl/tests/shellctl_test_support.h"

namespace shellctl {
namespace {

namespace forms = platform::forms;
namespace shell = platform::shell;
namespace fs = std::filesystem;
using Node = forms::TreeNode;
using testing::TempTree;

Node* child_named(const Node* node, const std::string& text) {
    if (!node) return nullptr;
    for (const auto& c : node->children())
        if (c->Text == text) return c.get();
    return nullptr;
}

class FolderBrowse : public TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        boxes_ = std::make_unique<forms::ScriptedInteraction>();
        saved_sleep_ = SetSleepFunction([](unsigned) {});
        make_dir("base/a/b");
        make_dir("base/a/c");
    }
    void TearDown() override {
        SetSleepFunction(saved_sleep_);
        boxes_.reset();
        TempTree::TearDown();
    }
    // Runs the dialog; `act` is the person at the form.
    bool run(TKwFolderBrowseDlg& dialog, std::function<void(TKwFrmFolderBrowseDlg&)> act) {
        boxes_->on_next_form([act](forms::Form& f) { act(dynamic_cast<TKwFrmFolderBrowseDlg&>(f)); });
        return dialog.Execute();
    }
    std::unique_ptr<forms::ScriptedInteraction> boxes_;
    SleepFunction saved_sleep_;
};

TEST_F(FolderBrowse, TheFormWithItsDefaults) {
    TKwFolderBrowseDlg dialog;
    bool seen = false;
    run(dialog, [&](TKwFrmFolderBrowseDlg& form) {
        seen = true;
        EXPECT_EQ(form.Caption, "Browse for Folder");
        EXPECT_EQ(form.Font.Name, "MS Sans Serif");
        EXPECT_EQ(form.ClientWidth, 358);
        EXPECT_EQ(form.ClientHeight, 313);
        const auto& tree = *form.KwShellTree1;
        EXPECT_EQ(tree.Options(), option_bit(kwstoAutoFill) | option_bit(kwstoDesignInteractive) |
                                      option_bit(kwstoContextMenus) | option_bit(kwstoDynamicRefresh) |
                                      option_bit(kwstoShowHidden));
        EXPECT_FALSE(tree.ReadOnly);
        EXPECT_FALSE(form.CreateBtn->Visible);
        EXPECT_FALSE(form.DeleteBtn->Visible);
        EXPECT_TRUE(form.CreateNewFolderBtn->Visible);
        EXPECT_TRUE(form.DeleteFolderBtn->Visible);
        // OK and Cancel at the right, the icon buttons at the top right, the status line before them.
        EXPECT_EQ(form.CancelBtn->Left, 358 - 75 - 16);
        EXPECT_EQ(form.OkBtn->Left, 358 - 75 - 16 - 4 - 75);
        EXPECT_EQ(form.DeleteFolderBtn->Left + form.DeleteFolderBtn->Width, 342);
        EXPECT_EQ(form.CreateNewFolderBtn->Left + form.CreateNewFolderBtn->Width,
                  form.DeleteFolderBtn->Left - 8);
        EXPECT_EQ(form.StatusTxt->Left + form.StatusTxt->Width, form.CreateNewFolderBtn->Left - 4);
        EXPECT_EQ(form.SizeGrip->BoundsRect(), (forms::Rect{345, 300, 358, 313}));
        EXPECT_EQ(form.KwShellTree1->Top, form.StatusTxt->Top + form.StatusTxt->Height + 8);
        EXPECT_EQ(form.KwShellTree1->Top + form.KwShellTree1->Height, form.ButtonPanel->Top - 8);
        EXPECT_EQ(form.OkBtn->Caption, "OK");
        EXPECT_EQ(form.CancelBtn->Caption, "Cancel");
        EXPECT_EQ(form.CreateNewFolderBtn->Hint, "Create Folder|Creates a new, empty folder.");
        EXPECT_EQ(form.DeleteFolderBtn->Hint, "Delete|Deletes the selected items.");
        EXPECT_EQ(form.DeleteFolderBtn->Glyph, "kwbm_delete16_8bpp");
        EXPECT_EQ(form.DeleteFolderBtn->NumGlyphs, 2);
        form.CancelBtn->click();
    });
    EXPECT_TRUE(seen);
    EXPECT_EQ(dialog.Form(), nullptr);
}

TEST_F(FolderBrowse, OpensAtTheSelectedFolderAndReturnsTheOneChosen) {
    TKwFolderBrowseDlg dialog;
    dialog.SetSelectedPath(at("base/a/b"));
    const bool ok = run(dialog, [&](TKwFrmFolderBrowseDlg& form) {
        auto& tree = *form.KwShellTree1;
        ASSERT_NE(tree.Selected, nullptr);
        EXPECT_EQ(tree.Selected->Text, "b");
        EXPECT_EQ(tree.SelectedPath(), at("base/a/b"));
        tree.ClickNode(child_named(tree.Selected->parent(), "c"));
        form.OkBtn->click();
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(dialog.GetSelectedPath(), at("base/a/c"));
}

TEST_F(FolderBrowse, CancelKeepsTheFolderButTheSizeAndStateCarryOver) {
    TKwFolderBrowseDlg dialog;
    dialog.SetSelectedPath(at("base/a/b"));
    const bool ok = run(dialog, [&](TKwFrmFolderBrowseDlg& form) {
        form.KwShellTree1->ClickNode(form.KwShellTree1->Selected->parent());
        form.resize_by_person(500, 450);
        EXPECT_EQ(form.ClientWidth, 500 - TKwFrmFolderBrowseDlg::FrameWidth);
        form.SetWindowState(TWindowState::wsMaximized);
        form.press_escape();
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(dialog.GetSelectedPath(), at("base/a/b"));
    EXPECT_EQ(dialog.FormWidth, 500) << "the restored size, not the maximized one";
    EXPECT_EQ(dialog.FormHeight, 450);
    EXPECT_EQ(dialog.FormWindowState, TWindowState::wsMaximized);
    run(dialog, [&](TKwFrmFolderBrowseDlg& form) {
        EXPECT_EQ(form.WindowState, TWindowState::wsMaximized);
        EXPECT_EQ(form.NormalBounds().width(), 500);
        form.SetWindowState(TWindowState::wsNormal);
        EXPECT_EQ(form.Width, 500);
        form.CancelBtn->click();
    });
}

TEST_F(FolderBrowse, TheFormIsNeverSmallerThanItsMinimum) {
    TKwFolderBrowseDlg dialog;
    run(dialog, [&](TKwFrmFolderBrowseDlg& form) {
        form.resize_by_person(100, 100);
        EXPECT_EQ(form.Width, 366);
        EXPECT_EQ(form.Height, 340);
        form.CancelBtn->click();
    });
}

TEST_F(FolderBrowse, AnEmptyOrUnknownStartSelectsTheDesktopAndOkGivesNoPath) {
    for (const std::string& start : {std::string{}, at("no/such/folder")}) {
        TKwFolderBrowseDlg dialog;
        dialog.SetSelectedPath(start);
        const bool ok = run(dialog, [&](TKwFrmFolderBrowseDlg& form) {
            auto& tree = *form.KwShellTree1;
            ASSERT_FALSE(tree.roots().empty());
            EXPECT_EQ(tree.Selected, tree.roots().front().get());
            EXPECT_EQ(tree.Selected->Text, "Desktop");
            form.OkBtn->click();
        });
        EXPECT_TRUE(ok);
        EXPECT_EQ(dialog.GetSelectedPath(), "") << start;
    }
}

TEST_F(FolderBrowse, ComputerAndOkGivesNoPath) {
    TKwFolderBrowseDlg dialog;
    const bool ok = run(dialog, [&](TKwFrmFolderBrowseDlg& form) {
        auto& tree = *form.KwShellTree1;
        tree.ClickNode(child_named(tree.roots().front().get(), "Computer"));
        EXPECT_FALSE(form.CreateNewFolderBtn->Enabled);
        form.OkBtn->click();
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(dialog.GetSelectedPath(), "");
}

TEST_F(FolderBrowse, DeleteIsOfferedOnlyForWhatCanBeDeleted) {
    TKwFolderBrowseDlg dialog;
    dialog.Options = kwfbDefaultOptions | dialog_option_bit(kwfbCreateDeleteButtons);
    dialog.SetSelectedPath(at("base/a"));
    run(dialog, [&](TKwFrmFolderBrowseDlg& form) {
        auto& tree = *form.KwShellTree1;
        EXPECT_TRUE(form.CreateBtn->Visible);
        EXPECT_EQ(form.OkBtn->Left, tree.Left) << "with the text buttons, OK and Cancel go to the left";
        EXPECT_EQ(form.CancelBtn->Left, form.OkBtn->Left + form.OkBtn->Width + 4);
        EXPECT_EQ(tree.SelectedPath(), at("base/a"));
        EXPECT_TRUE(form.DeleteBtn->Enabled);
        EXPECT_TRUE(form.DeleteFolderBtn->Enabled);
        EXPECT_TRUE(form.CreateBtn->Enabled);
        Node* desktop = tree.roots().front().get();
        tree.ClickNode(desktop);
        EXPECT_FALSE(form.DeleteBtn->Enabled) << "the first node";
        EXPECT_FALSE(form.CreateBtn->Enabled) << "no path";
        tree.ClickNode(child_named(desktop, "Home"));
        EXPECT_TRUE(form.CreateBtn->Enabled);
        EXPECT_FALSE(form.DeleteBtn->Enabled) << "the home folder";
        EXPECT_FALSE(form.DeleteFolderBtn->Enabled);
        Node* computer = child_named(desktop, "Computer");
        tree.expand(computer);
        tree.ClickNode(child_named(computer, "File System"));
        EXPECT_FALSE(form.DeleteBtn->Enabled) << "the root of the file system";
        form.CancelBtn->click();
    });
}

TEST_F(FolderBrowse, TheButtonsMakeAndDeleteFolders) {
    TKwFolderBrowseDlg dialog;
    dialog.SetSelectedPath(at("base/a"));
    run(dialog, [&](TKwFrmFolderBrowseDlg& form) {
        auto& tree = *form.KwShellTree1;
        form.CreateNewFolderBtn->click();
        ASSERT_TRUE(tree.IsEditing());
        EXPECT_EQ(tree.EditText, "New Folder");
        tree.EditText = "Methods";
        tree.EndEdit(false);
        EXPECT_TRUE(fs::is_directory(at("base/a/Methods")));
        tree.ClickNode(child_named(tree.Selected, "Methods"));
        boxes_->answer_next_box(forms::mr_no);
        form.DeleteFolderBtn->click();
        EXPECT_TRUE(fs::is_directory(at("base/a/Methods")));
        boxes_->answer_next_box(forms::mr_yes);
        form.DeleteFolderBtn->click();
        EXPECT_FALSE(fs::exists(at("base/a/Methods")));
        EXPECT_TRUE(fs::is_directory(data_home_ + "/Trash/files/Methods"));
        EXPECT_EQ(tree.SelectedPath(), at("base/a"));
        form.OkBtn->click();
    });
    EXPECT_EQ(dialog.GetSelectedPath(), at("base/a"));
}

TEST_F(FolderBrowse, EventsFireAndASecondRunDuringTheFirstIsRefused) {
    TKwFolderBrowseDlg dialog;
    std::vector<std::string> events;
    dialog.OnInitialized = [&](forms::Component&) { events.push_back("initialized"); };
    dialog.OnFormShow = [&](forms::Component& s) {
        EXPECT_NE(dynamic_cast<TKwFrmFolderBrowseDlg*>(&s), nullptr);
        events.push_back("show");
    };
    dialog.OnFormClose = [&](forms::Component&) { events.push_back("close"); };
    dialog.OnSelChange = [&](forms::Component&, PCIDL list) {
        events.push_back("sel " + IdListToPath(list));
    };
    dialog.SetSelectedPath(at("base/a"));
    run(dialog, [&](TKwFrmFolderBrowseDlg& form) {
        try {
            dialog.Execute();
            ADD_FAILURE() << "a second run was started";
        } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), "TKwFolderBrowseDlg already executing");
        }
        form.CancelBtn->click();
    });
    // The tree opens at the folder while the form shows, before OnFormShow at the show's end.
    EXPECT_EQ(events, (std::vector<std::string>{"initialized", "sel " + at("base/a"), "show", "close"}));
}

TEST_F(FolderBrowse, ATroubleDuringTheRunFreesTheFormAndRestoresTheCursor) {
    TKwFolderBrowseDlg dialog;
    dialog.OnInitialized = [](forms::Component&) { throw Exception("no"); };
    EXPECT_THROW(dialog.Execute(), Exception);
    EXPECT_EQ(dialog.Form(), nullptr);
    EXPECT_EQ(forms::screen().Cursor, forms::Cursor::normal);
    dialog.OnInitialized = nullptr;
    run(dialog, [](TKwFrmFolderBrowseDlg& form) { form.CancelBtn->click(); });
}

TEST_F(FolderBrowse, EscapeNeverMakesOrDeletesAFolder) {
    TKwFolderBrowseDlg dialog;
    dialog.Options = kwfbDefaultOptions | dialog_option_bit(kwfbCreateDeleteButtons);
    dialog.SetSelectedPath(at("base/a"));
    const bool ok = run(dialog, [](TKwFrmFolderBrowseDlg& form) { form.press_escape(); });
    EXPECT_FALSE(ok);
    EXPECT_FALSE(fs::exists(at("base/a/New Folder")));
    EXPECT_TRUE(boxes_->boxes().empty());
}

TEST(FormState, NineBytesLittleEndian) {
    TKwFolderBrowseDlg dialog;
    dialog.FormWidth = 500;
    dialog.FormWindowState = TWindowState::wsMaximized;
    std::vector<std::uint8_t> bytes;
    dialog.WriteFormState(bytes);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0xF4, 0x01, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 2}));
    TKwFolderBrowseDlg other;
    ASSERT_TRUE(other.ReadFormState(bytes.data(), bytes.size()));
    EXPECT_EQ(other.FormWidth, 500);
    EXPECT_EQ(other.FormHeight, -1);
    EXPECT_EQ(other.FormWindowState, TWindowState::wsMaximized);
    EXPECT_FALSE(other.ReadFormState(bytes.data(), 8));
    bytes[8] = 3;
    EXPECT_FALSE(other.ReadFormState(bytes.data(), bytes.size()));
}

}  // namespace
}  // namespace shellctl
