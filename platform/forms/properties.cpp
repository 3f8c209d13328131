#include "platform/forms/properties.h"

#include <charconv>

#include "platform/forms/application.h"
#include "platform/forms/common_controls.h"
#include "platform/forms/form.h"
#include "platform/forms/list_controls.h"
#include "platform/forms/menus.h"
#include "platform/forms/standard_controls.h"
#include "platform/forms/timer.h"

namespace platform::forms {

std::string bool_text(bool value) {
    return value ? "True" : "False";
}

bool parse_bool(std::string_view text) {
    if (text == "True" || text == "true" || text == "1") return true;
    if (text == "False" || text == "false" || text == "0") return false;
    throw FormError("not a boolean value: \"" + std::string(text) + "\"");
}

int parse_int(std::string_view text) {
    int value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) {
        throw FormError("not an integer value: \"" + std::string(text) + "\"");
    }
    return value;
}

namespace {

using V = std::string_view;

template <class T>
void reg_int(const char* name, int T::*member) {
    register_property<T>(
        name, [member](const T& c) { return std::to_string(c.*member); },
        [member](T& c, V v) { c.*member = parse_int(v); });
}

template <class T>
void reg_bool(const char* name, bool T::*member) {
    register_property<T>(
        name, [member](const T& c) { return bool_text(c.*member); },
        [member](T& c, V v) { c.*member = parse_bool(v); });
}

template <class T>
void reg_text(const char* name, std::string T::*member) {
    register_property<T>(
        name, [member](const T& c) { return c.*member; },
        [member](T& c, V v) { c.*member = std::string(v); });
}

void register_builtins() {
    reg_text<Component>("Name", &Component::Name);
    register_property<Component>(
        "Tag", [](const Component& c) { return std::to_string(c.Tag); },
        [](Component& c, V v) { c.Tag = parse_int(v); });
    register_property<Component>("ClassName", [](const Component& c) { return std::string(c.class_name()); });

    reg_int<Control>("Left", &Control::Left);
    reg_int<Control>("Top", &Control::Top);
    reg_int<Control>("Width", &Control::Width);
    reg_int<Control>("Height", &Control::Height);
    reg_bool<Control>("Visible", &Control::Visible);
    reg_bool<Control>("Enabled", &Control::Enabled);
    reg_text<Control>("Hint", &Control::Hint);
    reg_bool<Control>("ShowHint", &Control::ShowHint);
    reg_int<Control>("TabOrder", &Control::TabOrder);
    reg_bool<Control>("TabStop", &Control::TabStop);
    register_property<Control>(
        "Color", [](const Control& c) { return std::to_string(c.Color); },
        [](Control& c, V v) { c.Color = static_cast<Color>(parse_int(v)); });
    register_property<Control>("Focused", [](const Control& c) { return bool_text(c.Focused()); });

    reg_text<Label>("Caption", &Label::Caption);

    register_property<Edit>(
        "Text", [](const Edit& e) { return e.Text; }, [](Edit& e, V v) { e.type_text(v); });
    reg_bool<Edit>("ReadOnly", &Edit::ReadOnly);
    reg_int<Edit>("MaxLength", &Edit::MaxLength);

    register_property<Memo>(
        "Lines", [](const Memo& m) { return m.Lines.text(); }, [](Memo& m, V v) { m.type_text(v); });
    register_property<Memo>(
        "Text", [](const Memo& m) { return m.Lines.text(); }, [](Memo& m, V v) { m.type_text(v); });
    reg_bool<Memo>("ReadOnly", &Memo::ReadOnly);

    reg_text<Button>("Caption", &Button::Caption);
    register_property<Button>(
        "ModalResult", [](const Button& b) { return std::to_string(b.modal_result); },
        [](Button& b, V v) { b.modal_result = parse_int(v); });
    reg_bool<Button>("Default", &Button::Default);
    reg_bool<Button>("Cancel", &Button::Cancel);

    reg_text<CheckBox>("Caption", &CheckBox::Caption);
    register_property<CheckBox>(
        "Checked", [](const CheckBox& c) { return bool_text(c.Checked); },
        [](CheckBox& c, V v) { c.check(parse_bool(v)); });

    reg_text<RadioButton>("Caption", &RadioButton::Caption);
    register_property<RadioButton>(
        "Checked", [](const RadioButton& r) { return bool_text(r.Checked); },
        [](RadioButton& r, V v) {
            const bool checked = parse_bool(v);
            if (checked && !r.Checked) {
                r.click();
            } else if (!checked) {
                r.Checked = false;
            }
        });

    reg_text<RadioGroup>("Caption", &RadioGroup::Caption);
    register_property<RadioGroup>("Items", [](const RadioGroup& g) { return g.Items.text(); });
    register_property<RadioGroup>(
        "ItemIndex", [](const RadioGroup& g) { return std::to_string(g.ItemIndex); },
        [](RadioGroup& g, V v) { g.select(parse_int(v)); });

    reg_text<GroupBox>("Caption", &GroupBox::Caption);
    reg_text<Panel>("Caption", &Panel::Caption);

    register_property<ListBox>(
        "Items", [](const ListBox& l) { return l.Items.text(); },
        [](ListBox& l, V v) { l.Items.set_text(v); });
    register_property<ListBox>(
        "ItemIndex", [](const ListBox& l) { return std::to_string(l.ItemIndex); },
        [](ListBox& l, V v) { l.select(parse_int(v)); });
    register_property<ListBox>("Text", [](const ListBox& l) { return l.selected_text(); });
    register_property<ListBox>("Count", [](const ListBox& l) { return std::to_string(l.Items.count()); });
    register_property<ListBox>("Sorted", [](const ListBox& l) { return bool_text(l.Sorted); });

    register_property<ComboBox>(
        "Items", [](const ComboBox& c) { return c.Items.text(); },
        [](ComboBox& c, V v) { c.Items.set_text(v); });
    register_property<ComboBox>(
        "ItemIndex", [](const ComboBox& c) { return std::to_string(c.ItemIndex); },
        [](ComboBox& c, V v) { c.select(parse_int(v)); });
    register_property<ComboBox>(
        "Text", [](const ComboBox& c) { return c.text(); },
        [](ComboBox& c, V v) {
            if (c.Style != ComboStyle::drop_down_list) {
                c.type_text(v);
                return;
            }
            const int index = c.Items.index_of(v);
            if (index < 0) throw FormError(describe(c) + " has no item \"" + std::string(v) + "\"");
            c.select(index);
        });
    register_property<ComboBox>("Count", [](const ComboBox& c) { return std::to_string(c.Items.count()); });
    register_property<ComboBox>("Sorted", [](const ComboBox& c) { return bool_text(c.Sorted); });
    register_property<ComboBox>("Style", [](const ComboBox& c) {
        switch (c.Style) {
            case ComboStyle::drop_down:
                return std::string("drop_down");
            case ComboStyle::drop_down_list:
                return std::string("drop_down_list");
            case ComboStyle::simple:
                return std::string("simple");
        }
        return std::string();
    });

    reg_text<StatusBar>("SimpleText", &StatusBar::SimpleText);
    reg_bool<StatusBar>("SimplePanel", &StatusBar::SimplePanel);
    reg_int<ProgressBar>("Min", &ProgressBar::Min);
    reg_int<ProgressBar>("Max", &ProgressBar::Max);
    reg_int<ProgressBar>("Position", &ProgressBar::Position);
    reg_int<ProgressBar>("Step", &ProgressBar::Step);

    register_property<Timer>(
        "Enabled", [](const Timer& t) { return bool_text(t.enabled()); },
        [](Timer& t, V v) { t.set_enabled(parse_bool(v)); });
    register_property<Timer>(
        "Interval", [](const Timer& t) { return std::to_string(t.interval()); },
        [](Timer& t, V v) { t.set_interval(static_cast<unsigned>(parse_int(v))); });

    reg_text<MenuItem>("Caption", &MenuItem::Caption);
    reg_bool<MenuItem>("Visible", &MenuItem::Visible);
    reg_bool<MenuItem>("Enabled", &MenuItem::Enabled);
    reg_bool<MenuItem>("Checked", &MenuItem::Checked);
    reg_bool<PopupMenu>("AutoHotkeys", &PopupMenu::AutoHotkeys);
    register_property<PopupMenu>("PopupComponent", [](const PopupMenu& m) {
        return m.PopupComponent ? m.PopupComponent->Name : std::string();
    });

    // Forms last, so their Visible (Show and Hide) is found before the control's plain flag.
    reg_text<Form>("Caption", &Form::Caption);
    register_property<Form>(
        "Visible", [](const Form& f) { return bool_text(f.Visible); },
        [](Form& f, V v) { parse_bool(v) ? f.Show() : f.Hide(); });
    register_property<Form>(
        "ModalResult", [](const Form& f) { return std::to_string(f.modal_result); },
        [](Form& f, V v) { f.modal_result = parse_int(v); });
    reg_int<Form>("ClientWidth", &Form::ClientWidth);
    reg_int<Form>("ClientHeight", &Form::ClientHeight);
    register_property<Form>("FormStyle", [](const Form& f) {
        return std::string(f.FormStyle == FormStyle::stay_on_top ? "stay_on_top" : "normal");
    });
    register_property<Form>("Active", [](const Form& f) { return bool_text(f.active()); });
    register_property<Form>("Modal", [](const Form& f) { return bool_text(f.modal()); });
}

PropertyTable& table() {
    auto& slot = forms_state().properties;
    if (!slot) {
        slot = std::make_unique<PropertyTable>();
        register_builtins();
    }
    return *slot;
}

// The last registration wins: base classes are registered before their subclasses, and a
// later subsystem's registration before... after the built-ins, so it can refine them.
const PropertyInfo* lookup(const Component& component, std::string_view name) {
    const auto& entries = table().entries;
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (it->name == name && it->applies(component)) return &*it;
    }
    return nullptr;
}

const PropertyInfo& require(const Component& component, std::string_view name) {
    const PropertyInfo* info = lookup(component, name);
    if (!info) throw FormError(describe(component) + " has no property '" + std::string(name) + "'");
    return *info;
}

char fold(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool same_text(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

}  // namespace

void register_property_info(PropertyInfo info) {
    auto& slot = forms_state().properties;
    if (!slot) {
        slot = std::make_unique<PropertyTable>();
        register_builtins();  // first, so that later registrations refine them
    }
    slot->entries.push_back(std::move(info));
}

bool has_property(const Component& component, std::string_view name) {
    return lookup(component, name) != nullptr;
}

std::string get_property(const Component& component, std::string_view name) {
    return require(component, name).get(component);
}

void set_property(Component& component, std::string_view name, std::string_view value) {
    const PropertyInfo& info = require(component, name);
    if (!info.set)
        throw FormError("property '" + std::string(name) + "' of " + describe(component) + " is read-only");
    info.set(component, value);
}

std::vector<std::string> property_names(const Component& component) {
    std::vector<std::string> out;
    for (const auto& info : table().entries) {
        if (!info.applies(component)) continue;
        bool seen = false;
        for (const auto& n : out) seen = seen || n == info.name;
        if (!seen) out.push_back(info.name);
    }
    return out;
}

void perform_action(Component& component, std::string_view action, std::string_view argument) {
    auto fail = [&]() -> void {
        throw FormError(describe(component) + " has no action '" + std::string(action) + "'");
    };
    auto* control = dynamic_cast<Control*>(&component);
    auto* form = dynamic_cast<Form*>(&component);
    if (action == "click") {
        if (auto* item = dynamic_cast<MenuItem*>(&component)) return item->click();
        if (control && !form) return control->click();
    } else if (action == "double_click") {
        if (control && !form) return control->double_click();
    } else if (action == "select") {
        const int index = parse_int(argument);
        if (auto* l = dynamic_cast<ListBox*>(&component)) return l->select(index);
        if (auto* c = dynamic_cast<ComboBox*>(&component)) return c->select(index);
        if (auto* g = dynamic_cast<RadioGroup*>(&component)) return g->select(index);
        if (auto* v = dynamic_cast<ListView*>(&component)) return v->select(index);
    } else if (action == "type") {
        if (auto* e = dynamic_cast<Edit*>(&component)) return e->type_text(argument);
        if (auto* m = dynamic_cast<Memo*>(&component)) return m->type_text(argument);
        if (auto* c = dynamic_cast<ComboBox*>(&component)) return c->type_text(argument);
    } else if (action == "drop_down") {
        if (auto* c = dynamic_cast<ComboBox*>(&component)) return c->drop_down();
    } else if (action == "popup") {
        if (auto* menu = dynamic_cast<PopupMenu*>(&component)) {
            Form* owner = menu->owning_form();
            Control* on = (owner && !argument.empty()) ? &owner->find<Control>(argument) : nullptr;
            return menu->popup(on);
        }
    } else if (action == "focus") {
        if (control && !form) return control->SetFocus();
    } else if (form && action == "close") {
        return form->Close();
    } else if (form && action == "close_by_caption") {
        return form->close_by_caption();
    } else if (form && action == "enter") {
        return form->press_enter();
    } else if (form && action == "escape") {
        return form->press_escape();
    }
    fail();
}

Component* resolve_component(std::string_view path) {
    const std::size_t dot = path.find('.');
    const std::string_view form_class = path.substr(0, dot);
    const auto& forms = screen().forms();
    Form* form = nullptr;
    for (auto it = forms.rbegin(); it != forms.rend(); ++it) {
        if (same_text((*it)->class_name(), form_class)) {
            form = *it;
            break;
        }
    }
    if (!form) return nullptr;
    if (dot == std::string_view::npos) return form;
    return form->find_component(path.substr(dot + 1));
}

}  // namespace platform::forms
