// Tutil_form: a form that is never shown; it carries the instrument's button image (ImageList1,
// one 70 x 70 image) and the in-place menu (PopupMenu1) that the host shows. The items have no
// click handlers: the host reports the chosen command id through ExecuteCommand. The host holds
// both by their handles (platform/forms/handles.h). Main thread only.
#pragma once

#include "platform/forms/controls.h"

namespace zorsetup {

inline constexpr int command_reset = 14998;
inline constexpr int command_reload = 14997;
inline constexpr int command_task_weaver = 14996;

class Tutil_form : public platform::forms::Form {
  public:
    Tutil_form();
    platform::forms::ImageList* ImageList1;
    platform::forms::PopupMenu* PopupMenu1;
    platform::forms::MenuItem* resetitem;
    platform::forms::MenuItem* ReloadZorConfiguration1;
    platform::forms::MenuItem* TaskWeaver1;
    // Items 0, 1, 2 get the command ids 14998, 14997, 14996, set through the menu's handle.
    void set_command_ids();
};

// The command the host reports for a chosen item: Reset Zor, Reload Zor Configuration (both
// through Zorrun) or Task Weaver; any other id does nothing.
void execute_menu_command(int id);

}  // namespace zorsetup
