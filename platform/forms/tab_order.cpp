#include "platform/forms/tab_order.h"

#include <algorithm>

#include "platform/forms/form.h"

namespace platform::forms {

namespace {

std::vector<Control*> ordered_children(const Control& parent) {
    std::vector<Control*> children = parent.children();
    std::stable_sort(children.begin(), children.end(),
                     [](const Control* a, const Control* b) { return a->TabOrder < b->TabOrder; });
    return children;
}

void walk(const Control& parent, std::vector<Control*>& out) {
    for (Control* child : ordered_children(parent)) {
        if (!child->Visible || !child->Enabled) continue;
        if (child->TabStop) out.push_back(child);
        walk(*child, out);
    }
}

}  // namespace

std::vector<Control*> tab_order_children(const Control& parent) {
    std::vector<Control*> out;
    for (Control* child : ordered_children(parent))
        if (child->TabStop) out.push_back(child);
    return out;
}

std::vector<Control*> tab_sequence(const Form& form) {
    std::vector<Control*> out;
    walk(form, out);
    return out;
}

Control* press_tab(Form& form, bool backward) {
    const std::vector<Control*> sequence = tab_sequence(form);
    if (sequence.empty()) return nullptr;
    const auto n = static_cast<long>(sequence.size());
    const auto at = std::find(sequence.begin(), sequence.end(), form.ActiveControl);
    long next = 0;
    if (at == sequence.end())
        next = backward ? n - 1 : 0;
    else
        next = ((at - sequence.begin()) + (backward ? n - 1 : 1)) % n;
    form.set_focus(sequence[static_cast<std::size_t>(next)]);
    return sequence[static_cast<std::size_t>(next)];
}

}  // namespace platform::forms
