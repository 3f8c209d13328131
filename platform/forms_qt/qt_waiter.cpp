#include "platform/forms_qt/qt_waiter.h"

#include <poll.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <algorithm>

#include "platform/forms_qt/deferred_deletion.h"
#include "platform/kernel/kernel.h"

namespace platform::forms_qt {

namespace window = platform::window;

namespace {

bool same_fds(const std::vector<pollfd>& a, const std::vector<pollfd>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const pollfd& x, const pollfd& y) { return x.fd == y.fd && x.events == y.events; });
}

}  // namespace

QtWaiter::QtWaiter(std::function<void()> before_sleep) : before_sleep_(std::move(before_sleep)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, &context_, [this] { woken(); });
}

QtWaiter::~QtWaiter() = default;

void QtWaiter::arm(const std::vector<pollfd>& fds, std::int64_t deadline_ns) {
    if (!same_fds(fds, armed_)) {
        // Notifiers may be firing right now (a foreign loop pumping): free them later.
        for (auto& n : notifiers_) {
            n->setEnabled(false);
            n.release()->deleteLater();
        }
        notifiers_.clear();
        for (const pollfd& p : fds) {
            const auto add = [&](QSocketNotifier::Type type) {
                auto n = std::make_unique<QSocketNotifier>(p.fd, type);
                QObject::connect(n.get(), &QSocketNotifier::activated, &context_, [this] { woken(); });
                notifiers_.push_back(std::move(n));
            };
            if (p.events & (POLLIN | POLLPRI)) add(QSocketNotifier::Read);
            if (p.events & POLLOUT) add(QSocketNotifier::Write);
        }
        armed_.assign(fds.begin(), fds.end());
    }
    if (deadline_ns == INT64_MAX) {
        timer_.stop();
        return;
    }
    const std::int64_t left_ns = std::max<std::int64_t>(0, deadline_ns - kernel::monotonic_ns());
    // Rounded up: waking a little late is harmless, waking early only costs one more turn.
    timer_.start(static_cast<int>(std::min<std::int64_t>((left_ns + 999'999) / 1'000'000, INT32_MAX)));
}

void QtWaiter::woken() {
    // Inside our own wait the loop looks at everything itself once processEvents returns.
    if (waiting_ || pumping_) return;
    // A loop that Qt runs by itself: serve our queue from here.
    pumping_ = true;
    window::pump_foreign();
    pumping_ = false;
    const window::WaitSet set = window::current_wait_set();
    arm(set.fds, set.deadline_ns);
}

void QtWaiter::schedule_changed() {
    if (waiting_ || pumping_) return;
    const window::WaitSet set = window::current_wait_set();
    arm(set.fds, set.deadline_ns);
}

int QtWaiter::wait(std::vector<pollfd>& fds, std::int64_t deadline_ns) {
    ++waits_;
    // A wait inside a handler (ours, or one that a loop of Qt's called) must not free what
    // the handlers below it still use: only the outermost wait frees.
    const bool outermost = waiting_ == 0 && !pumping_ && QThread::currentThread()->loopLevel() == 0;
    if (before_sleep_) before_sleep_();
    arm(fds, deadline_ns);
    ++waiting_;
    // Returns once Qt handled something: input, a paint, a notifier or the timer.
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    --waiting_;
    if (outermost) delete_idle_objects();
    for (pollfd& p : fds) p.revents = 0;
    int ready = ::poll(fds.data(), fds.size(), 0);
    return ready < 0 ? 0 : ready;
}

}  // namespace platform::forms_qt
