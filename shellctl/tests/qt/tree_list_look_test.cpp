// What the trees and lists draw reaches the screen: the colours and fonts their custom drawing
// gives per item, what a handler draws on an item itself, the sort arrow of a sorted list's
// header, and the items' images as icons.
#include <gtest/gtest.h>

#include <algorithm>

#include <QApplication>
#include <QHeaderView>
#include <QIcon>
#include <QImage>
#include <QScrollBar>
#include <QTreeWidget>
#include <QWheelEvent>

#include "platform/forms/controls.h"
#include "platform/forms_qt/testing/form_snapshots.h"
#include "shellctl/kw_shell_list.h"
#include "shellctl/kw_shell_tree.h"
#include "shellctl/kw_tree_list.h"
#include "shellctl/tests/shellctl_test_support.h"

namespace shellctl {
namespace {

namespace forms = platform::forms;
using platform::forms_qt::QtBackend;

constexpr forms::Color yellow = 0x0000FFFF;  // 0x00BBGGRR
constexpr forms::Color red = 0x000000FF;

class TreeListLook : public testing::TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        platform::forms_qt::testing::qt_session();
    }
    void TearDown() override {
        form_.reset();
        forms::reset_forms_state_for_tests();
        TempTree::TearDown();
    }
    QtBackend& backend() { return platform::forms_qt::testing::qt_session().backend(); }
    // A control of type C at (left, 0) on the test's form, made on first use.
    template <class C>
    C* view(const char* name, int left, int width) {
        if (!form_) {
            form_ = forms::make_form<forms::Form>();
            form_->ClientWidth = 400;
            form_->ClientHeight = 200;
        }
        auto* c = form_->add<C>(name);
        c->SetBounds(left, 0, width, 200);
        return c;
    }
    void sync() { backend().sync_form(*form_, false); }
    // The shell tree (its root expanded) and the shell list in report view, side by side,
    // both at `folder` of the test's folder.
    std::pair<TKwShellTree*, TKwShellList*> shell_views(const std::string& folder) {
        auto* tree = view<TKwShellTree>("tree", 0, 200);
        TKwShellLocator base;
        base.SetPath(at(folder));
        tree->SetBaseFolder(base);
        if (tree->roots().empty()) tree->FillRoot();
        if (!tree->roots().empty()) tree->expand(tree->roots().front().get());
        auto* list = view<TKwShellList>("list", 200, 200);
        list->ViewStyle = forms::ViewStyle::report;
        list->Locator().SetPath(at(folder));
        return {tree, list};
    }
    forms::FormPtr<forms::Form> form_;
    QTreeWidget* widget(forms::Control& control) {
        return qobject_cast<QTreeWidget*>(backend().widget_of(control));
    }
    // The widget's viewport as it paints, laid out first.
    static QImage painted(QTreeWidget* w) {
        w->doItemsLayout();
        return w->viewport()->grab().toImage();
    }
    // How many pixels of `rect` in `image` are `color`.
    static int pixels_of(const QImage& image, const QRect& rect, QColor color) {
        int n = 0;
        const QRect r = rect.intersected(image.rect());
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                if (image.pixelColor(x, y) == color) ++n;
        return n;
    }
    static int reddish(const QImage& image, const QRect& rect) {
        int n = 0;
        const QRect r = rect.intersected(image.rect());
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.red() > 150 && c.green() < 100 && c.blue() < 100) ++n;
            }
        return n;
    }
};

TEST_F(TreeListLook, a_lists_custom_drawing_colours_and_fonts_its_items_on_the_screen) {
    auto* list = view<TKwCustomListView>("list", 0, 300);
    list->Columns = {{"Name", 120}, {"Size", 80}};
    for (const char* name : {"first", "second", "third"}) list->add(name).SubItems.add("1 KB");
    list->OnCustomDrawObj = [](forms::Component&, TKwCustomDraw& draw, int item) {
        if (item != 1) return;
        draw.Brush.Color = yellow;
        draw.Font.Color = red;
        draw.Font.bold = true;
    };
    sync();
    QTreeWidget* w = widget(*list);
    ASSERT_NE(w, nullptr);
    const QImage image = painted(w);
    const QRect second = w->visualItemRect(w->topLevelItem(1));
    const QRect first = w->visualItemRect(w->topLevelItem(0));
    ASSERT_FALSE(second.isEmpty());
    EXPECT_GT(pixels_of(image, second, QColor(255, 255, 0)), second.width() * second.height() / 2);
    EXPECT_GT(reddish(image, second), 5);
    EXPECT_EQ(pixels_of(image, first, QColor(255, 255, 0)), 0);
    EXPECT_EQ(reddish(image, first), 0);
    EXPECT_TRUE(w->topLevelItem(1)->font(0).bold());
    EXPECT_FALSE(w->topLevelItem(0)->font(0).bold());

    // The handler stops colouring: the item goes back to the list's own look.
    list->OnCustomDrawObj = nullptr;
    sync();
    EXPECT_EQ(pixels_of(painted(w), second, QColor(255, 255, 0)), 0);
}

TEST_F(TreeListLook, a_trees_custom_drawing_colours_its_nodes_on_the_screen) {
    auto* tree = view<TKwCustomTreeView>("tree", 0, 200);
    forms::TreeNode* root = tree->add(nullptr, "methods");
    forms::TreeNode* marked = tree->add(root, "archive");
    tree->add(root, "results");
    forms::TreeNode* inside = tree->add(marked, "inside");  // not shown: its parent is collapsed
    root->Expanded = true;
    std::vector<forms::TreeNode*> asked;
    tree->OnCustomDrawObj = [&](forms::Component&, TKwCustomDraw& draw, forms::TreeNode* node) {
        asked.push_back(node);
        if (node == marked) draw.Brush.Color = yellow;
    };
    sync();
    QTreeWidget* w = widget(*tree);
    ASSERT_NE(w, nullptr);
    const QImage image = painted(w);
    QTreeWidgetItem* root_item = w->topLevelItem(0);
    ASSERT_EQ(root_item->childCount(), 2);
    EXPECT_GT(pixels_of(image, w->visualItemRect(root_item->child(0)), QColor(255, 255, 0)), 20);
    EXPECT_EQ(pixels_of(image, w->visualItemRect(root_item->child(1)), QColor(255, 255, 0)), 0);
    EXPECT_EQ(pixels_of(image, w->visualItemRect(root_item), QColor(255, 255, 0)), 0);
    EXPECT_EQ(std::count(asked.begin(), asked.end(), marked), 1);
    EXPECT_EQ(std::count(asked.begin(), asked.end(), inside), 0);
}

// A list item its handler draws in place of the default drawing, and a tree node it draws over
// after the default drawing (asking for the post-paint), show what the handler drew.
class OwnDrawingSnapshot : public TreeListLook {};

TEST_F(OwnDrawingSnapshot, items_their_handlers_draw_themselves_show_the_handlers_drawing) {
    auto* list = view<TKwCustomListView>("list", 0, 200);
    list->ViewStyle = forms::ViewStyle::report;
    list->Columns = {{"Name", 110}, {"Size", 70}};
    for (const char* name : {"first", "second", "third"}) list->add(name).SubItems.add("1 KB");
    list->OnCustomDrawObj = [](forms::Component&, TKwCustomDraw& draw, int item) {
        if (item != 1) return;
        draw.SkipDefault = true;
        forms::Canvas& canvas = *draw.Info().canvas;
        const forms::Rect r = draw.Info().rc;
        canvas.Brush.Color = yellow;
        canvas.FillRect(r);
        canvas.Font.Color = red;
        canvas.Brush.Style = forms::BrushStyle::clear;
        canvas.TextOut(r.left + 30, r.top + 1, "drawn by hand");
    };
    auto* tree = view<TKwCustomTreeView>("tree", 200, 200);
    forms::TreeNode* root = tree->add(nullptr, "methods");
    forms::TreeNode* marked = tree->add(root, "archive");
    tree->add(root, "results");
    root->Expanded = true;
    tree->OnCustomDrawObjEx = [marked](forms::Component&, TKwCustomDraw& draw, forms::TreeNode* node) {
        if (node != marked) return;
        if (draw.Stage() == 4) {
            draw.UserResult = true;
            draw.Result() |= CDRF_NOTIFYPOSTPAINT;
        } else if (draw.Stage() == 5) {
            forms::Canvas& canvas = *draw.Info().canvas;
            canvas.Brush.Color = red;
            canvas.FrameRect(draw.Info().rc);
        }
    };
    form_->Show();
    backend().sync();
    QTreeWidget* l = widget(*list);
    QTreeWidget* t = widget(*tree);
    ASSERT_NE(l, nullptr);
    ASSERT_NE(t, nullptr);
    const QImage list_image = painted(l);
    const QRect second = l->visualItemRect(l->topLevelItem(1));
    EXPECT_GT(pixels_of(list_image, second, QColor(255, 255, 0)), second.width() * second.height() / 2);
    EXPECT_GT(reddish(list_image, second), 5);
    EXPECT_EQ(pixels_of(list_image, l->visualItemRect(l->topLevelItem(0)), QColor(255, 255, 0)), 0);
    const QImage tree_image = painted(t);
    const QRect archive = t->visualItemRect(t->topLevelItem(0)->child(0));
    EXPECT_GT(pixels_of(tree_image, archive, QColor(255, 0, 0)), archive.width());
    EXPECT_EQ(pixels_of(tree_image, t->visualItemRect(t->topLevelItem(0)->child(1)), QColor(255, 0, 0)), 0);
    EXPECT_FORM_SNAPSHOT(*form_, "own_drawing");
    form_->Hide();
}

TEST_F(TreeListLook, a_sorted_list_shows_the_sort_arrow_on_its_column) {
    auto* list = view<TKwCustomListView>("list", 0, 300);
    list->Columns = {{"Name", 120}, {"Size", 80}};
    list->add("first").SubItems.add("1 KB");
    list->SetSortColumn(1);
    list->SetSortDescending(true);
    sync();
    QTreeWidget* w = widget(*list);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->header()->isSortIndicatorShown());
    EXPECT_EQ(w->header()->sortIndicatorSection(), 1);
    EXPECT_EQ(w->header()->sortIndicatorOrder(), Qt::DescendingOrder);

    list->SetSortColumn(0);
    list->SetSortDescending(false);
    sync();
    EXPECT_EQ(w->header()->sortIndicatorSection(), 0);
    EXPECT_EQ(w->header()->sortIndicatorOrder(), Qt::AscendingOrder);

    list->SetSortColumn(-1);
    sync();
    EXPECT_FALSE(w->header()->isSortIndicatorShown());
}

TEST_F(TreeListLook, items_show_the_images_of_their_image_lists) {
    forms::ImageList images;
    forms::Image square{16, 16, std::vector<std::uint32_t>(256, red)};
    images.add(square);
    auto* list = view<forms::ListView>("list", 0, 200);
    list->ViewStyle = forms::ViewStyle::report;
    list->Columns = {{"Name", 150}};
    list->SmallImages = &images;
    list->add("with").ImageIndex = 0;
    list->add("without");
    auto* tree = view<forms::TreeView>("tree", 200, 200);
    tree->Images = &images;
    tree->add(nullptr, "with")->ImageIndex = 0;
    tree->add(nullptr, "without");
    sync();
    for (QTreeWidget* w : {widget(*list), widget(*tree)}) {
        ASSERT_NE(w, nullptr);
        EXPECT_FALSE(w->topLevelItem(0)->icon(0).isNull());
        EXPECT_TRUE(w->topLevelItem(1)->icon(0).isNull());
        const QImage image = painted(w);
        EXPECT_GT(pixels_of(image, w->visualItemRect(w->topLevelItem(0)), QColor(255, 0, 0)), 100);
        EXPECT_EQ(pixels_of(image, w->visualItemRect(w->topLevelItem(1)), QColor(255, 0, 0)), 0);
    }
}

// A cut item's icon lets the ground show through and its text is dimmed, in trees as in lists;
// the item goes back to its full look when it is no longer cut.
TEST_F(TreeListLook, cut_items_show_dimmed) {
    forms::ImageList images;
    images.add({16, 16, std::vector<std::uint32_t>(256, red)});
    auto* list = view<forms::ListView>("list", 0, 200);
    list->ViewStyle = forms::ViewStyle::report;
    list->Columns = {{"Name", 150}};
    list->SmallImages = &images;
    list->add("cut").ImageIndex = 0;
    list->add("kept").ImageIndex = 0;
    list->Items[0].Cut = true;
    auto* tree = view<forms::TreeView>("tree", 200, 200);
    tree->Images = &images;
    forms::TreeNode* cut = tree->add(nullptr, "cut");
    cut->ImageIndex = 0;
    cut->Cut = true;
    tree->add(nullptr, "kept")->ImageIndex = 0;
    sync();
    for (QTreeWidget* w : {widget(*list), widget(*tree)}) {
        ASSERT_NE(w, nullptr);
        const QImage image = painted(w);
        const QRect dimmed = w->visualItemRect(w->topLevelItem(0));
        const QRect full = w->visualItemRect(w->topLevelItem(1));
        EXPECT_EQ(pixels_of(image, dimmed, QColor(255, 0, 0)), 0);
        EXPECT_GT(reddish(image, dimmed) + pixels_of(image, dimmed, QColor(255, 127, 127)) +
                      pixels_of(image, dimmed, QColor(255, 128, 128)),
                  100);
        EXPECT_GT(pixels_of(image, full, QColor(255, 0, 0)), 100);
        EXPECT_NE(w->topLevelItem(0)->foreground(0), w->topLevelItem(1)->foreground(0));
    }
    list->Items[0].Cut = false;
    cut->Cut = false;
    sync();
    for (QTreeWidget* w : {widget(*list), widget(*tree)}) {
        EXPECT_GT(pixels_of(painted(w), w->visualItemRect(w->topLevelItem(0)), QColor(255, 0, 0)), 100);
        EXPECT_EQ(w->topLevelItem(0)->foreground(0), w->topLevelItem(1)->foreground(0));
    }
}

// An overlay the theme has an emblem for shows the emblem in the image's lower left quarter.
TEST_F(TreeListLook, an_image_the_desktops_icon_theme_has_shows_the_themes_picture) {
    // A theme of one green folder and one blue emblem, in the test's own folder.
    make_dir("icons/testtheme/16x16/places");
    make_dir("icons/testtheme/16x16/emblems");
    make_file("icons/testtheme/index.theme",
              "[Icon Theme]\nName=testtheme\nDirectories=16x16/places,16x16/emblems\n\n"
              "[16x16/places]\nSize=16\nType=Fixed\n\n[16x16/emblems]\nSize=16\nType=Scalable\n");
    QImage green(16, 16, QImage::Format_ARGB32);
    green.fill(QColor(0, 255, 0));
    ASSERT_TRUE(green.save(QString::fromStdString(at("icons/testtheme/16x16/places/folder.png"))));
    QImage blue(16, 16, QImage::Format_ARGB32);
    blue.fill(QColor(0, 0, 255));
    ASSERT_TRUE(blue.save(QString::fromStdString(at("icons/testtheme/16x16/emblems/emblem-shared.png"))));
    QIcon::setThemeSearchPaths({QString::fromStdString(at("icons"))});
    QIcon::setThemeName(QStringLiteral("testtheme"));
    struct NoTheme {
        ~NoTheme() {
            QIcon::setThemeSearchPaths({});
            QIcon::setThemeName(QString());
        }
    } no_theme_after;

    forms::ImageList images;
    images.add({16, 16, std::vector<std::uint32_t>(256, red), "folder"});
    images.add({16, 16, std::vector<std::uint32_t>(256, red), "no-such-picture"});
    images.add({16, 16, std::vector<std::uint32_t>(256, red), "emblem-shared"});
    images.set_overlay(1, 2);
    auto* list = view<forms::ListView>("list", 0, 200);
    list->ViewStyle = forms::ViewStyle::report;
    list->Columns = {{"Name", 150}};
    list->SmallImages = &images;
    list->add("themed").ImageIndex = 0;
    list->add("own").ImageIndex = 1;
    forms::ListItem& shared = list->add("shared");
    shared.ImageIndex = 0;
    shared.OverlayIndex = 0;
    sync();
    QTreeWidget* w = widget(*list);
    ASSERT_NE(w, nullptr);
    const QImage image = painted(w);
    const QRect themed = w->visualItemRect(w->topLevelItem(0));
    const QRect own = w->visualItemRect(w->topLevelItem(1));
    EXPECT_GT(pixels_of(image, themed, QColor(0, 255, 0)), 100);
    EXPECT_EQ(pixels_of(image, themed, QColor(255, 0, 0)), 0);
    EXPECT_GT(pixels_of(image, own, QColor(255, 0, 0)), 100);
    const QRect marked = w->visualItemRect(w->topLevelItem(2));
    EXPECT_EQ(pixels_of(image, marked, QColor(0, 0, 255)), 64);  // 8 x 8
    EXPECT_EQ(pixels_of(image, marked, QColor(0, 255, 0)), 256 - 64);
}

TEST_F(TreeListLook, the_shell_tree_and_list_show_the_shells_icons) {
    make_dir("lab/methods");
    make_file("lab/notes.txt");
    auto [tree, list] = shell_views("lab");
    ASSERT_FALSE(tree->roots().empty());
    ASSERT_EQ(list->Items.size(), 2u);
    sync();
    QTreeWidget* t = widget(*tree);
    QTreeWidget* l = widget(*list);
    ASSERT_NE(t, nullptr);
    ASSERT_NE(l, nullptr);
    EXPECT_FALSE(t->topLevelItem(0)->icon(0).isNull());
    ASSERT_GT(t->topLevelItem(0)->childCount(), 0);
    EXPECT_FALSE(t->topLevelItem(0)->child(0)->icon(0).isNull());
    for (int i = 0; i < l->topLevelItemCount(); ++i) EXPECT_FALSE(l->topLevelItem(i)->icon(0).isNull()) << i;
}

// The wheel over the shell tree and list scrolls them by their own wheel handling (the lines
// the person's setting gives), and the widgets show the rows the controls scrolled to.
TEST_F(TreeListLook, the_wheel_over_the_shell_tree_and_list_reaches_their_own_scrolling) {
    for (int i = 0; i < 40; ++i) make_dir("lab/folder" + std::to_string(100 + i));
    auto [tree, list] = shell_views("lab");
    ASSERT_FALSE(tree->roots().empty());
    ASSERT_EQ(list->Items.size(), 40u);
    SetWheelScrollLines(5);  // Qt's own wheel would scroll 3
    struct Restore {
        ~Restore() { SetWheelScrollLines(3); }
    } restore;
    form_->Show();
    backend().sync();
    for (forms::Control* control : std::initializer_list<forms::Control*>{tree, list}) {
        QTreeWidget* w = widget(*control);
        ASSERT_NE(w, nullptr);
        w->doItemsLayout();
        ASSERT_GT(w->verticalScrollBar()->maximum(), 10);
        const QPointF at(20, 40);
        QWheelEvent down(at, w->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                         Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(w->viewport(), &down);
        EXPECT_EQ(w->verticalScrollBar()->value(), 5) << control->Name;
    }
    EXPECT_EQ(tree->TopRow, 5);
    EXPECT_EQ(list->TopIndex, 5);
    form_->Hide();
}

}  // namespace
}  // namespace shellctl
