// The shell tree and the shell list side by side as a person sees them: the tree rooted at a
// folder of methods and results, the list showing one folder in report view with its columns;
// the marks of shortcuts and shared folders, cut items dimmed, the Send To items of the context
// menu with their icons, and items whose custom drawing draws them itself.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <ctime>
#include <string>

#include "platform/forms/controls.h"
#include "platform/forms_qt/testing/form_snapshots.h"
#include "shellctl/kw_shell_list.h"
#include "shellctl/kw_shell_tree.h"
#include "shellctl/kw_shell_utils.h"
#include "shellctl/tests/shellctl_test_support.h"

namespace shellctl {
namespace {

namespace forms = platform::forms;

class ShellViewsSnapshot : public testing::TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        // The list shows modification times in local time: the same zone everywhere.
        const char* tz = std::getenv("TZ");
        saved_tz_ = tz ? tz : "";
        had_tz_ = tz != nullptr;
        setenv("TZ", "UTC", 1);
        tzset();
        platform::forms_qt::testing::qt_session();
    }
    void TearDown() override {
        form_.reset();
        forms::reset_forms_state_for_tests();
        if (had_tz_)
            setenv("TZ", saved_tz_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
        TempTree::TearDown();
    }
    // A file of `size` bytes last changed at a fixed time.
    void file_of(const std::string& relative, std::size_t size) {
        make_file(relative, std::string(size, 'x'));
        const timespec when[2] = {{1718003400, 0}, {1718003400, 0}};  // 2024-06-10 07:10 UTC
        ASSERT_EQ(::utimensat(AT_FDCWD, at(relative).c_str(), when, 0), 0);
    }
    // The shell tree at the left of `form`, `width` wide, rooted at `folder` with its root
    // expanded.
    TKwShellTree* tree_at(forms::Form& form, const std::string& folder, int width) {
        auto* tree = form.add<TKwShellTree>("tree");
        tree->SetBounds(0, 0, width, 240);
        TKwShellLocator base;
        base.SetPath(at(folder));
        tree->SetBaseFolder(base);
        if (tree->roots().empty()) tree->FillRoot();
        if (!tree->roots().empty()) tree->expand(tree->roots().front().get());
        return tree;
    }
    // A shortcut at `relative` to `target`, last changed at the same fixed time.
    void link_of(const std::string& relative, const std::string& target) {
        ASSERT_EQ(::symlink(at(target).c_str(), at(relative).c_str()), 0);
        const timespec when[2] = {{1718003400, 0}, {1718003400, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, at(relative).c_str(), when, AT_SYMLINK_NOFOLLOW), 0);
    }
    // A form of `width` x 240 with the shell list of `folder` at its right, 300 wide.
    TKwShellList* list_form(const std::string& folder, int width) {
        form_ = forms::make_form<forms::Form>();
        form_->Caption = "Methods";
        form_->ClientWidth = width;
        form_->ClientHeight = 240;
        auto* list = form_->add<TKwShellList>("list");
        list->SetBounds(width - 300, 0, 300, 240);
        list->ViewStyle = forms::ViewStyle::report;
        list->Locator().SetPath(at(folder));
        return list;
    }
    // The row showing `caption` (the list names its items only when they are shown).
    static int row_of(TKwShellList& list, const std::string& caption) {
        for (int i = 0; i < static_cast<int>(list.Items.size()); ++i)
            if (list.shown_text(i, 0) == caption) return i;
        return -1;
    }
    // The control's widget as it paints now.
    QImage painted(forms::Control& control) {
        auto* w = qobject_cast<QTreeWidget*>(
            platform::forms_qt::testing::qt_session().backend().widget_of(control));
        if (!w) return {};
        w->doItemsLayout();
        return w->viewport()->grab().toImage();
    }
    // How many pixels of `image` are `color`.
    static int pixels_of(const QImage& image, QColor color) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y) == color) ++n;
        return n;
    }
    forms::FormPtr<forms::Form> form_;
    std::string saved_tz_;
    bool had_tz_ = false;
};

// The fallback marks (no icon theme): the shared mark's body, and the shortcut mark's.
const QColor shared_mark(0xE0, 0x80, 0x20);
const QColor shortcut_mark(0xC0, 0xE0, 0xFF);

TEST_F(ShellViewsSnapshot, the_tree_and_the_list_of_a_method_folder) {
    make_dir("lab/methods/archive");
    make_dir("lab/results/2024");
    make_dir("lab/templates");
    file_of("lab/methods/gradient.zor", 4096);
    file_of("lab/methods/wash.zor", 1200);
    file_of("lab/methods/notes.txt", 300);

    auto form = forms::make_form<forms::Form>();
    form->Caption = "Methods";
    form->ClientWidth = 560;
    form->ClientHeight = 240;
    auto* tree = tree_at(*form, "lab", 180);
    ASSERT_FALSE(tree->roots().empty());

    auto* list = form->add<TKwShellList>("list");
    list->SetBounds(184, 0, 376, 240);
    list->ViewStyle = forms::ViewStyle::report;
    list->Locator().SetPath(at("lab/methods"));
    ASSERT_EQ(list->Items.size(), 4u);
    EXPECT_FORM_SNAPSHOT(*form, "shell_views");
}

// Shortcuts carry the shortcut mark on their icons in the tree and the list; an item the
// folder reports shared carries the shared mark (no folder here is shared, so a plain list
// with the system's images shows one).
TEST_F(ShellViewsSnapshot, shortcuts_and_shared_folders_carry_their_marks) {
    make_dir("lab/methods");
    file_of("lab/methods/gradient.zor", 4096);
    link_of("lab/methods/current.zor", "lab/methods/gradient.zor");
    link_of("lab/latest", "lab/methods");
    auto* list = list_form("lab/methods", 620);
    ASSERT_EQ(list->Items.size(), 2u);
    auto* tree = tree_at(*form_, "lab", 160);
    ASSERT_FALSE(tree->roots().empty());
    auto* shares = form_->add<forms::ListView>("shares");
    shares->SetBounds(164, 0, 152, 240);
    shares->ViewStyle = forms::ViewStyle::report;
    shares->Columns = {{"Name", 140}};
    shares->SmallImages = &GetSysImageList(0);
    for (const char* name : {"results", "instruments"}) {
        forms::ListItem& item = shares->add(name);
        item.ImageIndex = platform::shell::icon_folder;
        item.OverlayIndex = 0;
    }
    EXPECT_FORM_SNAPSHOT(*form_, "shell_marks");
    // One mark a shortcut: the list's link, the tree's link to a folder; two shared ones.
    EXPECT_GT(pixels_of(painted(*list), shortcut_mark), 4);
    EXPECT_GT(pixels_of(painted(*tree), shortcut_mark), 4);
    EXPECT_GT(pixels_of(painted(*shares), shared_mark), 8);
}

// A cut item shows dimmed until the clipboard holds something else; the list marks its items
// when it reads the folder.
TEST_F(ShellViewsSnapshot, a_cut_item_is_dimmed_until_the_clipboard_holds_something_else) {
    make_dir("lab/methods");
    file_of("lab/methods/gradient.zor", 4096);
    file_of("lab/methods/wash.zor", 1200);
    auto* list = list_form("lab/methods", 300);
    ASSERT_EQ(list->Items.size(), 2u);
    EXPECT_FORM_SNAPSHOT(*form_, "shell_list_plain");
    const QImage plain = painted(*list);

    list->select(row_of(*list, "wash.zor"));
    list->InvokeSelectionVerb("cut");
    list->FillList();
    const int wash = row_of(*list, "wash.zor");
    ASSERT_GE(wash, 0);
    ASSERT_TRUE(list->Items[static_cast<std::size_t>(wash)].Cut);
    EXPECT_FORM_SNAPSHOT(*form_, "shell_list_cut");
    EXPECT_NE(painted(*list), plain);

    list->select(row_of(*list, "gradient.zor"));
    list->InvokeSelectionVerb("copy");
    list->FillList();
    list->select(-1);
    EXPECT_FORM_SNAPSHOT(*form_, "shell_list_plain");
}

// The Send To submenu of an item's context menu shows each entry's name and icon.
TEST_F(ShellViewsSnapshot, the_send_to_items_of_the_context_menu_show_their_icons) {
    make_dir("lab/methods");
    file_of("lab/methods/gradient.zor", 4096);
    make_dir("backup");
    make_dir("home/.local/share/zor/SendTo");
    ASSERT_EQ(::symlink(at("backup").c_str(), (data_home_ + "/zor/SendTo/Backup").c_str()), 0);
    make_file("home/.local/share/zor/SendTo/Printer.desktop",
              "[Desktop Entry]\nType=Application\nName=Printer\nExec=true\n");
    ASSERT_EQ(::chmod((data_home_ + "/zor/SendTo/Printer.desktop").c_str(), 0755), 0);
    auto* list = list_form("lab/methods", 300);
    ASSERT_EQ(list->Items.size(), 1u);
    form_->Show();
    platform::forms_qt::testing::qt_session().backend().sync();

    QImage send_to;
    QStringList texts;
    int icons = 0;
    QTimer::singleShot(10000, qApp, [] {  // a hang guard: the menu closes, the test fails
        if (auto* m = qobject_cast<QMenu*>(QApplication::activePopupWidget())) m->close();
    });
    QTimer::singleShot(0, qApp, [&] {
        auto* top = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!top) return;
        for (QAction* a : top->actions())
            if (a->menu()) top->setActiveAction(a);  // Send To, the only submenu
        QTest::keyClick(top, Qt::Key_Right);
        QTimer::singleShot(0, qApp, [&, top] {
            auto* sub = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (sub && sub != top) {
                for (QAction* a : sub->actions()) {
                    texts << a->text();
                    icons += a->icon().isNull() ? 0 : 1;
                }
                send_to = sub->grab().toImage();
                sub->close();
            }
            top->close();
        });
    });
    list->right_click_item(0);
    EXPECT_EQ(texts, (QStringList{"Backup", "Printer"}));
    EXPECT_EQ(icons, 2);
    EXPECT_IMAGE_SNAPSHOT(send_to, "send_to_menu");
    form_->Hide();
}

}  // namespace
}  // namespace shellctl
