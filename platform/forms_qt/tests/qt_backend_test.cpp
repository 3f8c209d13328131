// The Qt backend against the real widgets, offscreen: the model reaches the widgets before the
// loop sleeps, a person's input reaches the model through the controls' person methods, modal
// forms run in our nested loop while Qt waits for us, paint boxes replay their canvas, and text
// is measured with the real fonts.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QWidget>
#include <memory>
#include <thread>

#include "platform/forms/controls.h"
#include "platform/forms_qt/deferred_deletion.h"
#include "platform/forms_qt/snapshot.h"
#include "platform/forms_qt/testing/form_snapshots.h"
#include "platform/testing/message_loop.h"
#include "platform/window/window.h"

namespace platform::forms_qt {
namespace {

using namespace platform::forms;
namespace window = platform::window;

class Dialog : public Form {
  public:
    Dialog() : Form("Tqt_test_dialog") {
        Caption = "Parameter";
        BorderStyle = FormBorderStyle::dialog;
        ClientWidth = 240;
        ClientHeight = 110;
        label = add<Label>("label");
        label->SetBounds(8, 8, 0, 0);
        label->Caption = "Volume:";
        edit = add<Edit>("edit");
        edit->SetBounds(8, 28, 120, 21);
        edit->OnChange = [this](Component&) { ++changes; };
        check = add<CheckBox>("check");
        check->SetBounds(140, 28, 90, 21);
        check->Caption = "Rinse";
        ok = add<Button>("ok");
        ok->SetBounds(8, 76, 75, 25);
        ok->Caption = "OK";
        ok->modal_result = mr_ok;
        cancel = add<Button>("cancel");
        cancel->SetBounds(90, 76, 75, 25);
        cancel->Caption = "Cancel";
        cancel->Cancel = true;
        cancel->modal_result = mr_cancel;
    }
    Label* label;
    Edit* edit;
    CheckBox* check;
    Button* ok;
    Button* cancel;
    int changes = 0;
};

class QtBackendTest : public ::testing::Test {
  protected:
    void SetUp() override {
        session = &testing::qt_session();
        previous_provider = set_interaction_provider(&person);
        // A hang guard: a loop that never ends is stopped and the test fails.
        reaper = std::make_unique<zor_testing::Reaper>(10000, [] {
            for (Form* f : screen().forms())
                if (f->modal()) f->modal_result = mr_abort;
        });
    }
    void TearDown() override {
        reaper.reset();
        set_interaction_provider(previous_provider);
        reset_forms_state_for_tests();
        delete_idle_objects();
    }
    QtBackend& backend() { return session->backend(); }

    // Runs `action` from inside the loop once the loop handles messages again.
    void soon(std::function<void()> action) {
        actions.push_back(std::move(action));
        const window::Handle hand = window::create_window(
            "QtTestHand", 0, [this](window::Handle self, std::uint32_t m, window::WParam, window::LParam) {
                if (m == window::WM_USER && !actions.empty()) {
                    auto a = std::move(actions.front());
                    actions.erase(actions.begin());
                    window::destroy_window(self);
                    a();
                }
                return window::Result{0};
            });
        window::post_message(hand, window::WM_USER);
    }

    QtSession* session = nullptr;
    PersonInteraction person;
    InteractionProvider* previous_provider = nullptr;
    std::unique_ptr<zor_testing::Reaper> reaper;
    std::vector<std::function<void()>> actions;
};

TEST_F(QtBackendTest, a_modal_form_is_a_real_modal_window_and_a_click_on_its_button_ends_it) {
    auto dialog = make_form<Dialog>();
    QWidget* seen_window = nullptr;
    bool was_modal = false;
    soon([&] {
        backend().sync();
        seen_window = backend().widget_of(*dialog);
        was_modal = seen_window && seen_window->isVisible() && seen_window->isModal();
        auto* ok = qobject_cast<QPushButton*>(backend().widget_of(*dialog->ok));
        ASSERT_NE(ok, nullptr);
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    EXPECT_EQ(dialog->ShowModal(), mr_ok);
    EXPECT_TRUE(was_modal);
    EXPECT_EQ(seen_window->windowTitle(), QStringLiteral("Parameter"));
    backend().sync();
    EXPECT_FALSE(seen_window->isVisible());  // hidden with the form
}

TEST_F(QtBackendTest, typing_and_clicking_reach_the_model_through_the_person_methods) {
    auto dialog = make_form<Dialog>();
    dialog->Show();
    backend().sync();
    auto* edit = qobject_cast<QLineEdit*>(backend().widget_of(*dialog->edit));
    auto* check = qobject_cast<QCheckBox*>(backend().widget_of(*dialog->check));
    ASSERT_TRUE(edit && check);
    QTest::keyClicks(edit, QStringLiteral("12,5 \u00b5l"));
    EXPECT_EQ(dialog->edit->Text, "12,5 \xB5l");  // Windows-1252 in the model
    EXPECT_EQ(dialog->changes, 7);
    QTest::mouseClick(check, Qt::LeftButton);
    EXPECT_TRUE(dialog->check->Checked);
    // Code changes the model; the widgets follow at the next sync, without firing anything.
    dialog->edit->Text = "3";
    dialog->check->Checked = false;
    dialog->label->Caption = "Flow &rate:";
    backend().sync();
    EXPECT_EQ(edit->text(), QStringLiteral("3"));
    EXPECT_FALSE(check->isChecked());
    EXPECT_EQ(qobject_cast<QLabel*>(backend().widget_of(*dialog->label))->text(),
              QStringLiteral("Flow rate:"));
    EXPECT_EQ(dialog->changes, 7);
    // A disabled control takes no input.
    dialog->check->Enabled = false;
    backend().sync();
    QTest::mouseClick(check, Qt::LeftButton);
    EXPECT_FALSE(dialog->check->Checked);
}

TEST_F(QtBackendTest, the_close_box_and_escape_end_a_modal_form_as_the_model_says) {
    auto dialog = make_form<Dialog>();
    soon([&] {
        backend().sync();
        backend().widget_of(*dialog)->close();  // the window manager's close box
    });
    EXPECT_EQ(dialog->ShowModal(), mr_cancel);
    soon([&] {
        backend().sync();
        QTest::keyClick(backend().widget_of(*dialog), Qt::Key_Escape);
    });
    EXPECT_EQ(dialog->ShowModal(), mr_cancel);
    // Without a close box, the window cannot be closed that way.
    dialog->BorderIcons.system_menu = false;
    soon([&] {
        backend().sync();
        backend().widget_of(*dialog)->close();
        dialog->ok->click();
    });
    EXPECT_EQ(dialog->ShowModal(), mr_ok);
}

TEST_F(QtBackendTest, a_box_is_answered_by_the_person_clicking_in_its_window) {
    soon([&] {
        backend().sync();
        for (Form* f : screen().forms()) {
            auto* box = dynamic_cast<MessageForm*>(f);
            if (!box) continue;
            QTest::mouseClick(backend().widget_of(*box->buttons.at(1)), Qt::LeftButton);
        }
    });
    const ModalResult answer =
        show_message_dialog({DialogType::warning,
                             "",
                             "Syringe blocked",
                             {DialogButton::abort, DialogButton::retry, DialogButton::ignore}});
    EXPECT_EQ(answer, mr_retry);
}

TEST_F(QtBackendTest, a_message_from_another_thread_wakes_the_qt_wait) {
    int got = 0;
    const window::Handle target = window::create_window(
        "QtTestTarget", 0, [&got](window::Handle, std::uint32_t m, window::WParam w, window::LParam) {
            if (m == window::WM_USER + 1) got = static_cast<int>(w);
            return window::Result{0};
        });
    const std::uint64_t waits_before = session->waiter().waits();
    std::thread worker([target] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        window::post_message(target, window::WM_USER + 1, 42);
    });
    EXPECT_TRUE(window::run_nested_loop_for([&] { return got == 42; }, 10000));
    worker.join();
    EXPECT_GT(session->waiter().waits(), waits_before);  // it slept in Qt
    window::destroy_window(target);
}

TEST_F(QtBackendTest, a_form_freed_while_its_window_shows_takes_its_widgets_along) {
    auto dialog = make_form<Dialog>();
    dialog->Show();
    backend().sync();
    QPointer<QWidget> window = backend().widget_of(*dialog);
    QPointer<QWidget> button = backend().widget_of(*dialog->ok);
    ASSERT_TRUE(window && button);
    dialog.reset();
    EXPECT_FALSE(window->isVisible());
    delete_idle_objects();
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(button.isNull());
    backend().sync();  // nothing left to touch
}

TEST_F(QtBackendTest, a_paint_box_replays_its_canvas_with_invert_mode) {
    Form form("Tqt_paint");
    form.Caption = "Paint";
    form.ClientWidth = 60;
    form.ClientHeight = 40;
    auto* box = form.add<PaintBox>("box");
    box->SetBounds(0, 0, 60, 40);
    int paints = 0;
    box->OnPaint = [&](Component&) {
        ++paints;
        Canvas& c = box->Canvas;
        c.Brush.Color = clWhite;
        c.FillRect({0, 0, 60, 40});
        c.Brush.Color = clRed;
        c.FillRect({10, 10, 30, 30});
        c.Pen.Mode = PenMode::invert;
        c.MoveTo(0, 20);
        c.LineTo(60, 20);
        c.Pen.Mode = PenMode::copy;
    };
    const QImage image = render_form(backend(), form);
    EXPECT_GE(paints, 1);
    const int top = 1 + caption_bar_height;
    EXPECT_EQ(image.pixelColor(1 + 20, top + 15), QColor(255, 0, 0));    // the red square
    EXPECT_EQ(image.pixelColor(1 + 5, top + 5), QColor(255, 255, 255));  // white around it
    EXPECT_EQ(image.pixelColor(1 + 5, top + 20), QColor(0, 0, 0));       // white inverted
    EXPECT_EQ(image.pixelColor(1 + 20, top + 20), QColor(0, 255, 255));  // red inverted
    // The record holds one paint's calls, not every paint's.
    EXPECT_EQ(box->Canvas.calls_of(CanvasOp::fill_rect).size(), 2u);
}

// The ink of dark pixels in a rectangle of the image.
QRect dark_ink(const QImage& image, const QRect& area) {
    QRect ink;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.valid(x, y) && qGray(image.pixel(x, y)) < 100) ink |= QRect(x, y, 1, 1);
    return ink;
}

TEST_F(QtBackendTest, text_in_a_paint_box_is_as_wide_as_measured_and_starts_at_its_scaled_corner) {
    Form form("Tqt_paint_text");
    form.Caption = "Text";
    form.ClientWidth = 300;
    form.ClientHeight = 60;
    auto* box = form.add<PaintBox>("box");
    box->SetBounds(0, 0, 300, 60);
    const std::string text = "Tray1:VT96 Tray2:VT96BC";
    box->OnPaint = [&](Component&) {
        Canvas& c = box->Canvas;
        c.Brush.Color = clWhite;
        c.FillRect({0, 0, 300, 60});
        c.Brush.Style = BrushStyle::clear;
        c.TextOut(20, 20, text);
    };
    const TextExtent measured = backend().text_extent(Font{}, text);
    const QImage image = render_form(backend(), form);
    const int top = 1 + caption_bar_height;
    const QRect ink = dark_ink(image, QRect(1, top, image.width() - 2, image.height() - top - 1));
    ASSERT_FALSE(ink.isNull());
    const LayoutScale scale = layout_scale(form.Font);
    EXPECT_NEAR(ink.left() - 1, scale.map_x(20), 2);
    EXPECT_NEAR(ink.top() - top, scale.map_y(20), 4);
    // Drawn at the size it was measured, not enlarged again by the layout scale.
    EXPECT_LE(ink.width(), measured.width + 1);
    EXPECT_GE(ink.width(), measured.width - 4);
}

// A control outside the backend's own kinds that draws itself on its canvas, in system colours.
class Drawn : public Control {
  public:
    Drawn() : canvas(this) {}
    Canvas canvas;
    int repaints = 0;
    Canvas* drawing_canvas() override { return &canvas; }
    void Repaint() override {
        ++repaints;
        canvas.Brush.Color = 0x80000010;  // button shadow
        canvas.FillRect({0, 0, Width, Height / 2});
        canvas.Brush.Color = 0x8000000D;  // highlight
        canvas.FillRect({0, Height / 2, Width, Height});
    }
};

TEST_F(QtBackendTest, a_control_that_draws_itself_is_replayed_with_the_palettes_system_colours) {
    Form form("Tqt_drawn");
    form.Caption = "Drawn";
    form.ClientWidth = 80;
    form.ClientHeight = 40;
    auto* drawn = form.add<Drawn>("drawn");
    drawn->SetBounds(0, 0, 80, 40);
    const QImage image = render_form(backend(), form);
    EXPECT_GE(drawn->repaints, 1);
    const int top = 1 + caption_bar_height;
    const QPalette palette = QApplication::palette();
    EXPECT_EQ(image.pixel(1 + 10, top + 5), palette.color(QPalette::Dark).rgb());
    EXPECT_EQ(image.pixel(1 + 10, image.height() - 6), palette.color(QPalette::Highlight).rgb());
}

TEST_F(QtBackendTest, a_pop_up_menu_shows_on_a_right_click_and_the_persons_choice_clicks_the_item) {
    auto dialog = make_form<Dialog>();
    auto* menu = dialog->add<PopupMenu>("menu");
    MenuItem* rinse = menu->add_item("rinse", "&Rinse");
    menu->add_item("line", "-");
    MenuItem* hidden = menu->add_item("hidden", "Hidden");
    hidden->Visible = false;
    MenuItem* off = menu->add_item("off", "Disabled");
    off->Enabled = false;
    int rinses = 0;
    rinse->OnClick = [&](Component&) { ++rinses; };
    dialog->edit->PopupMenu = menu;

    // On a form nobody shows, nothing pops up.
    dialog->edit->mouse_down(MouseButton::right, 5, 5);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);

    dialog->Show();
    backend().sync();
    dialog->edit->mouse_down(MouseButton::right, 5, 5);
    auto* shown = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(shown, nullptr);
    const QList<QAction*> actions = shown->actions();
    ASSERT_EQ(actions.size(), 3);  // the hidden item is left out
    EXPECT_EQ(actions[0]->text(), QStringLiteral("&Rinse"));
    EXPECT_TRUE(actions[1]->isSeparator());
    EXPECT_FALSE(actions[2]->isEnabled());
    actions[0]->trigger();
    EXPECT_EQ(rinses, 1);
    shown->close();
    delete_idle_objects();
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);

    // A menu still open when its form goes: choosing from it does nothing.
    dialog->edit->mouse_down(MouseButton::right, 5, 5);
    QPointer<QMenu> stale = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_FALSE(stale.isNull());
    dialog.reset();
    delete_idle_objects();
    EXPECT_TRUE(stale.isNull()) << "the menu goes with the control's widget";
    EXPECT_EQ(rinses, 1);
}

TEST_F(QtBackendTest, text_is_measured_with_the_real_proportional_font) {
    const Font font;
    const TextExtent wide = backend().text_extent(font, "WWWW");
    const TextExtent narrow = backend().text_extent(font, "iiii");
    EXPECT_GT(wide.width, 2 * narrow.width);
    EXPECT_EQ(wide.height, narrow.height);
    // Installed, it measures for the forms too: a box sizes itself with it.
    auto box = build_message_form({DialogType::custom, "", std::string(60, 'W'), {DialogButton::ok}});
    EXPECT_EQ(box->message->Width, backend().text_extent(box->Font, std::string(60, 'W')).width);
}

TEST_F(QtBackendTest, texts_that_do_not_fit_are_reported) {
    auto dialog = make_form<Dialog>();
    EXPECT_TRUE(cut_off_texts(backend(), *dialog).empty());
    dialog->cancel->Caption = "Cancel the whole method";
    dialog->Caption = "A caption far too long for a dialog of this small width";
    dialog->check->Width = 30;
    const auto problems = cut_off_texts(backend(), *dialog);
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_NE(problems[0].find("A caption far too long"), std::string::npos);
    EXPECT_NE(problems[1].find("Rinse"), std::string::npos);
    EXPECT_NE(problems[2].find("Cancel the whole method"), std::string::npos);
}

}  // namespace
}  // namespace platform::forms_qt
