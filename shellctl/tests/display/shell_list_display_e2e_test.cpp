// The shell list on a screen (run under xvfb-run): a person opens a folder with a double click,
// goes up with Backspace and sorts with a click on a column's header.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QTreeWidget>
#include <filesystem>

#include "platform/forms/controls.h"
#include "shellctl/kw_shell_list.h"
#include "shellctl/kw_shell_tree.h"
#include "shellctl/tests/display/screen_person.h"
#include "shellctl/tests/shellctl_test_support.h"

namespace shellctl {
namespace {

namespace forms = platform::forms;

// A dialog holding one control above a Close button (Escape).
class Host : public forms::Form {
  public:
    Host(const char* window_class, const char* caption, int width) : Form(window_class) {
        Caption = caption;
        BorderStyle = forms::FormBorderStyle::dialog;
        ClientWidth = width;
        ClientHeight = 260;
        auto* cancel = add<forms::Button>("cancel");
        cancel->SetBounds(width - 80, 228, 75, 25);
        cancel->Caption = "Close";
        cancel->Cancel = true;
        cancel->modal_result = forms::mr_cancel;
    }
};

class ListHost : public Host {
  public:
    ListHost() : Host("Tlist_host", "Methods", 420) {
        list = add<TKwShellList>("list");
        list->SetBounds(0, 0, 420, 220);
        list->ViewStyle = forms::ViewStyle::report;
    }
    TKwShellList* list;
};

class TreeHost : public Host {
  public:
    TreeHost() : Host("Ttree_host", "Folders", 300) {
        tree = add<TKwShellTree>("tree");
        tree->SetBounds(0, 0, 300, 220);
    }
    TKwShellTree* tree;
};

class EditHost : public Host {
  public:
    EditHost() : Host("Tedit_host", "Name", 300) {
        edit = add<forms::Edit>("edit");
        edit->SetBounds(8, 8, 284, 21);
        edit->MaxLength = 40;
    }
    forms::Edit* edit;
};

class ShellListOnScreen : public testing::TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        person = std::make_unique<testing::ScreenPerson>();
        if (!person->on_screen()) GTEST_SKIP() << "no display (this test runs under xvfb-run)";
        make_dir("lab/methods");
        make_file("lab/methods/gradient.zor");
        make_file("lab/methods/wash.zor");
        make_file("lab/readme.txt");
        host = forms::make_form<ListHost>();
    }
    void TearDown() override {
        host.reset();
        person.reset();
        forms::reset_forms_state_for_tests();
        TempTree::TearDown();
    }
    // The list's widget once the form shows.
    QTreeWidget* list_widget(forms::Form& form) {
        window = person->shown(form);
        return qobject_cast<QTreeWidget*>(person->backend().widget_of(*host->list));
    }
    int row_of(const std::string& caption) const {
        for (std::size_t i = 0; i < host->list->Items.size(); ++i)
            if (host->list->Items[i].Caption == caption) return static_cast<int>(i);
        return -1;
    }
    QPoint centre_of_row(QTreeWidget* w, int row) {
        const QRect r = w->visualItemRect(w->topLevelItem(row));
        return w->viewport()->mapToGlobal(QPoint(r.left() + 20, r.center().y()));
    }

    std::unique_ptr<testing::ScreenPerson> person;
    forms::FormPtr<ListHost> host;
    QWidget* window = nullptr;
};

TEST_F(ShellListOnScreen, a_double_click_opens_a_folder_and_a_header_click_sorts) {
    host->list->Locator().SetPath(at("lab"));
    person->on_form = [&](forms::Form& form) {
        QTreeWidget* w = list_widget(form);
        ASSERT_NE(w, nullptr);
        const int row = row_of("methods");
        ASSERT_GE(row, 0);
        const QPoint name_header =
            w->header()->mapToGlobal(QPoint(w->header()->sectionSize(0) / 2, w->header()->height() / 2));
        person->act({testing::click_at(centre_of_row(w, row), 1, 2), testing::click_at(name_header),
                     testing::keys_to(*window, "Escape")});
    };
    host->ShowModal();
    EXPECT_TRUE(person->acted());
    EXPECT_EQ(host->list->Locator().Path(), at("lab/methods"));
    ASSERT_EQ(host->list->Items.size(), 2u);
    // The name column sorted the other way round by the click.
    EXPECT_EQ(host->list->Items[0].Caption, "wash.zor");
}

TEST_F(ShellListOnScreen, backspace_goes_up) {
    host->list->Locator().SetPath(at("lab/methods"));
    person->on_form = [&](forms::Form& form) {
        QTreeWidget* w = list_widget(form);
        ASSERT_NE(w, nullptr);
        ASSERT_GT(w->topLevelItemCount(), 0);
        person->act({testing::click_at(centre_of_row(w, 0)), testing::keys_to(*window, "BackSpace Escape")});
    };
    host->ShowModal();
    EXPECT_TRUE(person->acted());
    EXPECT_EQ(host->list->Locator().Path(), at("lab"));
}

// A right click on an item and the menu key both show the item's context menu (highlighting an
// item gives its help text); Escape dismisses it with nothing done.
TEST_F(ShellListOnScreen, a_right_click_and_the_menu_key_show_the_menu_and_escape_dismisses_it) {
    host->list->Locator().SetPath(at("lab/methods"));
    std::vector<std::string> hints;
    host->list->OnPopupHint = [&](forms::Component&, const std::string& hint) {
        if (!hint.empty()) hints.push_back(hint);
    };
    person->on_form = [&](forms::Form& form) {
        QTreeWidget* w = list_widget(form);
        ASSERT_NE(w, nullptr);
        const int row = row_of("wash.zor");
        ASSERT_GE(row, 0);
        person->act({testing::click_at(centre_of_row(w, row), 3), "sleep 0.8", "key Down", "key Escape",
                     "sleep 0.5", testing::keys_to(*window, "Menu"), "sleep 0.8", "key Down", "key Escape",
                     "sleep 0.5", testing::keys_to(*window, "Escape")});
    };
    host->ShowModal();
    EXPECT_TRUE(person->acted());
    EXPECT_GE(hints.size(), 2u) << "each menu highlighted an item";
    EXPECT_EQ(host->list->Locator().Path(), at("lab/methods"));
    EXPECT_TRUE(std::filesystem::exists(at("lab/methods/wash.zor")));
    EXPECT_TRUE(std::filesystem::exists(at("lab/methods/gradient.zor")));
    ASSERT_EQ(host->list->Items.size(), 2u);
}

// Ctrl+X cuts an item; once its folder is opened again the item shows dimmed beside the others.
TEST_F(ShellListOnScreen, an_item_cut_with_ctrl_x_shows_dimmed_when_its_folder_opens_again) {
    host->list->Locator().SetPath(at("lab/methods"));
    QTreeWidget* w = nullptr;
    person->on_form = [&](forms::Form& form) {
        w = list_widget(form);
        ASSERT_NE(w, nullptr);
        const int row = row_of("wash.zor");
        ASSERT_GE(row, 0);
        // Up in the lab folder, "methods" is the first row.
        person->act({testing::click_at(centre_of_row(w, row)), "key ctrl+x", "key BackSpace", "sleep 0.5",
                     testing::click_at(centre_of_row(w, 0), 1, 2), "sleep 0.5",
                     testing::keys_to(*window, "Escape")});
    };
    host->ShowModal();
    EXPECT_TRUE(person->acted());
    ASSERT_EQ(host->list->Locator().Path(), at("lab/methods"));
    ASSERT_NE(w, nullptr);
    // The text colour the row shows: its own, else the list's.
    const auto colour_of = [&](const char* caption) {
        for (int i = 0; i < w->topLevelItemCount(); ++i) {
            if (w->topLevelItem(i)->text(0) != QLatin1String(caption)) continue;
            const QBrush own = w->topLevelItem(i)->foreground(0);
            return own.style() == Qt::NoBrush ? w->palette().color(QPalette::Text) : own.color();
        }
        return QColor();
    };
    const QColor cut = colour_of("wash.zor");
    const QColor kept = colour_of("gradient.zor");
    ASSERT_TRUE(cut.isValid() && kept.isValid());
    EXPECT_GT(cut.lightness(), kept.lightness() + 40) << "the cut item is lighter than the one beside it";
}

// The widgets follow the model after every key; the person's selection in an edit box stays.
TEST_F(ShellListOnScreen, ctrl_a_then_typing_replaces_the_whole_text_of_an_edit_box) {
    auto names = forms::make_form<EditHost>();
    names->edit->Text = "old name";
    person->on_form = [&](forms::Form& form) {
        window = person->shown(form);
        QWidget* edit = person->backend().widget_of(*names->edit);
        ASSERT_NE(edit, nullptr);
        person->act({testing::click_at(edit->mapToGlobal(edit->rect().center())), "key ctrl+a",
                     "type --delay 40 gradient", "sleep 0.3", testing::keys_to(*window, "Escape")});
    };
    names->ShowModal();
    EXPECT_TRUE(person->acted());
    EXPECT_EQ(names->edit->Text, "gradient");
}

// The shell tree with its default keys: F2 opens the in-place editor on the selected folder,
// typing and Enter rename it; Escape in the editor leaves the name as it was.
TEST_F(ShellListOnScreen, f2_renames_a_folder_of_the_tree_in_place) {
    auto trees = forms::make_form<TreeHost>();
    TKwShellLocator base;
    base.SetPath(at("lab"));
    trees->tree->SetBaseFolder(base);
    person->on_form = [&](forms::Form& form) {
        window = person->shown(form);
        trees->tree->SelectIdList(nullptr);
        QWidget* tree = person->backend().widget_of(*trees->tree);
        person->act({testing::click_at(tree->mapToGlobal(QPoint(tree->width() / 2, tree->height() - 8))),
                     testing::keys_to(*window, "Down F2"), "type --delay 40 protocols", "key Return",
                     "key F2", "type --delay 40 ignored", "key Escape", "sleep 0.5", "key Escape"});
    };
    trees->ShowModal();
    EXPECT_TRUE(person->acted());
    EXPECT_TRUE(std::filesystem::is_directory(at("lab/protocols")));
    EXPECT_FALSE(std::filesystem::exists(at("lab/methods")));
    EXPECT_FALSE(std::filesystem::exists(at("lab/ignored")));
}

}  // namespace
}  // namespace shellctl
