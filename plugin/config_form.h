// Tconfig_form, "Zor Configuration": the serial port of the Zor (changed at once, and Zorrun
// told), the method folder (stored when the dialog goes), and "Get Configuration from Zor".
//
// Where the dialog differs from a literal reading, for the user's sake: closing it while no
// folder is selected (an empty folder list) keeps the "Method Folder" setting as it was
// instead of storing an empty folder; a folder-browse OK on something that is not a folder of
// the file system (the desktop, Computer) changes nothing, so no empty folder reaches the
// list; and a folder whose name this program's texts cannot hold is refused with a message
// rather than kept under another name. "Get Configuration from Zor" shows, in the dialog's
// caption and button, that Zorrun receives the configuration and when it is done: the upload
// runs in Zorrun, whose own progress form a person may not see. Main thread only.
#pragma once

#include <string>
#include <string_view>

#include "platform/forms/controls.h"
#include "shellctl/kw_folder_browse_dlg.h"

namespace zorsetup {

class Tconfig_form : public platform::forms::Form {
  public:
    Tconfig_form();

    platform::forms::GroupBox* GroupBox1;
    platform::forms::ComboBox* folder_combo_box;
    platform::forms::BitBtn* browse_button;
    platform::forms::GroupBox* GroupBox2;
    platform::forms::ComboBox* port_box;
    platform::forms::Button* get_config_button;
    platform::forms::BitBtn* help_button;
    platform::forms::BitBtn* done_button;
    shellctl::TKwFolderBrowseDlg* folder_browser;
    // Follows Zorrun's upload after "Get Configuration from Zor".
    platform::forms::Timer* upload_watch;

    // Ports 0 to 31 that PortIsFree reports, "COM" + n; `selected` becomes the selection.
    void fill_port_box(int selected);
    // The number in the selected entry (the at most two characters after "COM"); -1 for none.
    int port_from_box() const;
    // The folder becomes the first entry and the selection; a later equal one goes.
    void folder_to_top(std::string_view folder);
    // The folder-browse dialog at the selected folder; on OK its folder goes to the top.
    void browse_buttonClick();

  private:
    void FormCreate();
    void FormActivate();
    void FormDestroy();
    void port_boxChange();
    void get_config_buttonClick();
    void upload_watchTimer();
    void end_upload_sign();
    bool upload_seen_ = false;
    int idle_polls_ = 0;
};

// The Config interface's LaunchConfigDialog: shown modally, freed (which stores the folder).
void launch_config_dialog();

}  // namespace zorsetup
