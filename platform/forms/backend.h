// The backend: what turns controls and canvas calls into pixels.
//
// The framework keeps every bit of state in the controls; the backend only draws and measures.
// The headless backend draws nothing and measures text with a fixed monospace metric
// (character width 6 and height 13 at the forms' default font of height -11, scaled with the
// font height); it is the default, so logic tests lay out the same on every machine. The
// drawing backend (platform/forms_qt: real windows, image snapshots) is installed behind this
// interface without changing any form; it reads the controls' plain members when it brings its
// widgets up to date, so assigning a member needs no notice.
#pragma once

#include <string_view>

#include "platform/forms/canvas.h"

namespace platform::forms {

class Control;
class Form;
class PopupMenu;

struct TextExtent {
    int width = 0;
    int height = 0;
};

class Backend {
  public:
    virtual ~Backend() = default;
    // A call was made on the canvas of a control (after it was recorded there).
    virtual void draw(const Canvas& canvas, const CanvasCall& call) = 0;
    virtual TextExtent text_extent(const Font& font, std::string_view text) const = 0;
    // A form became visible or hidden, or its caption or geometry changed.
    virtual void form_changed(const Form& form) = 0;
    // A control (or form) is being destroyed; a backend drops what it keeps for it.
    virtual void control_destroyed(const Control&) {}
    // A pop-up menu was opened (its OnPopup has run). A backend with windows shows it where the
    // person clicked, and the person's choice clicks the item.
    virtual void menu_opened(PopupMenu&) {}
};

class HeadlessBackend final : public Backend {
  public:
    void draw(const Canvas&, const CanvasCall&) override {}
    TextExtent text_extent(const Font& font, std::string_view text) const override;
    void form_changed(const Form&) override {}
};

// The installed backend (the headless one unless another is installed). set_backend returns
// the previous one; nullptr restores the headless one. The caller keeps ownership.
Backend& backend();
Backend* set_backend(Backend* backend);

}  // namespace platform::forms
