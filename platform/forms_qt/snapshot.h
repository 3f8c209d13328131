// Snapshots of forms: a form rendered to an image as a person would see its window, a check
// that no text is cut off at the real font metrics, and an image comparison with a tolerance.
//
// The image is the form's client area under a plain caption bar that this renderer draws
// itself (offscreen there is no window manager to draw one): the caption text on the left and
// the close box on the right when the form has one.
#pragma once

#include <QImage>
#include <string>
#include <vector>

#include "platform/forms/form.h"
#include "platform/forms_qt/qt_backend.h"

namespace platform::forms_qt {

inline constexpr int caption_bar_height = 22;

// Builds and updates the form's widgets (without showing its window) and renders it.
QImage render_form(QtBackend& backend, platform::forms::Form& form);

// A pop-up menu as it shows when opened (see QtBackend::make_menu).
QImage render_menu(QtBackend& backend, platform::forms::PopupMenu& menu);

// Every text of the form that does not fit where it is shown, one line each
// ("TButton 'ok_button' of Tnew_syr: \"C&ancel Method\" needs 91 px, has 89"): the form's caption
// in its caption bar, and the captions and texts of labels, buttons, check and radio buttons and
// group boxes, and controls that stick out of their parent.
std::vector<std::string> cut_off_texts(QtBackend& backend, platform::forms::Form& form);

struct ImageDifference {
    bool same_size = false;
    int differing_pixels = 0;  // any channel off by more than the tolerance
    int total_pixels = 0;
    QImage marked;  // the actual image with the differing pixels in magenta
};
ImageDifference compare_images(const QImage& expected, const QImage& actual, int channel_tolerance);

}  // namespace platform::forms_qt
