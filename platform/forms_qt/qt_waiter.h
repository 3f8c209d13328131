// The Qt waiter: the window layer's wait hook that lets Qt sleep for our loops.
//
// Where a loop of the main thread would sleep in poll(), it runs one blocking
// processEvents(WaitForMoreEvents) instead, with a socket notifier on each fd of the poll set
// (the queue's waker first) and a precise timer at our next deadline, so Qt paints and takes
// input while we wait and any of our own wake-ups ends the wait. Objects waiting to be freed
// (deferred_deletion.h, and Qt's deleteLater, since Qt's own exec never runs here) are freed
// right after, but only by the outermost wait: a wait nested in a handler leaves them alone.
//
// Loops that Qt runs by itself (a menu, a drag) find the notifiers and the timer armed on what
// the loop waits on (current_wait_set(), refreshed on every schedule change) and call
// pump_foreign(), so our messages keep flowing inside them.
//
// `before_sleep` runs first in every wait: the backend brings its widgets up to date there.
// Main thread only; needs a QApplication.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "platform/window/window.h"

namespace platform::forms_qt {

class QtWaiter final : public platform::window::WaitHook {
  public:
    explicit QtWaiter(std::function<void()> before_sleep = {});
    ~QtWaiter() override;
    QtWaiter(const QtWaiter&) = delete;
    QtWaiter& operator=(const QtWaiter&) = delete;

    int wait(std::vector<pollfd>& fds, std::int64_t deadline_ns) override;
    void schedule_changed() override;

    // Waits taken, for tests and the benchmark.
    std::uint64_t waits() const { return waits_; }

  private:
    void arm(const std::vector<pollfd>& fds, std::int64_t deadline_ns);
    void woken();

    std::function<void()> before_sleep_;
    QObject context_;
    std::vector<std::unique_ptr<QSocketNotifier>> notifiers_;
    std::vector<pollfd> armed_;
    QTimer timer_;
    int waiting_ = 0;  // depth of our own waits (a click may open a nested modal loop)
    bool pumping_ = false;
    std::uint64_t waits_ = 0;
};

}  // namespace platform::forms_qt
