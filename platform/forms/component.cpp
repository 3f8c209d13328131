#include "platform/forms/component.h"

#include <algorithm>

#include "platform/forms/backend.h"
#include "platform/forms/form.h"
#include "platform/forms/menus.h"

namespace platform::forms {

std::string describe(const Component& component) {
    if (dynamic_cast<const Form*>(&component) && component.Name.empty()) {
        return std::string("form ") + component.class_name();
    }
    std::string out = component.class_name();
    out += component.Name.empty() ? std::string(" (unnamed)") : " '" + component.Name + "'";
    const Form* form = component.owning_form();
    if (form && form != &component) {
        out += " of ";
        out += form->class_name();
    }
    return out;
}

// ---- Component ----------------------------------------------------------------------------

Component::~Component() {
    // Reverse creation order, so that later components (which may refer to earlier ones)
    // go first.
    while (!owned_.empty()) {
        std::unique_ptr<Component> last = std::move(owned_.back());
        owned_.pop_back();
        components_.pop_back();
        last.reset();
    }
}

Form* Component::owning_form() const {
    for (const Component* c = this; c; c = c->owner_) {
        if (auto* form = dynamic_cast<const Form*>(c)) return const_cast<Form*>(form);
    }
    return nullptr;
}

void Component::check_name(const std::string& name) const {
    if (name.empty()) return;
    for (const Component* c : components_) {
        if (c->Name == name) {
            throw FormError("a component named '" + name + "' already exists on " + describe(*this));
        }
    }
}

Component* Component::adopt(std::unique_ptr<Component> component, Control* parent) {
    check_name(component->Name);
    Component* raw = component.get();
    raw->owner_ = this;
    owned_.push_back(std::move(component));
    components_.push_back(raw);
    if (auto* control = dynamic_cast<Control*>(raw)) {
        if (!parent) parent = dynamic_cast<Control*>(this);
        if (parent) control->set_parent(parent);
    }
    raw->attached();
    return raw;
}

void Component::remove(Component* component) {
    for (std::size_t i = 0; i < owned_.size(); ++i) {
        if (owned_[i].get() != component) continue;
        std::unique_ptr<Component> taken = std::move(owned_[i]);
        owned_.erase(owned_.begin() + static_cast<std::ptrdiff_t>(i));
        components_.erase(components_.begin() + static_cast<std::ptrdiff_t>(i));
        return;  // freed here
    }
    throw FormError(describe(*component) + " is not owned by " + describe(*this));
}

Component* Component::find_component(std::string_view name) const {
    if (name.empty()) return nullptr;
    for (Component* c : components_) {
        if (c->Name == name) return c;
    }
    for (Component* c : components_) {
        if (c->components_.empty() || dynamic_cast<Form*>(c)) continue;
        if (Component* found = c->find_component(name)) return found;
    }
    return nullptr;
}

void Component::wrong_type(const Component& found, const char* wanted) const {
    throw FormError(describe(found) + " is not a " + wanted);
}

void Component::not_found(std::string_view name, const char* wanted) const {
    throw FormError(describe(*this) + " has no component '" + std::string(name) + "' (looked for a " +
                    wanted + ")");
}

// ---- Control ------------------------------------------------------------------------------

Control::~Control() {
    backend().control_destroyed(*this);
    // Parents still alive have kept their pointer to this control; a form above drops its
    // focus on it.
    for (Control* p = parent_; p; p = p->parent_) {
        if (auto* f = dynamic_cast<Form*>(p); f && f->ActiveControl == this) f->ActiveControl = nullptr;
    }
    for (Control* child : children_) child->parent_ = nullptr;
    children_.clear();
    set_parent(nullptr);
}

void Control::set_parent(Control* parent) {
    if (parent == parent_) return;
    for (Control* p = parent; p; p = p->parent_) {
        if (p == this) throw FormError(describe(*this) + " cannot be its own parent");
    }
    if (parent_) {
        auto& siblings = parent_->children_;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
    parent_ = parent;
    if (parent_) parent_->children_.push_back(this);
}

Form* Control::form() const {
    for (const Control* c = this; c; c = c->parent_) {
        if (auto* f = dynamic_cast<const Form*>(c)) return const_cast<Form*>(f);
    }
    return owning_form();
}

void Control::SetBounds(int left, int top, int width, int height) {
    const bool resized = width != Width || height != Height;
    Left = left;
    Top = top;
    Width = width;
    Height = height;
    if (resized) Resized();
}

bool Control::reachable() const {
    for (const Control* c = this; c; c = c->parent_) {
        if (dynamic_cast<const Form*>(c)) return c->Enabled;
        if (!c->Visible || !c->Enabled) return false;
    }
    return true;
}

void Control::ensure_reachable(const char* action) const {
    for (const Control* c = this; c; c = c->parent_) {
        if (dynamic_cast<const Form*>(c)) {
            if (!c->Enabled)
                throw FormError(std::string("cannot ") + action + " " + describe(*this) +
                                ": its form is disabled");
            return;
        }
        if (!c->Visible) {
            throw FormError(std::string("cannot ") + action + " " + describe(*this) + ": " +
                            (c == this ? std::string("it is hidden") : describe(*c) + " is hidden"));
        }
        if (!c->Enabled) {
            throw FormError(std::string("cannot ") + action + " " + describe(*this) + ": " +
                            (c == this ? std::string("it is disabled") : describe(*c) + " is disabled"));
        }
    }
}

bool Control::Focused() const {
    const Form* f = form();
    return f && f->ActiveControl == this;
}

bool Control::CanFocus() const {
    return reachable();
}

void Control::SetFocus() {
    Form* f = form();
    if (!f) throw FormError("cannot focus " + describe(*this) + ": it is on no form");
    f->set_focus(this);
}

void Control::click() {
    ensure_reachable("click");
    fire(OnClick);
}

void Control::double_click() {
    ensure_reachable("double-click");
    fire(OnDblClick);
}

void Control::mouse_down(MouseButton button, int x, int y, ShiftState shift) {
    ensure_reachable("use the mouse on");
    if (OnMouseDown) OnMouseDown(*this, button, shift, x, y);
    if (button == MouseButton::right && PopupMenu) PopupMenu->popup(this, x, y);
}

void Control::mouse_up(MouseButton button, int x, int y, ShiftState shift) {
    ensure_reachable("use the mouse on");
    if (OnMouseUp) OnMouseUp(*this, button, shift, x, y);
}

void Control::mouse_move(int x, int y, ShiftState shift) {
    ensure_reachable("use the mouse on");
    if (OnMouseMove) OnMouseMove(*this, shift, x, y);
}

void Control::key_down(int key, ShiftState shift) {
    ensure_reachable("type into");
    if (OnKeyDown) OnKeyDown(*this, key, shift);
}

Point Control::client_to_screen(Point client) const {
    for (const Control* c = this; c; c = c->parent()) {
        client.x += c->Left;
        client.y += c->Top;
    }
    return client;
}

Point Control::screen_to_client(Point screen) const {
    const Point origin = client_to_screen({0, 0});
    return {screen.x - origin.x, screen.y - origin.y};
}

}  // namespace platform::forms
