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

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/forms/canvas.h"

namespace platform::forms {

class Control;
class Form;
class ImageList;
class PopupMenu;

struct TextExtent {
    int width = 0;
    int height = 0;
};

// A menu a control builds itself and tracks until the person chose (its own context menu):
// each item answers with its command number.
struct TrackedMenuItem {
    int command = 0;  // what tracking returns when the item is chosen; 0 for a submenu
    std::string caption;
    bool separator = false;
    bool enabled = true;
    bool checked = false;
    bool is_default = false;
    bool is_submenu = false;
    std::vector<TrackedMenuItem> submenu;
    void* origin = nullptr;  // the owner's own item it was made from
    // The item's icon: image `image` of `images` (none when -1).
    const ImageList* images = nullptr;
    int image = -1;
};
struct TrackedMenu {
    std::vector<TrackedMenuItem> items;
    Point screen_point;
    // A submenu is about to open: the owner may fill `item.submenu` now.
    std::function<void(TrackedMenuItem& item)> opening;
    // An item was highlighted (0 for a submenu or separator).
    std::function<void(int command)> highlighted;
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
    // Shows the menu and waits for the person: the chosen item's command, 0 when the menu was
    // dismissed. Without windows nobody can choose: throws NoInteractionProvider.
    virtual int track_menu(TrackedMenu& menu);
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
