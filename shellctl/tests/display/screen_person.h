// A person at a real screen (the tests run under xvfb-run): the forms are real windows of the
// Qt backend, and the person's keys and clicks are synthesized by the X server's test
// extension through xdotool, in a thread of their own while the form's modal loop runs.
#pragma once

#include <QPoint>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/forms/interaction.h"
#include "platform/forms_qt/qt_session.h"
#include "platform/window/window.h"

namespace shellctl::testing {

// Runs xdotool with `arguments`; its output, or nothing when it failed or took longer than 20
// seconds.
std::optional<std::string> xdotool(const std::string& arguments);
// "mousemove --sync X Y click [--repeat 2] 1" at a point of the screen.
std::string click_at(QPoint global, int button = 1, int repeat = 1);
// Focuses the window, then types the keys (xdotool key names, e.g. "Down", "F2", "ctrl+a").
std::string keys_to(const QWidget& window, const std::string& keys);

// Answers boxes and modal forms as a person: the first modal form shown runs `on_form` in the
// loop (it finds where to click, then starts the person's input); boxes are real windows too.
class ScreenPerson : public platform::forms::PersonInteraction {
  public:
    ScreenPerson();
    ~ScreenPerson() override;
    platform::forms_qt::QtBackend& backend() { return session_->backend(); }
    // True when there is a display (else the test skips).
    bool on_screen() const { return session_ != nullptr; }

    std::function<void(platform::forms::Form&)> on_form;
    void modal_form_shown(platform::forms::Form& form) override;

    // The person's steps: each an xdotool argument list, run in order in a thread of its own
    // (after the windows are up: call from on_form). A step that fails ends the steps.
    void act(std::vector<std::string> steps);
    // Waits for the steps to end; false when one failed.
    bool acted();
    // What each step printed (after acted()).
    const std::vector<std::string>& printed() const { return printed_; }
    // Brings the form's widgets up to date and waits until its window is on the screen.
    QWidget* shown(platform::forms::Form& form);

  private:
    std::unique_ptr<platform::forms_qt::QtSession> session_;
    platform::forms::InteractionProvider* previous_ = nullptr;
    std::thread hands_;
    bool failed_ = false;
    std::vector<std::string> printed_;
    platform::window::Handle reaper_ = 0;
};

}  // namespace shellctl::testing
