#include "platform/forms/standard_controls.h"

#include "platform/forms/form.h"

namespace platform::forms {

void Edit::type_text(std::string_view text) {
    ensure_reachable("type into");
    if (ReadOnly) throw FormError("cannot type into " + describe(*this) + ": it is read-only");
    std::string next(text);
    if (MaxLength > 0 && next.size() > static_cast<std::size_t>(MaxLength))
        next.resize(static_cast<std::size_t>(MaxLength));
    if (next == Text) return;
    Text = std::move(next);
    fire(OnChange);
}

void Memo::type_text(std::string_view text) {
    ensure_reachable("type into");
    if (ReadOnly) throw FormError("cannot type into " + describe(*this) + ": it is read-only");
    Lines.set_text(text);
    fire(OnChange);
}

void Button::click() {
    ensure_reachable("click");
    // The form's result first: OnClick may look at it or reset it.
    if (modal_result != mr_none) {
        if (Form* f = form()) f->modal_result = modal_result;
    }
    fire(OnClick);
}

void CheckBox::click() {
    ensure_reachable("click");
    Checked = !Checked;
    fire(OnClick);
}

void CheckBox::check(bool checked) {
    if (checked != Checked) click();
}

void RadioButton::set_checked() {
    Checked = true;
    if (Control* p = parent()) {
        for (Control* sibling : p->children()) {
            if (sibling == this) continue;
            if (auto* radio = dynamic_cast<RadioButton*>(sibling)) radio->Checked = false;
        }
    }
}

void RadioButton::click() {
    ensure_reachable("click");
    set_checked();
    fire(OnClick);
}

void RadioGroup::select(int index) {
    ensure_reachable("select in");
    if (index < -1 || index >= Items.count()) {
        throw FormError(describe(*this) + " has no item " + std::to_string(index));
    }
    if (index == ItemIndex) return;
    ItemIndex = index;
    fire(OnClick);
}

}  // namespace platform::forms
