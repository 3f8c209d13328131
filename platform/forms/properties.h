// Control properties by name: one table that form tests, the inspector of another process and
// any generic code share, so "Text" of an edit means the same everywhere.
//
// Values travel as text: integers in decimal, booleans as "True"/"False" (set also accepts
// "true", "false", "1", "0"), texts as they are, string lists as their lines joined with CR LF.
//
// Setting a property that a person changes by acting on the control acts as that person does
// and fires the same events: "Text" of an edit, memo or drop-down combo box is typed
// (OnChange); "Text" of a drop-down list selects the item with that text; "ItemIndex" of a
// list box, combo box or radio group is a selection (OnClick / OnChange); "Checked" of a check
// box or radio button is a click when it changes. Every other property is a plain assignment.
//
// Unknown properties, read-only ones and values that do not parse throw FormError.
//
// The built-in properties are registered when the table is first used; register_property adds
// more (for a control class of a later subsystem). A property registered for a class applies
// to its subclasses too; the last registration that applies wins, so register a base class
// before its subclasses, and a subclass may refine a property of its base.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/forms/component.h"

namespace platform::forms {

struct PropertyInfo {
    std::string name;
    const char* class_name = "";  // the class it was registered for
    std::function<bool(const Component&)> applies;
    std::function<std::string(const Component&)> get;
    std::function<void(Component&, std::string_view)> set;  // empty: read-only
};

struct PropertyTable {
    std::vector<PropertyInfo> entries;
};

void register_property_info(PropertyInfo info);

template <class T>
void register_property(std::string name, std::function<std::string(const T&)> get,
                       std::function<void(T&, std::string_view)> set = {}) {
    PropertyInfo info;
    info.name = std::move(name);
    info.class_name = T::type_name;
    info.applies = [](const Component& c) {
        if constexpr (std::is_same_v<T, Component>) {
            return true;
        } else {
            return dynamic_cast<const T*>(&c) != nullptr;
        }
    };
    info.get = [get = std::move(get)](const Component& c) { return get(dynamic_cast<const T&>(c)); };
    if (set) {
        info.set = [set = std::move(set)](Component& c, std::string_view v) { set(dynamic_cast<T&>(c), v); };
    }
    register_property_info(std::move(info));
}

bool has_property(const Component& component, std::string_view name);
std::string get_property(const Component& component, std::string_view name);
void set_property(Component& component, std::string_view name, std::string_view value);
// The names of every property the component has, in registration order.
std::vector<std::string> property_names(const Component& component);

// Actions of a person, by name, for the same generic users: "click" (controls, menu items),
// "double_click", "select" (list box, combo box, radio group, list view: argument the index),
// "type" (edit, memo, combo box: argument the text), "drop_down" (combo box), "popup" (pop-up
// menu: argument the name of the control it opens on), "close", "close_by_caption", "enter",
// "escape" (forms), "focus" (controls). Throws FormError on an unknown action.
void perform_action(Component& component, std::string_view action, std::string_view argument = {});

// A component by path: "<form class>" for a form (compared without regard to case; the
// most recently created of that class) or "<form class>.<component name>". nullptr when
// nothing matches.
Component* resolve_component(std::string_view path);

// Text forms of the value kinds (for register_property users).
std::string bool_text(bool value);
bool parse_bool(std::string_view text);  // throws FormError
int parse_int(std::string_view text);    // throws FormError

}  // namespace platform::forms
