#include "platform/forms_qt/screen_position.h"

#include <QGuiApplication>
#include <QWidget>
#include <cstdint>
#include <cstdlib>

#ifdef ZOR_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#endif

namespace platform::forms_qt {

namespace {

#ifdef ZOR_HAVE_XCB
// The window's point on the root window, as the X server has it now.
bool ask_x_server(const QWidget& window, QPoint& at) {
    if (QGuiApplication::platformName() != QStringLiteral("xcb") ||
        !window.testAttribute(Qt::WA_WState_Created))
        return false;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection) return false;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const auto cookie =
        xcb_translate_coordinates(connection, static_cast<xcb_window_t>(window.winId()), root,
                                  static_cast<std::int16_t>(at.x()), static_cast<std::int16_t>(at.y()));
    xcb_translate_coordinates_reply_t* reply = xcb_translate_coordinates_reply(connection, cookie, nullptr);
    if (!reply) return false;
    at = QPoint(reply->dst_x, reply->dst_y);
    std::free(reply);
    return true;
}
#endif

}  // namespace

QPoint global_position(const QWidget& widget, QPoint local) {
#ifdef ZOR_HAVE_XCB
    const QWidget* window = widget.window();
    QPoint at = widget.mapTo(window, local);
    if (ask_x_server(*window, at)) return at;
#endif
    return widget.mapToGlobal(local);
}

}  // namespace platform::forms_qt
