// The backend: what turns controls and canvas calls into pixels.
//
// The framework keeps every bit of state in the controls; the backend only draws and measures.
// The one backend so far is headless: it draws nothing and measures text with a fixed
// monospace metric (character width 6 and height 13 at the forms' default font of height -11,
// scaled with the font height). A drawing backend (real windows, image snapshots) can be
// installed later behind this interface without changing any form.
#pragma once

#include <string_view>

#include "platform/forms/canvas.h"

namespace platform::forms {

class Form;

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
