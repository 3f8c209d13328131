#include "platform/forms_qt/qt_session.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>
#include <cstdlib>

#include "platform/forms_qt/deferred_deletion.h"

namespace platform::forms_qt {

namespace {

// QApplication keeps references to these for its whole life.
int qt_argc = 1;
char qt_program[] = "zor";
char* qt_argv[] = {qt_program, nullptr};

bool set(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

}  // namespace

QtSession::QtSession() {
    if (!QApplication::instance()) {
        // The forms give their sizes in pixels of a 96-dpi screen.
        qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
        application_ = std::make_unique<QApplication>(qt_argc, qt_argv);
    }
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(QApplication::style()->standardPalette());
    QApplication::setFont(to_qfont(platform::forms::Font{}));
    QApplication::setQuitOnLastWindowClosed(false);  // our loop decides when the program ends
    backend_ = std::make_unique<QtBackend>();
    QtBackend* backend = backend_.get();
    waiter_ = std::make_unique<QtWaiter>([backend] { backend->sync(); });
    previous_backend_ = platform::forms::set_backend(backend_.get());
    previous_hook_ = platform::window::set_wait_hook(waiter_.get());
}

void QtSession::install() {
    platform::forms::set_backend(backend_.get());
    platform::window::set_wait_hook(waiter_.get());
}

QtSession::~QtSession() {
    platform::window::set_wait_hook(previous_hook_);
    platform::forms::set_backend(previous_backend_);
    waiter_.reset();
    backend_.reset();
    delete_idle_objects();
    application_.reset();
}

std::unique_ptr<QtSession> QtSession::on_display() {
    if (!set("DISPLAY") && !set("WAYLAND_DISPLAY")) return nullptr;
    // Without this fallback a display that cannot be reached ends the program inside Qt.
    const QByteArray asked = qgetenv("QT_QPA_PLATFORM");
    if (asked.isEmpty())
        qputenv("QT_QPA_PLATFORM", set("WAYLAND_DISPLAY") ? "wayland;xcb;offscreen" : "xcb;offscreen");
    auto session = std::make_unique<QtSession>();
    if (asked.isEmpty()) qunsetenv("QT_QPA_PLATFORM");
    if (QGuiApplication::platformName() == QStringLiteral("offscreen")) return nullptr;
    return session;
}

}  // namespace platform::forms_qt
