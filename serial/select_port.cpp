// Port probe and the "Select Port" dialog.
#include "serial/select_port.h"

#include <cstdlib>

#include "platform/comm/comm.h"
#include "serial/win32_dispatcher.h"

namespace serial {

namespace comm = platform::comm;
namespace forms = platform::forms;

SelectPortUnitState& select_port_unit_state() {
    static SelectPortUnitState state;
    return state;
}

void reset_select_port_unit_state_for_tests() {
    select_port_unit_state() = SelectPortUnitState{};
}

bool PortIsFree(std::uint16_t n) {
    if (n == 0) return false;
    const auto& unit = select_port_unit_state();
    std::string name = "\\\\.\\COM" + std::to_string(n);
    std::uint32_t error = 0;
    bool opened = false;
    if (unit.probe_with_dispatcher) {
        // A throw-away dispatcher without an owner: it holds a slot of the dispatcher list while
        // it lives, starts no thread and touches no line setting.
        TSpWin32Dispatcher probe(nullptr);
        std::int32_t handle = probe.OpenDeviceHandle(name, 64, 64);
        if (handle > 0) {
            opened = true;
            comm::close_device(handle);
        } else {
            error = probe.LastOpenError();
        }
    } else {
        comm::OpenResult r = comm::open_device(name);
        if (r.handle != comm::no_handle && !r.error) {
            opened = true;
            comm::close_device(r.handle);
        } else {
            error = r.error.code;
        }
    }
    if (opened) return true;
    return unit.access_denied_means_present && error == comm::error::access_denied;
}

TComSelectForm::TComSelectForm() : Form("TComSelectForm") {
    Name = "ComSelectForm";
    Caption = "Select Port";
    BorderStyle = forms::FormBorderStyle::dialog;
    BorderIcons = {true, false, false, false};
    Position = forms::FormPosition::screen_center;
    ClientWidth = 220;
    ClientHeight = 131;
    Font.Name = "MS Sans Serif";
    Font.Height = -11;
    Font.Color = forms::clBlack;

    Bevel1 = add<forms::Bevel>("Bevel1");
    Bevel1->SetBounds(8, 8, 201, 42);
    Label1 = add<forms::Label>("Label1");
    Label1->SetBounds(18, 14, 0, 0);
    Label1->Caption = "The configured serial port is not valid.";
    Label2 = add<forms::Label>("Label2");
    Label2->SetBounds(18, 30, 0, 0);
    Label2->Caption = "Please choose another port.";
    PortsComboBox = add<forms::ComboBox>("PortsComboBox");
    PortsComboBox->SetBounds(8, 64, 201, 21);
    PortsComboBox->Style = forms::ComboStyle::drop_down_list;
    PortsComboBox->TabOrder = 2;
    OkBtn = add<forms::BitBtn>("OkBtn");
    OkBtn->SetBounds(8, 95, 85, 27);
    OkBtn->Caption = "OK";
    OkBtn->Kind = forms::BitBtnKind::ok;
    OkBtn->Default = true;
    OkBtn->modal_result = forms::mr_ok;
    OkBtn->TabOrder = 0;
    AbortBtn = add<forms::BitBtn>("AbortBtn");
    AbortBtn->SetBounds(124, 95, 85, 27);
    AbortBtn->Caption = "Cancel";
    AbortBtn->Kind = forms::BitBtnKind::cancel;
    AbortBtn->modal_result = forms::mr_abort;
    AbortBtn->TabOrder = 1;

    OnCreate = [this](forms::Component& sender) { FormCreate(sender); };
}

void TComSelectForm::FormCreate(forms::Component&) {
    for (int n = 1; n <= kHighestListedPort; ++n)
        if (PortIsFree(static_cast<std::uint16_t>(n))) PortsComboBox->Items.add("COM" + std::to_string(n));
    PortsComboBox->ItemIndex = PortsComboBox->Items.count() > 0 ? 0 : -1;
}

int TComSelectForm::SelectedPortNumber() const {
    int index = PortsComboBox->ItemIndex;
    if (index < 0 || index >= PortsComboBox->Items.count()) return -1;
    std::string text = PortsComboBox->Items[index];
    if (text.size() <= 3) return -1;
    std::string digits = text.substr(3, 255);
    char* end = nullptr;
    long n = std::strtol(digits.c_str(), &end, 10);
    if (end == digits.c_str() || *end != '\0') return -1;
    return static_cast<int>(n);
}

}  // namespace serial
