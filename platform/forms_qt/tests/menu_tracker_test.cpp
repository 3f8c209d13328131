// A menu a control tracks itself, shown by the Qt backend: the items as given, a submenu filled
// when it opens, and the person's choice (or none) returned when the menu closes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <algorithm>

#include "platform/forms/backend.h"
#include "platform/forms/interaction.h"
#include "platform/forms_qt/testing/form_snapshots.h"

namespace platform::forms_qt {
namespace {

using namespace platform::forms;

TrackedMenuItem item(int command, std::string caption) {
    TrackedMenuItem i;
    i.command = command;
    i.caption = std::move(caption);
    return i;
}

// Open, a separator, a disabled item, a checked item and a submenu holding a placeholder.
TrackedMenu shell_like_menu() {
    TrackedMenu menu;
    menu.items.push_back(item(1000, "&Open"));
    menu.items.back().is_default = true;
    TrackedMenuItem line;
    line.separator = true;
    menu.items.push_back(line);
    menu.items.push_back(item(1019, "&Paste"));
    menu.items.back().enabled = false;
    menu.items.push_back(item(7, "&Hidden files"));
    menu.items.back().checked = true;
    TrackedMenuItem send_to = item(0, "Se&nd To");
    send_to.is_submenu = true;
    send_to.submenu.push_back(item(0, "(empty)"));
    send_to.submenu.back().enabled = false;
    menu.items.push_back(send_to);
    return menu;
}

QMenu* open_menu() {
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

class MenuTracking : public ::testing::Test {
  protected:
    void SetUp() override {
        session = &testing::qt_session();
        // A hang guard: a menu still open after a while is closed, and the test fails.
        QTimer::singleShot(10000, qApp, [] {
            if (QMenu* m = open_menu()) {
                ADD_FAILURE() << "the menu was not closed";
                m->close();
            }
        });
    }
    QtSession* session = nullptr;
};

TEST_F(MenuTracking, the_submenu_is_filled_when_it_opens_and_its_chosen_item_is_returned) {
    TrackedMenu menu = shell_like_menu();
    int openings = 0;
    menu.opening = [&](TrackedMenuItem& send_to) {
        ++openings;
        send_to.submenu = {item(1, "Printer"), item(2, "Archive")};
    };
    std::vector<int> highlighted;
    menu.highlighted = [&](int command) { highlighted.push_back(command); };
    QStringList texts;
    bool separator = false, paste_enabled = true, hidden_checked = false;
    QStringList submenu_texts;
    QTimer::singleShot(0, qApp, [&] {
        QMenu* top = open_menu();
        if (!top) return;
        const QList<QAction*> actions = top->actions();
        for (QAction* a : actions) texts << a->text();
        separator = actions.size() > 1 && actions[1]->isSeparator();
        paste_enabled = actions.size() > 2 && actions[2]->isEnabled();
        hidden_checked = actions.size() > 3 && actions[3]->isChecked();
        top->setActiveAction(actions.back());
        QTest::keyClick(top, Qt::Key_Right);
        QTimer::singleShot(0, qApp, [&] {
            QMenu* sub = open_menu();
            if (!sub) return;
            for (QAction* a : sub->actions()) submenu_texts << a->text();
            if (sub->actions().size() < 2) return;
            sub->setActiveAction(sub->actions()[1]);
            QTest::keyClick(sub, Qt::Key_Return);
        });
    });
    const int chosen = session->backend().track_menu(menu);
    EXPECT_EQ(chosen, 2);
    EXPECT_EQ(texts, (QStringList{"&Open", "", "&Paste", "&Hidden files", "Se&nd To"}));
    EXPECT_TRUE(separator);
    EXPECT_FALSE(paste_enabled);
    EXPECT_TRUE(hidden_checked);
    EXPECT_EQ(openings, 1);
    EXPECT_EQ(submenu_texts, (QStringList{"Printer", "Archive"}));
    EXPECT_NE(std::find(highlighted.begin(), highlighted.end(), 2), highlighted.end());
    EXPECT_EQ(open_menu(), nullptr);
}

TEST_F(MenuTracking, a_dismissed_menu_returns_nothing_chosen) {
    TrackedMenu menu = shell_like_menu();
    QTimer::singleShot(0, qApp, [] {
        if (QMenu* top = open_menu()) QTest::keyClick(top, Qt::Key_Escape);
    });
    EXPECT_EQ(session->backend().track_menu(menu), 0);
    EXPECT_EQ(open_menu(), nullptr);
}

// Without windows nobody can choose: the headless backend refuses rather than guess.
TEST(HeadlessMenuTracking, tracking_a_menu_without_windows_throws) {
    TrackedMenu menu = shell_like_menu();
    HeadlessBackend headless;
    EXPECT_THROW(headless.track_menu(menu), NoInteractionProvider);
}

}  // namespace
}  // namespace platform::forms_qt
