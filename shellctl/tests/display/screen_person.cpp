#include "shellctl/tests/display/screen_person.h"

#include <gtest/gtest.h>

#include <QTest>
#include <cstdio>

#include "platform/forms/application.h"
#include "platform/forms/controls.h"
#include "platform/forms/form.h"
#include "platform/forms/properties.h"

namespace shellctl::testing {

namespace forms = platform::forms;
namespace window = platform::window;

std::optional<std::string> xdotool(const std::string& arguments) {
    FILE* out = ::popen(("timeout 20 xdotool " + arguments + " 2>/dev/null").c_str(), "r");
    if (!out) return std::nullopt;
    std::string text;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, out)) text += buffer;
    if (::pclose(out) != 0) return std::nullopt;
    return text;
}

std::string click_at(QPoint global, int button, int repeat) {
    std::string step =
        "mousemove --sync " + std::to_string(global.x()) + " " + std::to_string(global.y()) + " click";
    if (repeat > 1) step += " --repeat " + std::to_string(repeat) + " --delay 60";
    return step + " " + std::to_string(button);
}

std::string keys_to(const QWidget& window, const std::string& keys) {
    return "windowfocus --sync " + std::to_string(window.winId()) + " key --delay 80 " + keys;
}

ScreenPerson::ScreenPerson() : session_(platform::forms_qt::QtSession::on_display()) {
    previous_ = forms::set_interaction_provider(this);
    // A hang guard: a modal loop still running after a minute is ended, and the test fails.
    reaper_ = window::create_window(
        "ScreenPersonReaper", 0,
        [](window::Handle self, std::uint32_t m, window::WParam, window::LParam) -> window::Result {
            if (m == window::WM_TIMER) {
                window::kill_timer(self, 1);
                ADD_FAILURE() << "the person's form did not close";
                for (forms::Form* f : forms::screen().forms())
                    if (f->modal()) f->modal_result = forms::mr_abort;
            }
            return 0;
        });
    window::set_timer(reaper_, 1, 60000);
}

ScreenPerson::~ScreenPerson() {
    acted();
    window::destroy_window(reaper_);
    forms::set_interaction_provider(previous_);
}

void ScreenPerson::modal_form_shown(forms::Form& form) {
    if (!on_form) return;
    auto action = std::move(on_form);
    on_form = nullptr;
    action(form);
}

QWidget* ScreenPerson::shown(forms::Form& form) {
    QWidget* w = backend().sync_form(form, true);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(w));
    return w;
}

void ScreenPerson::act(std::vector<std::string> steps) {
    hands_ = std::thread([this, steps = std::move(steps)] {
        for (const std::string& step : steps) {
            const auto out = xdotool(step);
            if (!out) {
                failed_ = true;
                return;
            }
            printed_.push_back(*out);
        }
    });
}

bool ScreenPerson::acted() {
    if (hands_.joinable()) hands_.join();
    return !failed_;
}

}  // namespace shellctl::testing
