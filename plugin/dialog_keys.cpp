#include "plugin/dialog_keys.h"

#include <cctype>
#include <functional>
#include <string>
#include <vector>

#include "platform/forms/form.h"
#include "platform/forms/keys.h"
#include "platform/forms/list_controls.h"
#include "platform/forms/standard_controls.h"
#include "platform/forms/tab_order.h"
#include "platform/window/window.h"

namespace zorsetup {

namespace forms = platform::forms;
namespace keys = platform::forms::keys;

namespace {

bool in_form(const forms::Form& form, platform::window::Handle w) {
    while (w && w != form.handle()) w = platform::window::parent_of(w);
    return w != 0;
}

void each_control(const forms::Control& parent, const std::function<void(forms::Control&)>& visit) {
    for (forms::Control* c : parent.children()) {
        visit(*c);
        each_control(*c, visit);
    }
}

// Controls that use the arrows (and typed letters) themselves.
bool takes_keys(const forms::Control* c) {
    return dynamic_cast<const forms::Edit*>(c) || dynamic_cast<const forms::Memo*>(c) ||
           dynamic_cast<const forms::ListBox*>(c) || dynamic_cast<const forms::ComboBox*>(c);
}

// The controls a caption's "&" letter clicks: buttons and boxes.
bool clicked_by_letter(const forms::Control* c) {
    return dynamic_cast<const forms::Button*>(c) || dynamic_cast<const forms::CheckBox*>(c) ||
           dynamic_cast<const forms::RadioButton*>(c);
}

// The controls a caption's "&" letter stands for the control after: labels and group boxes.
bool leads_by_letter(const forms::Control* c) {
    return dynamic_cast<const forms::Label*>(c) || dynamic_cast<const forms::GroupBox*>(c);
}

// The caption whose "&" letter reaches the control, or nullptr (panels and radio groups keep
// theirs to themselves).
const std::string* caption_of(const forms::Control& c) {
    if (!clicked_by_letter(&c) && !leads_by_letter(&c)) return nullptr;
    return &static_cast<const forms::CaptionedControl&>(c).Caption;
}

// The letter a caption marks with "&" ("&&" is a plain "&"); 0 for none.
char marked_letter(const std::string& caption) {
    for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&') continue;
        if (caption[i + 1] != '&')
            return static_cast<char>(std::tolower(static_cast<unsigned char>(caption[i + 1])));
        ++i;
    }
    return 0;
}

bool usable(const forms::Control& c) {
    return c.reachable() && c.Enabled;
}

// The first control that can take the focus from `from` on along the tab order (a label or a
// group stands for the control after it).
forms::Control* focus_target_after(forms::Form& form, const forms::Control& from) {
    std::vector<forms::Control*> all;
    each_control(form, [&all](forms::Control& c) { all.push_back(&c); });
    bool passed = false;
    for (forms::Control* c : all) {
        if (c == &from)
            passed = true;
        else if (passed && c->TabStop && usable(*c) && c->CanFocus())
            return c;
    }
    return nullptr;
}

bool mnemonic(forms::Form& form, char letter) {
    letter = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
    forms::Control* found = nullptr;
    each_control(form, [&](forms::Control& c) {
        const std::string* caption = caption_of(c);
        if (!found && caption && usable(c) && marked_letter(*caption) == letter) found = &c;
    });
    if (!found) return false;
    if (clicked_by_letter(found)) {
        if (found->CanFocus()) found->SetFocus();
        found->click();
        return true;
    }
    if (forms::Control* target = focus_target_after(form, *found)) target->SetFocus();
    return true;
}

// The next or previous control of the tab order, wrapping round.
void move_focus(forms::Form& form, bool backward) {
    forms::press_tab(form, backward);
}

forms::Button* button_where(forms::Form& form, bool forms::Button::*flag) {
    forms::Button* found = nullptr;
    each_control(form, [&](forms::Control& c) {
        auto* b = dynamic_cast<forms::Button*>(&c);
        if (!found && b && b->*flag && usable(*b)) found = b;
    });
    return found;
}

}  // namespace

std::int32_t dialog_message(forms::Form& form, const HostMessage& message) {
    if (!in_form(form, message.window)) return 0;
    forms::Control* focused = form.ActiveControl;
    const std::uintptr_t key = message.wparam;
    if (message.message == keys::key_down_message) {
        forms::ShiftState shift;
        shift.shift = message.shift_down;
        switch (key) {
            case keys::tab:
                move_focus(form, message.shift_down);
                return 1;
            case keys::left:
            case keys::up:
            case keys::right:
            case keys::down:
                if (focused && takes_keys(focused)) {
                    focused->key_down(static_cast<int>(key), shift);
                    return 1;
                }
                move_focus(form, key == keys::left || key == keys::up);
                return 1;
            case keys::enter: {
                if (dynamic_cast<forms::Memo*>(focused)) return 0;
                forms::Button* b = dynamic_cast<forms::Button*>(focused);
                if (!b || !usable(*b)) b = button_where(form, &forms::Button::Default);
                if (!b) return 0;
                b->click();
                return 1;
            }
            case keys::escape:
                if (forms::Button* b = button_where(form, &forms::Button::Cancel)) {
                    b->click();
                    return 1;
                }
                return 0;
            default:
                return 0;
        }
    }
    if (message.message == keys::sys_key_down_message) return 0;
    const bool alt = message.message == keys::sys_char_message;
    if ((alt || message.message == keys::char_message) && key < 0x80 && std::isalnum(static_cast<int>(key))) {
        // A plain letter is typing where the focused control takes it.
        if (!alt && focused && takes_keys(focused)) return 0;
        return mnemonic(form, static_cast<char>(key)) ? 1 : 0;
    }
    return 0;
}

}  // namespace zorsetup
