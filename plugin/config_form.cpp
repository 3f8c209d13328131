#include "plugin/config_form.h"

#include "core/line_files.h"
#include "plugin/bridge.h"
#include "plugin/method_editor.h"
#include "serial/select_port.h"
#include "utilities/form_helpers.h"
#include "utilities/message_boxes.h"
#include "utilities/session.h"
#include "utilities/settings.h"
#include "utilities/text.h"

namespace zorsetup {

using namespace platform::forms;

namespace {
constexpr const char* caption = "Zor Configuration";
constexpr const char* get_config_text = "Get Configuration from Zor";
constexpr const char* receiving_text = "Receiving configuration from Zor";
// How often the dialog asks whether Zorrun still receives, and how many answers of "not yet"
// it waits for the upload to begin (ten seconds).
constexpr unsigned upload_watch_ms = 250;
constexpr int upload_start_polls = 40;
}  // namespace

Tconfig_form::Tconfig_form() : Form("Tconfig_form") {
    Caption = caption;
    BorderStyle = FormBorderStyle::dialog;
    SetBounds(0, 0, 330, 250);
    GroupBox1 = add<GroupBox>("GroupBox1");
    GroupBox1->Caption = "Method Folder";
    GroupBox1->SetBounds(8, 8, 305, 80);
    folder_combo_box = add<ComboBox>("folder_combo_box", GroupBox1);
    folder_combo_box->Style = ComboStyle::drop_down_list;
    folder_combo_box->SetBounds(8, 20, 289, 21);
    browse_button = add<BitBtn>("browse_button", GroupBox1);
    browse_button->Caption = "Browse";
    browse_button->SetBounds(8, 48, 75, 25);
    browse_button->OnClick = [this](Component&) { browse_buttonClick(); };
    GroupBox2 = add<GroupBox>("GroupBox2");
    GroupBox2->Caption = "Serial Port";
    GroupBox2->SetBounds(8, 96, 305, 56);
    port_box = add<ComboBox>("port_box", GroupBox2);
    port_box->Style = ComboStyle::drop_down_list;
    port_box->SetBounds(8, 20, 97, 21);
    port_box->OnChange = [this](Component&) { port_boxChange(); };
    get_config_button = add<Button>("get_config_button");
    get_config_button->Caption = get_config_text;
    get_config_button->SetBounds(8, 160, 305, 25);
    get_config_button->OnClick = [this](Component&) { get_config_buttonClick(); };
    help_button = add<BitBtn>("help_button");
    help_button->Caption = "Help";
    help_button->SetBounds(8, 192, 75, 25);
    help_button->OnClick = [this](Component&) { show_help(handle()); };
    done_button = add<BitBtn>("done_button");
    done_button->Caption = "OK";
    done_button->SetBounds(238, 192, 75, 25);
    done_button->OnClick = [this](Component&) { Close(); };
    folder_browser = add<shellctl::TKwFolderBrowseDlg>("folder_browser");
    upload_watch = add<Timer>("upload_watch");
    upload_watch->set_enabled(false);
    upload_watch->set_interval(upload_watch_ms);
    upload_watch->OnTimer = [this](Component&) { upload_watchTimer(); };
    OnCreate = [this](Component&) { FormCreate(); };
    OnActivate = [this](Component&) { FormActivate(); };
    OnDestroy = [this](Component&) { FormDestroy(); };
}

void Tconfig_form::FormCreate() {
    putils::place_form(*this);
    std::vector<std::string> folders;
    putils::read_folder_list(folders);
    for (auto& f : folders) folder_combo_box->Items.add(std::move(f));
    // A method folder set without browsing (the setting written by hand or by a program) is not
    // in the list yet: it heads it, so the box shows the folder in use.
    const std::string& folder = putils::session().method_folder;
    if (!folder.empty() && folder_combo_box->Items.index_of(folder) < 0)
        folder_combo_box->Items.insert(0, folder);
    putils::select_combo_item(*folder_combo_box, folder);
}

void Tconfig_form::FormActivate() {
    fill_port_box(putils::read_port_setting());
}

void Tconfig_form::fill_port_box(int selected) {
    port_box->Items.clear();
    port_box->ItemIndex = -1;
    for (int n = 0; n <= 31; ++n) {
        if (!serial::PortIsFree(static_cast<std::uint16_t>(n))) continue;
        const int index = port_box->Items.add("COM" + std::to_string(n));
        if (n == selected) port_box->ItemIndex = index;
    }
}

int Tconfig_form::port_from_box() const {
    if (port_box->ItemIndex < 0 || port_box->ItemIndex >= port_box->Items.count()) return -1;
    const std::string& entry = port_box->Items[port_box->ItemIndex];
    return entry.size() > 3 ? putils::text_to_int(entry.substr(3, 2)) : -1;
}

void Tconfig_form::port_boxChange() {
    const int port = port_from_box();
    if (port < 0) return;
    putils::write_port_setting(port);
    driver_change_ports(port);
}

void Tconfig_form::get_config_buttonClick() {
    // A refusal is shown by the bridge. An upload already running is followed the same way.
    std::int32_t uploading = 0;
    if (platform::com::failed(driver_uploading(uploading))) return;
    if (uploading == 0 && platform::com::failed(driver_reload_configuration())) return;
    upload_seen_ = uploading != 0;
    idle_polls_ = 0;
    Caption = std::string(caption) + " - " + receiving_text;
    get_config_button->Caption = receiving_text;
    get_config_button->Enabled = false;
    upload_watch->set_enabled(true);
}

void Tconfig_form::upload_watchTimer() {
    std::int32_t uploading = 0;
    if (platform::com::failed(driver_uploading(uploading))) return end_upload_sign();
    if (uploading != 0) {
        upload_seen_ = true;
        return;
    }
    // Not begun yet: the instrument answers the change of its line speed first. An upload that
    // never begins (an instrument that does not answer) ends the sign after a while too.
    if (!upload_seen_ && ++idle_polls_ < upload_start_polls) return;
    end_upload_sign();
}

void Tconfig_form::end_upload_sign() {
    upload_watch->set_enabled(false);
    Caption = caption;
    get_config_button->Caption = get_config_text;
    get_config_button->Enabled = true;
}

void Tconfig_form::folder_to_top(std::string_view folder) {
    auto& items = folder_combo_box->Items;
    items.insert(0, std::string(folder));
    folder_combo_box->ItemIndex = 0;
    for (int i = 1; i < items.count(); ++i) {
        if (putils::same_text(items[i], folder)) {
            items.erase(i);
            break;
        }
    }
    folder_combo_box->ItemIndex = 0;
}

void Tconfig_form::browse_buttonClick() {
    const int index = folder_combo_box->ItemIndex;
    const bool selected = index >= 0 && index < folder_combo_box->Items.count();
    // Folder texts are the system's 8-bit texts; the file system's names are UTF-8.
    folder_browser->SetSelectedPath(selected ? core::file_name_to_utf8(folder_combo_box->Items[index])
                                             : std::string{});
    if (!folder_browser->Execute()) return;
    const std::string chosen = folder_browser->GetSelectedPath();
    if (chosen.empty()) return;  // not a folder of the file system: nothing to choose
    std::string folder;
    core::TextProblem problem;
    if (!core::decode_text(chosen, folder, problem) || core::file_name_to_utf8(folder) != chosen) {
        // The name has characters the 8-bit texts cannot hold: kept under another name, it
        // would name another folder.
        putils::show_error(
            "The chosen folder cannot be the method folder: its name holds characters that cannot be kept.");
        return;
    }
    folder_to_top(folder);
}

void Tconfig_form::FormDestroy() {
    const int index = folder_combo_box->ItemIndex;
    if (index >= 0 && index < folder_combo_box->Items.count()) {
        putils::session().method_folder = folder_combo_box->Items[index];
        putils::reg_write_string("Method Folder", putils::session().method_folder);
    }
    putils::write_folder_list(folder_combo_box->Items.strings());
}

void launch_config_dialog() {
    auto form = make_form<Tconfig_form>();
    form->ShowModal();
}

}  // namespace zorsetup
