// A drag this program runs on a display (the minimal one: the offscreen display ends every
// drag at once) and drops on one of its own targets.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDrag>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>
#include <cstdlib>

#include "platform/forms/controls.h"
#include "platform/forms/hidden_window.h"
#include "platform/forms_qt/qt_session.h"
#include "platform/shell/ole.h"

namespace platform::forms_qt {
namespace {

using namespace platform::forms;
namespace shell = platform::shell;

// Starts a drag of a file when the person drags its item, and keeps how the drag ended.
class DraggingList : public ListView {
  public:
    void drag_selection(int) override {
        const auto data =
            shell::make_block_data_object({{shell::CF_HDROP, shell::make_hdrop({"/nowhere/a.txt"})}});
        ended = shell::do_drag_drop(data.get(), source.get(), shell::DROPEFFECT_COPY | shell::DROPEFFECT_MOVE,
                                    &effect);
    }
    class Source final : public com::ComObject<shell::IDropSource> {
      public:
        com::HRESULT QueryContinueDrag(bool, std::uint32_t) override { return com::S_OK; }
        com::HRESULT GiveFeedback(std::uint32_t) override { return shell::DRAGDROP_S_USEDEFAULTCURSORS; }
    };
    com::ComPtr<shell::IDropSource> source = com::ComPtr<shell::IDropSource>::adopt(new Source);
    com::HRESULT ended = com::S_OK;
    std::uint32_t effect = 12345;
};

// Offers a move while the drag is over it, but the move fails when dropped.
class FailingTarget final : public com::ComObject<shell::IDropTarget> {
  public:
    com::HRESULT DragEnter(shell::IDataObject*, std::uint32_t, shell::POINTL,
                           std::uint32_t* effect) override {
        *effect = shell::DROPEFFECT_MOVE;
        return com::S_OK;
    }
    com::HRESULT DragOver(std::uint32_t, shell::POINTL, std::uint32_t* effect) override {
        *effect = shell::DROPEFFECT_MOVE;
        return com::S_OK;
    }
    com::HRESULT DragLeave() override { return com::S_OK; }
    com::HRESULT Drop(shell::IDataObject*, std::uint32_t, shell::POINTL, std::uint32_t* effect) override {
        ++drops;
        *effect = shell::DROPEFFECT_NONE;
        return com::S_OK;
    }
    int drops = 0;
};

// A tree whose drops go to the target registered for its own window.
class TargetTree : public TreeView {
  public:
    std::uint32_t drop_window() const override { return window.handle(); }
    HiddenWindow window{"TTargetTree", [](std::uint32_t, window::WParam, window::LParam) { return 0; }};
};

class Views : public Form {
  public:
    Views() : Form("Tviews") {
        ClientWidth = 290;
        ClientHeight = 200;
        list = add<DraggingList>("list");
        list->SetBounds(8, 8, 130, 180);
        list->Items.push_back({.Caption = "a.txt"});
        target = add<TargetTree>("target");
        target->SetBounds(145, 8, 130, 180);
        target->add(nullptr, "protocols");
    }
    DraggingList* list;
    TargetTree* target;
};

class QtDrag : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        setenv("QT_QPA_PLATFORM", "minimal", 1);
        session = new QtSession;
    }
    static void TearDownTestSuite() {
        delete session;
        session = nullptr;
    }
    void SetUp() override {
        session->install();
        form = make_form<Views>();
        form->Show();
        session->backend().sync();
    }
    void TearDown() override {
        form.reset();
        reset_forms_state_for_tests();
    }
    QTreeWidget* view_of(Control& c) { return qobject_cast<QTreeWidget*>(session->backend().widget_of(c)); }

    static QtSession* session;
    FormPtr<Views> form;
};

QtSession* QtDrag::session = nullptr;

TEST_F(QtDrag, a_drag_is_its_views_and_a_drop_our_own_target_failed_ends_as_a_drop_with_no_effect) {
    auto* target = new FailingTarget;
    const auto held = com::ComPtr<shell::IDropTarget>::adopt(target);
    ASSERT_EQ(shell::register_drag_drop(form->target->window.handle(), target), com::S_OK);
    QWidget* top = session->backend().widget_of(*form);
    QWindow* window = top->windowHandle();
    ASSERT_NE(window, nullptr);
    // Points of the window: the middle of the list's item, and of the target tree's node.
    auto middle_of_row = [top](QTreeWidget* view) {
        return view->viewport()->mapTo(top, view->visualItemRect(view->topLevelItem(0)).center());
    };
    const QPoint press = middle_of_row(view_of(*form->list));
    const QPoint over = middle_of_row(view_of(*form->target));
    // The person's pointer once the drag runs: over the target's node, then the release.
    QTimer::singleShot(50, window, [&] {
        // The drag belongs to the view it started from, not to whatever is under the pointer.
        EXPECT_EQ(view_of(*form->list)->findChildren<QDrag*>(Qt::FindDirectChildrenOnly).size(), 1);
        QTest::mouseMove(window, over);
        QTimer::singleShot(50, window, [&] { QTest::mouseRelease(window, Qt::LeftButton, {}, over); });
    });
    QTest::mousePress(window, Qt::LeftButton, {}, press);
    QTest::mouseMove(window, press + QPoint(QApplication::startDragDistance() + 5, 0));

    EXPECT_EQ(target->drops, 1);
    EXPECT_EQ(form->list->ended, shell::DRAGDROP_S_DROP);
    EXPECT_EQ(form->list->effect, shell::DROPEFFECT_NONE);
}

}  // namespace
}  // namespace platform::forms_qt
