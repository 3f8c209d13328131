// Port probe and the "Select Port" dialog.
//
// PortIsFree(n) tells whether serial port n names a device that exists here: it opens
// "\\.\COM<n>" through a throw-away dispatcher (no threads, no line settings) and closes it again;
// a port that another holder has open (access denied) counts as present. Port 0 never is.
//
// TComSelectForm is the modal dialog the port component shows when it is opened without a port
// number and PromptForPort is set: it lists "COM1" to "COM50" where PortIsFree holds and selects
// the first; OK (modal result 1) gives SelectedPortNumber, Cancel gives 3.
//
// Main thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/forms/form.h"
#include "platform/forms/list_controls.h"
#include "platform/forms/standard_controls.h"

namespace serial {

inline constexpr int kHighestListedPort = 50;

// The unit's two settings (both on): probe through a dispatcher rather than a direct device
// open; a port whose open is refused with access denied counts as present.
struct SelectPortUnitState {
    bool probe_with_dispatcher = true;
    bool access_denied_means_present = true;
};
SelectPortUnitState& select_port_unit_state();
void reset_select_port_unit_state_for_tests();

bool PortIsFree(std::uint16_t n);

class TComSelectForm : public platform::forms::Form {
  public:
    TComSelectForm();

    platform::forms::Label* Label1 = nullptr;
    platform::forms::Label* Label2 = nullptr;
    platform::forms::Bevel* Bevel1 = nullptr;
    platform::forms::ComboBox* PortsComboBox = nullptr;
    platform::forms::BitBtn* OkBtn = nullptr;
    platform::forms::BitBtn* AbortBtn = nullptr;

    // Fills the list (OnCreate).
    void FormCreate(platform::forms::Component& sender);
    // The number of the selected entry (its text from the fourth character on). -1 when no entry
    // is selected (the list is empty).
    int SelectedPortNumber() const;
};

}  // namespace serial
