#include "platform/forms_qt/backend_impl.h"

namespace platform::forms_qt {

using namespace platform::forms;

const Adapters::Entry& Adapters::resolve(const Control& control) {
    const std::type_index type(typeid(control));
    if (auto it = resolved_.find(type); it != resolved_.end()) return *it->second;
    const Entry* found = nullptr;
    if (auto it = entries_.find(type); it != entries_.end()) {
        found = &it->second;
    } else {
        // The nearest registered base: walk down from the bare control while a registered
        // child of the current type is one the control is.
        found = &entries_.at(std::type_index(typeid(Control)));
        std::type_index at(typeid(Control));
        for (bool deeper = true; deeper;) {
            deeper = false;
            for (const auto& [t, e] : entries_) {
                if (e.base != at || !e.is(control)) continue;
                found = &e;
                at = t;
                deeper = true;
                break;
            }
        }
    }
    resolved_.emplace(type, found);
    return *found;
}

const Adapter& Adapters::of(const Control& control) {
    return resolve(control).adapter;
}

bool Adapters::bare(const Control& control) {
    return &resolve(control) == &entries_.at(std::type_index(typeid(Control)));
}

Adapters& adapters() {
    static Adapters all = [] {
        Adapters a;
        add_paint_adapters(a);
        add_button_adapters(a);
        add_edit_adapters(a);
        add_list_adapters(a);
        add_tree_adapters(a);
        add_form_adapters(a);
        return a;
    }();
    return all;
}

}  // namespace platform::forms_qt
