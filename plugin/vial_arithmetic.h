// Vial positions and trays as the host asks about them: "TRAYNAME:n", n counted in the tray's
// own numbering from 1. Answers come from the configuration model. Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zorsetup {

// Truncated "Spl Per Col" times truncated "Spl Per Row" of the tray's type; 0 for no tray.
int num_vials(std::string_view tray);
// The text in front of the first colon ("" without one); the number behind it when it is an
// integer, else 0.
std::string vial_tray_part(std::string_view vial);
int vial_position(std::string_view vial);
// 0 when the tray part is a tray and 0 < n <= num_vials(tray); 1 otherwise.
int vial_out_of_range(std::string_view vial, std::string& tray, int& number);
// Position p of a tray whose type's "Row Length X" is 0, numbered along the other axis:
// (p-1) div r + ((p-1) mod r) x c + 1. Unchanged otherwise, and when the type has no rows.
int transposed_vial_index(int p, std::string_view tray);

}  // namespace zorsetup
