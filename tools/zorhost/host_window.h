// zorhost on a display: the host window with the plug-in's method editor in it, and the Qt
// session the dialogs are shown in for the person at the screen. Built where the Qt backend
// is. Main thread only.
#pragma once

#include <memory>
#include <string>

namespace platform::forms_qt {
class QtSession;
}

namespace zorhost {

class Host;

// A Qt session on the display, or nullptr when there is none. The editor's window is put into
// the host's as an X window, so on Wayland zorhost asks for XWayland.
std::unique_ptr<platform::forms_qt::QtSession> display_session();

// Opens DOCUMENT in the host window (a new method from the template when DOCUMENT does not
// exist yet) and serves the person until the window is closed. 0, or 1 when the document
// could not be opened.
int edit_in_window(Host& host, platform::forms_qt::QtSession& qt, const std::string& document,
                   const std::string& template_name);

}  // namespace zorhost
