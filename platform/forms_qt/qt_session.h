// A Qt session for the forms: the QApplication, the Qt backend and the Qt waiter, installed on
// the calling (main) thread for as long as the object lives.
//
// The look is pinned so that a form looks the same on every machine: the Fusion style with its
// standard palette, and the DejaVu fonts (see qt_backend.h).
//
//     auto qt = QtSession::on_display();   // nullptr when there is no display to show forms on
//     if (qt) set_interaction_provider(&person);
//
// Main thread only. One session at a time; the QApplication is made when none exists and
// freed with the session that made it.
#pragma once

#include <memory>

#include "platform/forms_qt/qt_backend.h"
#include "platform/forms_qt/qt_waiter.h"

class QApplication;

namespace platform::forms_qt {

class QtSession {
  public:
    // Uses the platform Qt picks (QT_QPA_PLATFORM; "offscreen" for tests and snapshots).
    QtSession();
    ~QtSession();
    QtSession(const QtSession&) = delete;
    QtSession& operator=(const QtSession&) = delete;

    // A session on a real display (X11 or Wayland), or nullptr when the environment names
    // none or it cannot be reached.
    static std::unique_ptr<QtSession> on_display();

    // Installs the backend and the waiter again (after a test reset the forms' defaults).
    void install();

    QtBackend& backend() { return *backend_; }
    QtWaiter& waiter() { return *waiter_; }

  private:
    std::unique_ptr<QApplication> application_;
    std::unique_ptr<QtBackend> backend_;
    std::unique_ptr<QtWaiter> waiter_;
    platform::forms::Backend* previous_backend_ = nullptr;
    platform::window::WaitHook* previous_hook_ = nullptr;
};

}  // namespace platform::forms_qt
