#include "plugin/util_form.h"

#include "plugin/bridge.h"
#include "plugin/task_weaver.h"

namespace zorsetup {

using namespace platform::forms;

namespace {
// The button image: a vial rack seen from above, dark wells on a light plate.
Image button_image() {
    Image image{70, 70, std::vector<std::uint32_t>(70 * 70, 0x00E0E0E0)};
    for (int y = 0; y < 70; ++y)
        for (int x = 0; x < 70; ++x) {
            const int cx = (x / 14) * 14 + 7, cy = (y / 14) * 14 + 7;
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= 20)
                image.pixels[static_cast<std::size_t>(y * 70 + x)] = 0x00603010;
        }
    return image;
}
}  // namespace

Tutil_form::Tutil_form() : Form("Tutil_form") {
    Caption = "util_form";
    ImageList1 = add<ImageList>("ImageList1");
    ImageList1->Width = 70;
    ImageList1->Height = 70;
    ImageList1->add(button_image());
    PopupMenu1 = add<platform::forms::PopupMenu>("PopupMenu1");
    resetitem = PopupMenu1->add_item("resetitem", "Reset Zor");
    ReloadZorConfiguration1 = PopupMenu1->add_item("ReloadZorConfiguration1", "Reload Zor Configuration");
    TaskWeaver1 = PopupMenu1->add_item("TaskWeaver1", "Task Weaver");
}

void Tutil_form::set_command_ids() {
    const int ids[] = {command_reset, command_reload, command_task_weaver};
    for (int i = 0; i < 3; ++i) set_menu_item_id(PopupMenu1->handle(), i, ids[i]);
}

void execute_menu_command(int id) {
    if (id == command_reset) driver_reset();
    if (id == command_reload) driver_reload_configuration();
    if (id == command_task_weaver) bring_up_task_weaver();
}

}  // namespace zorsetup
