// Tab order: the order in which Tab moves the focus among the controls of a form.
//
// Each parent orders its own children by TabOrder (equal numbers keep the order the children
// were given the parent). Tab walks the form depth first: a control, then its children in
// their order. Only reachable, enabled controls with TabStop set take part. Main thread only.
#pragma once

#include <vector>

namespace platform::forms {

class Control;
class Form;

// The direct children of `parent` that have TabStop, by TabOrder.
std::vector<Control*> tab_order_children(const Control& parent);
// Every control of the form that Tab can reach, in the order Tab visits them.
std::vector<Control*> tab_sequence(const Form& form);
// A person pressing Tab (Shift-Tab: backward): the focus moves to the next control of the
// sequence, wrapping round; OnExit and OnEnter fire. Returns the control that got the focus,
// or nullptr when the form has none that can take it.
Control* press_tab(Form& form, bool backward = false);

}  // namespace platform::forms
