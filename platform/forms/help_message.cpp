#include "platform/forms/help_message.h"

#include "platform/forms/form.h"

namespace platform::forms {

window::Result press_f1(Control& control) {
    Form* form = dynamic_cast<Form*>(&control);
    if (!form) form = control.form();
    if (!form) throw FormError(describe(control) + " is on no form: no help can be asked for");
    if (form != &control && !control.reachable())
        throw FormError(describe(control) + " cannot be reached: no help can be asked for");
    HelpInfo info;
    info.iCtrlId = static_cast<int>(control.Tag);
    info.hItemHandle = form->handle();
    return window::send_message(form->handle(), WM_HELP, 0, reinterpret_cast<window::LParam>(&info));
}

}  // namespace platform::forms
