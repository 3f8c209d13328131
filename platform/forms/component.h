// Components and controls: the tree every form is built from.
//
// A Component has a name, a Tag and an owner; the owner holds it and frees it. A form owns
// every component built on it, also those inside its group boxes and scroll boxes, so a form
// finds any of its components by name. A Control is a component that is drawn: it also has a
// parent control (which shows it), geometry, Visible, Enabled, a hint and focus events.
//
// Build a form in its constructor:
//     auto* box = add<GroupBox>("GroupBox2");                 // parent: the form
//     syringe_box = add<ComboBox>("syringe_box", box);        // parent: the group box
//     syringe_box->OnChange = [this](Component&) { syringe_boxChange(); };
// and look controls up by name and type; a wrong name or a wrong type throws FormError:
//     auto& ok = form.find<Button>("ok_button");
//
// Names: non-empty names are unique among the components of one owner; find() compares them
// exactly (letter case counts). Unnamed components (menu items) are allowed.
//
// User actions (click(), the mouse helpers, the typing and selecting helpers of the controls)
// act as a person would: they fire the events a person's action fires, and throw FormError on
// a control that a person could not reach (hidden or disabled, itself or a parent below the
// form). Assigning a member directly is what code does: it fires nothing.
//
// Main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/forms/types.h"

namespace platform::forms {

// Gives a component class its "T..." name, used by find() messages and the inspector.
#define FORMS_CLASS_NAME(name)                     \
    static constexpr const char* type_name = name; \
    const char* class_name() const override {      \
        return name;                               \
    }

class Canvas;
class Control;
class Form;
class PopupMenu;

// The "T..." name of a component's class, for messages and the inspector.
std::string describe(const Component& component);  // "TEdit 'edit_syr_value' of Tsyringe_change"

class Component {
  public:
    Component() = default;
    virtual ~Component();
    Component(const Component&) = delete;
    Component& operator=(const Component&) = delete;

    static constexpr const char* type_name = "TComponent";
    virtual const char* class_name() const { return type_name; }

    std::string Name;
    std::intptr_t Tag = 0;

    Component* owner() const { return owner_; }
    // Owned components in creation order.
    const std::vector<Component*>& components() const { return components_; }
    int component_count() const { return static_cast<int>(components_.size()); }
    // The form this component belongs to (itself for a form), or nullptr.
    Form* owning_form() const;

    // Creates a component owned by this one. A control gets `parent` as its parent, or, when
    // none is given, this component when it is a control. Throws FormError on a name already
    // used among this component's components.
    template <class T, class... Args>
    T* add(std::string name, Control* parent = nullptr, Args&&... args);
    // Takes ownership of a component made elsewhere (same rules as add).
    Component* adopt(std::unique_ptr<Component> component, Control* parent = nullptr);
    // Frees an owned component now.
    void remove(Component* component);

    // The owned component named `name` (exact), or nullptr; searched recursively through
    // owned components that own others (a frame inside a form).
    Component* find_component(std::string_view name) const;
    // The component by name and type; throws FormError when there is none of that name or it
    // is of another type.
    template <class T>
    T& find(std::string_view name) const;
    // As find, but nullptr when no component has the name; still throws on a wrong type.
    template <class T>
    T* find_or_null(std::string_view name) const;

  protected:
    // Called after the component got its owner (and its parent, for controls).
    virtual void attached() {}

  private:
    [[noreturn]] void wrong_type(const Component& found, const char* wanted) const;
    [[noreturn]] void not_found(std::string_view name, const char* wanted) const;
    void check_name(const std::string& name) const;

    Component* owner_ = nullptr;
    std::vector<Component*> components_;
    std::vector<std::unique_ptr<Component>> owned_;
};

// Control's members come in two styles, each in its own section below:
// - the component model's names (PascalCase: the properties, the events, ClientRect,
//   SetFocus, Repaint...), the names form code is written with;
// - the framework's own members (snake_case): the tree of parents and children, and the
//   interface a backend and the tests drive a control through: a person's clicks, mouse and
//   keys, the canvas a drawing backend replays, the drop window and screen points.
class Control : public Component {
  public:
    Control() = default;
    ~Control() override;
    FORMS_CLASS_NAME("TControl")

    // ---- the component model ------------------------------------------------------------

    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    bool Visible = true;
    bool Enabled = true;
    std::string Hint;
    bool ShowHint = false;
    int TabOrder = 0;
    bool TabStop = false;
    forms::Color Color = clBtnFace;
    forms::PopupMenu* PopupMenu = nullptr;  // the control's pop-up menu, opened on a right click
    forms::Align Align = Align::none;       // followed when its form is resized (align_controls)

    NotifyEvent OnClick;
    NotifyEvent OnDblClick;
    NotifyEvent OnEnter;
    NotifyEvent OnExit;
    MouseEvent OnMouseDown;
    MouseEvent OnMouseUp;
    MouseMoveEvent OnMouseMove;
    KeyEvent OnKeyDown;
    KeyEvent OnKeyUp;

    // Moves and sizes the control; Resized() runs when the size changed.
    void SetBounds(int left, int top, int width, int height);
    Rect BoundsRect() const { return {Left, Top, Left + Width, Top + Height}; }
    Rect ClientRect() const { return {0, 0, Width, Height}; }
    bool Focused() const;
    // Moves the focus of the form here (OnExit of the previous control, then OnEnter).
    void SetFocus();
    bool CanFocus() const;
    virtual void Repaint() {}
    void Invalidate() { Repaint(); }

    // ---- the tree of controls -----------------------------------------------------------

    Control* parent() const { return parent_; }
    void set_parent(Control* parent);
    // Direct children in the order they were given this parent.
    const std::vector<Control*>& children() const { return children_; }
    // The direct child named `name` (exact), or nullptr; throws FormError when it exists with
    // another type.
    template <class T = Control>
    T* find_child(std::string_view name) const;

    // The form the control sits on (walking the parents), or nullptr.
    Form* form() const;
    // Visible itself and every parent up to the form (the form's own visibility aside).
    bool reachable() const;

    // ---- what a backend and the tests drive ---------------------------------------------

    // A person's click: throws FormError when the control cannot be reached; fires OnClick
    // (controls add their own effect first: a button sets the form's modal result, a check
    // box toggles).
    virtual void click();
    virtual void double_click();
    // A person's mouse: OnMouseDown / OnMouseUp / OnMouseMove at (x, y) in client pixels. A
    // right button down opens the control's pop-up menu, as a person's right click does.
    // Controls that track the mouse or keys themselves add their handling to these.
    virtual void mouse_down(MouseButton button, int x, int y, ShiftState shift = {});
    virtual void mouse_up(MouseButton button, int x, int y, ShiftState shift = {});
    virtual void mouse_move(int x, int y, ShiftState shift = {});
    // A person's key (a code of keys.h): OnKeyDown.
    virtual void key_down(int key, ShiftState shift = {});

    // The canvas a control draws itself on in Repaint (a paint box, a drawn frame); nullptr for
    // the controls the backend draws. A drawing backend replays it when the control is shown.
    virtual forms::Canvas* drawing_canvas() { return nullptr; }

    // Drops on a screen: the window whose registered drop target takes what a person drags over
    // the control (0: none). Its drop points are in the form's screen: the client point moved by
    // the control's and every parent's position.
    virtual std::uint32_t drop_window() const { return 0; }
    Point client_to_screen(Point client) const;
    Point screen_to_client(Point screen) const;

  protected:
    // The control's size changed (a window's WM_SIZE).
    virtual void Resized() {}
    // Throws FormError naming the control and `action` when a person could not act on it.
    void ensure_reachable(const char* action) const;
    void fire(const NotifyEvent& event) {
        if (event) event(*this);
    }

  private:
    Control* parent_ = nullptr;
    std::vector<Control*> children_;
};

// ---- templates ----------------------------------------------------------------------------

template <class T, class... Args>
T* Component::add(std::string name, Control* parent, Args&&... args) {
    static_assert(std::is_base_of_v<Component, T>);
    check_name(name);
    auto made = std::make_unique<T>(std::forward<Args>(args)...);
    made->Name = std::move(name);
    T* raw = made.get();
    adopt(std::move(made), parent);
    return raw;
}

template <class T>
T* Component::find_or_null(std::string_view name) const {
    Component* found = find_component(name);
    if (!found) return nullptr;
    if (auto* typed = dynamic_cast<T*>(found)) return typed;
    wrong_type(*found, T::type_name);
}

template <class T>
T& Component::find(std::string_view name) const {
    Component* found = find_component(name);
    if (!found) not_found(name, T::type_name);
    if (auto* typed = dynamic_cast<T*>(found)) return *typed;
    wrong_type(*found, T::type_name);
}

template <class T>
T* Control::find_child(std::string_view name) const {
    for (Control* child : children_) {
        if (child->Name != name) continue;
        if (auto* typed = dynamic_cast<T*>(child)) return typed;
        throw FormError(describe(*child) + " is not a " + T::type_name);
    }
    return nullptr;
}

}  // namespace platform::forms
