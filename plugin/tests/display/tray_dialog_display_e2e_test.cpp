// The tray dialog on a display (run under xvfb-run): a real window of the Qt backend, a person's
// mouse synthesized through xdotool, and what the screen shows read back from the X server.
#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QScreen>
#include <QWidget>
#include <chrono>
#include <functional>
#include <thread>

#include "plugin/tests/editor_fixture.h"
#include "plugin/tray_form.h"
#include "shellctl/tests/display/screen_person.h"
#include "utilities/settings.h"

namespace zorsetup_test {
namespace {

using shellctl::testing::ScreenPerson;

// Handles the screen's events until the condition holds; false when it still does not after
// twenty seconds.
bool until(const std::function<bool()>& condition) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        QApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

class TrayDialogOnDisplay : public EditorTest {
  protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) GTEST_SKIP() << "no display (this test runs under xvfb-run)";
        EditorTest::SetUp();
        zorsetup::tray_dialog_state() = {};
        putils::session().requested_tray = "Tray1";
        person = std::make_unique<ScreenPerson>();
        ASSERT_TRUE(person->on_screen());
        form = platform::forms::make_form<zorsetup::Ttray_form>();
        form->Show();
        window = person->shown(*form);
        ASSERT_TRUE(window);
    }
    void TearDown() override {
        if (person) person->acted();
        form.reset();
        person.reset();
        EditorTest::TearDown();
    }

    // A point of a control's own coordinates, on the screen.
    QPoint on_screen(const platform::forms::Control& control, double x, double y) const {
        QWidget* w = person->backend().widget_of(control);
        const double sx = w->width() / static_cast<double>(control.Width);
        const double sy = w->height() / static_cast<double>(control.Height);
        return w->mapToGlobal(QPoint(static_cast<int>(x * sx), static_cast<int>(y * sy)));
    }
    static std::string at(QPoint p) { return std::to_string(p.x()) + " " + std::to_string(p.y()); }

    // The pixels of the tray picture as the X server has them.
    int red_pixels_of_tray_picture() const {
        QWidget* w = person->backend().widget_of(*form->tray_picture);
        const QPoint origin = w->mapToGlobal(QPoint(0, 0));
        const QImage image = QGuiApplication::primaryScreen()
                                 ->grabWindow(0, origin.x(), origin.y(), w->width(), w->height())
                                 .toImage()
                                 .convertToFormat(QImage::Format_RGB32);
        int red = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) == qRgb(255, 0, 0)) ++red;
        return red;
    }

    std::unique_ptr<ScreenPerson> person;
    platform::forms::FormPtr<zorsetup::Ttray_form> form;
    QWidget* window = nullptr;
};

TEST_F(TrayDialogOnDisplay, TheRubberBandShowsWhileThePersonDrags) {
    ASSERT_GT(form->radius(), 2);
    // From the corner between the first vials to one three vials on, over the aqua between
    // the vials: the inverting pen shows it red there. Nothing is selected yet, so nothing
    // else on the picture is red.
    const auto [cx0, cy0] = form->vial_centre(0, 0);
    const auto [cx1, cy1] = form->vial_centre(1, 1);
    const auto [cx3, cy3] = form->vial_centre(3, 3);
    const double sx = (cx0 + cx1) / 2.0, sy = (cy0 + cy1) / 2.0;
    const double ex = cx3 + (cx1 - cx0) / 2.0, ey = cy3 + (cy1 - cy0) / 2.0;
    ASSERT_EQ(red_pixels_of_tray_picture(), 0);
    person->act({"mousemove --sync " + at(on_screen(*form->tray_picture, sx, sy)), "mousedown 1",
                 "mousemove --sync " + at(on_screen(*form->tray_picture, (sx + ex) / 2, (sy + ey) / 2)),
                 "mousemove --sync " + at(on_screen(*form->tray_picture, ex, ey))});
    ASSERT_TRUE(person->acted());
    EXPECT_TRUE(until([&] { return red_pixels_of_tray_picture() > 0; })) << "no band on the screen";
    // The button comes up: the band goes, and the three by three vials in it are selected.
    person->act({"mouseup 1"});
    ASSERT_TRUE(person->acted());
    EXPECT_TRUE(until([&] { return form->selected_count() == 9; }));
    form->Close();
}

TEST_F(TrayDialogOnDisplay, ARightClickOnATrayOfTheHolderOpensItsTrayTypeMenu) {
    // A point of the holder picture over Tray2 (right of Tray1 on TH-1).
    int x = -1, y = -1;
    for (int py = 0; py < form->tray_holder_picture->Height && x < 0; ++py)
        for (int px = 0; px < form->tray_holder_picture->Width && x < 0; ++px)
            if (form->tray_at_holder_point(px, py) == "Tray2") x = px, y = py + 2;
    ASSERT_GE(x, 0);
    person->act({"mousemove --sync " + at(on_screen(*form->tray_holder_picture, x + 2, y)), "click 3"});
    ASSERT_TRUE(person->acted());
    QMenu* menu = nullptr;
    ASSERT_TRUE(until([&] {
        menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        return menu && menu->isVisible();
    })) << "no tray-type menu on the screen";
    QStringList offered;
    for (const QAction* action : menu->actions())
        if (action->isVisible()) offered << action->text();
    EXPECT_TRUE(offered.contains("MT96")) << offered.join(",").toStdString();
    person->act({"key Escape"});
    ASSERT_TRUE(person->acted());
    EXPECT_TRUE(until([] { return QApplication::activePopupWidget() == nullptr; }));
    form->Close();
}

}  // namespace
}  // namespace zorsetup_test
