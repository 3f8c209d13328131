// The debug page's trace on a display (run under xvfb-run): a real window of the Qt backend
// that shows the newest line as lines come in, as a person watching a run expects.
#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/framed_link.h"
#include "core/zor_lib_form.h"
#include "driver/zorrun/tests/support/driver_fixture.h"
#include "platform/forms/form.h"
#include "platform/forms_qt/qt_session.h"
#include "utilities/settings.h"

namespace zorrun_test {
namespace {

namespace forms = platform::forms;

class DebugTraceOnDisplay : public DriverTest {
  protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) GTEST_SKIP() << "no display (this test runs under xvfb-run)";
        DriverTest::SetUp();
        qt = platform::forms_qt::QtSession::on_display();
        ASSERT_TRUE(qt) << "the display cannot be reached";
    }
    void TearDown() override {
        page.reset();
        if (qt) DriverTest::TearDown();
        qt.reset();
    }

    // Whether the list shows its last line whole.
    bool shows_last_line(QListWidget& list) {
        QApplication::processEvents();
        const QRect last = list.visualItemRect(list.item(list.count() - 1));
        return list.viewport()->rect().contains(last);
    }

    std::unique_ptr<platform::forms_qt::QtSession> qt;
    forms::FormPtr<core::Tzor_lib> page;
};

TEST_F(DebugTraceOnDisplay, the_trace_follows_its_newest_line) {
    core::reg_write_bool(putils::driver_startup_key(), "Debug Page", true);
    page = forms::make_form<core::Tzor_lib>();  // the page shows itself when the setting is on
    QWidget* window = qt->backend().sync_form(*page, true);
    ASSERT_TRUE(window);
    auto* trace = dynamic_cast<QListWidget*>(qt->backend().widget_of(*page->debug_box));
    ASSERT_TRUE(trace);
    // Lines come in as frames cross the line, many more than the page has room for.
    for (int n = 1; n <= 60; ++n) {
        core::add_debug_line("sent:GET_STAT " + std::to_string(n));
        qt->backend().sync_form(*page, true);
    }
    ASSERT_EQ(trace->count(), 60);
    EXPECT_TRUE(shows_last_line(*trace));
    // One more line: the list moves on to it.
    core::add_debug_line("rcvd:IDLE");
    qt->backend().sync_form(*page, true);
    EXPECT_EQ(trace->item(trace->count() - 1)->text().toStdString(), "rcvd:IDLE");
    EXPECT_TRUE(shows_last_line(*trace));
}

}  // namespace
}  // namespace zorrun_test
