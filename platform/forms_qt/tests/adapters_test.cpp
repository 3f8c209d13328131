// Each control kind is drawn by its own adapter, found by the control's exact type: a kind
// derived from another is never drawn as its base when it has an adapter of its own, a kind a
// subsystem derives takes its nearest drawn base, and a kind nobody draws is reported.
#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSizeGrip>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include "platform/forms/controls.h"
#include "platform/forms/keys.h"
#include "platform/forms_qt/testing/form_snapshots.h"

namespace platform::forms_qt {
namespace {

using namespace platform::forms;

class FolderTree : public TreeView {
  public:
    const char* class_name() const override { return "TFolderTree"; }
};

class Gauge : public Control {
  public:
    const char* class_name() const override { return "TGauge"; }
};

class Kinds : public Form {
  public:
    Kinds() : Form("Tkinds") {
        ClientWidth = 200;
        ClientHeight = 200;
        speed = add<SpeedButton>("speed");
        speed->SetBounds(8, 8, 25, 25);
        speed->Hint = "New folder|Makes a new folder in the selected folder";
        speed->ShowHint = true;
        bit = add<BitBtn>("bit");
        bit->SetBounds(40, 8, 75, 25);
        bit->Kind = BitBtnKind::ok;
        tree = add<FolderTree>("tree");
        tree->SetBounds(8, 40, 100, 100);
        grip = add<SizeGrip>("grip");
        grip->SetBounds(187, 187, 13, 13);
        gauge = add<Gauge>("gauge");
        gauge->SetBounds(120, 40, 50, 20);
    }
    SpeedButton* speed;
    BitBtn* bit;
    FolderTree* tree;
    SizeGrip* grip;
    Gauge* gauge;
};

TEST(QtAdapters, each_kind_is_drawn_by_its_own_adapter_and_a_kind_nobody_draws_is_reported) {
    auto& qt = testing::qt_session();
    {
        auto form = make_form<Kinds>();
        ::testing::internal::CaptureStderr();
        qt.backend().sync_form(*form, false);
        const std::string told = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(qobject_cast<QToolButton*>(qt.backend().widget_of(*form->speed)), nullptr);
        EXPECT_NE(qobject_cast<QPushButton*>(qt.backend().widget_of(*form->bit)), nullptr);
        EXPECT_FALSE(static_cast<QPushButton*>(qt.backend().widget_of(*form->bit))->icon().isNull());
        EXPECT_NE(qobject_cast<QTreeWidget*>(qt.backend().widget_of(*form->tree)), nullptr);
        EXPECT_NE(qobject_cast<QSizeGrip*>(qt.backend().widget_of(*form->grip)), nullptr);
        EXPECT_NE(told.find("no adapter draws TGauge"), std::string::npos) << told;
        EXPECT_EQ(qt.backend().widget_of(*form->speed)->toolTip(), QStringLiteral("New folder"));
        EXPECT_EQ(told.find("TFolderTree"), std::string::npos) << told;
    }
    reset_forms_state_for_tests();
}

class Keys : public Form {
  public:
    Keys() : Form("Tkeys") {
        ClientWidth = 200;
        ClientHeight = 100;
        second = add<Edit>("second");
        second->SetBounds(8, 40, 100, 21);
        second->TabOrder = 1;
        first = add<Edit>("first");
        first->SetBounds(8, 8, 100, 21);
        first->TabOrder = 0;
        first->OnKeyDown = [this](Component&, int& key, ShiftState shift) {
            keys.push_back(key);
            if (key == forms::keys::f5) shifted = shift.shift;
        };
    }
    Edit* first;
    Edit* second;
    std::vector<int> keys;
    bool shifted = false;
};

TEST(QtAdapters, keys_reach_the_focused_controls_key_down_and_tab_follows_the_forms_tab_order) {
    auto& qt = testing::qt_session();
    {
        auto form = make_form<Keys>();
        form->ActiveControl = form->first;
        form->Show();
        qt.backend().sync();
        QWidget* window = qt.backend().widget_of(*form);
        QApplication::setActiveWindow(window);
        QWidget* first = qt.backend().widget_of(*form->first);
        first->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), first);
        QTest::keyClick(first, Qt::Key_F5, Qt::ShiftModifier);
        QTest::keyClick(first, Qt::Key_A);
        // The shift key itself, then F5 with shift held, then the letter.
        EXPECT_EQ(form->keys, (std::vector<int>{forms::keys::shift, forms::keys::f5, 'A'}));
        EXPECT_TRUE(form->shifted);
        EXPECT_EQ(form->first->Text, "a");
        // The second edit was made first, so Qt's own order would be the other way round.
        QTest::keyClick(first, Qt::Key_Tab);
        EXPECT_EQ(form->ActiveControl, form->second);
        qt.backend().sync();
        EXPECT_EQ(QApplication::focusWidget(), qt.backend().widget_of(*form->second));
        form->Hide();
    }
    reset_forms_state_for_tests();
}

class Lines : public Form {
  public:
    Lines() : Form("Tlines") {
        ClientWidth = 200;
        ClientHeight = 200;
        list = add<ListBox>("list");
        list->SetBounds(8, 8, 150, 100);
        for (int i = 0; i < 100; ++i) list->Items.add("line " + std::to_string(i));
    }
    ListBox* list;
};

// Whether the list shows item `index` whole.
bool shows(QListWidget& q, int index) {
    return q.viewport()->rect().contains(q.visualItemRect(q.item(index)));
}

TEST(QtAdapters, a_list_box_shows_from_its_top_item_and_its_selection_still_scrolls_into_sight) {
    auto& qt = testing::qt_session();
    {
        auto form = make_form<Lines>();
        form->Show();
        qt.backend().sync();
        auto* q = qobject_cast<QListWidget*>(qt.backend().widget_of(*form->list));
        ASSERT_NE(q, nullptr);
        ASSERT_FALSE(shows(*q, 99));
        // Code moves the top item past the end: the list shows its last line.
        form->list->TopIndex = 99;
        qt.backend().sync();
        QApplication::processEvents();
        EXPECT_TRUE(shows(*q, 99));
        // Code selects a line out of sight: the list scrolls to it.
        form->list->ItemIndex = 10;
        qt.backend().sync();
        QApplication::processEvents();
        EXPECT_TRUE(shows(*q, 10));
        // A person's scrolling gives the list its top item, and a change of the items keeps it.
        q->verticalScrollBar()->setValue(40);
        EXPECT_EQ(form->list->TopIndex, 40);
        form->list->ItemIndex = -1;
        form->list->Items.add("line 100");
        qt.backend().sync();
        QApplication::processEvents();
        EXPECT_EQ(q->verticalScrollBar()->value(), 40);
        form->Hide();
    }
    reset_forms_state_for_tests();
}

}  // namespace
}  // namespace platform::forms_qt
