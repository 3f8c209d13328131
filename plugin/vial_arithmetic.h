// Vial positions and trays as the host asks about them: "TRAYNAME:n", n counted in the tray's
// own numbering from 1. Answers come from the configuration model. Counts are 64-bit: a tray
// type's columns times rows can pass the 32-bit range. Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zorsetup {

// A count attribute of the tray's type ("Spl Per Col", "Spl Per Row"), truncated; 0 when it
// is not above 0 (or not a number), at most the largest 32-bit integer.
std::int64_t tray_type_count(std::string_view tray, std::string_view attribute);
// Truncated "Spl Per Col" times truncated "Spl Per Row" of the tray's type; 0 for no tray.
std::int64_t num_vials(std::string_view tray);
// The text in front of the first colon ("" without one); the number behind it when it is an
// integer of 32 bits, else 0.
std::string vial_tray_part(std::string_view vial);
int vial_position(std::string_view vial);
// 0 when the tray part is a tray and 0 < n <= num_vials(tray); 1 otherwise.
int vial_out_of_range(std::string_view vial, std::string& tray, int& number);
// Position p of a tray whose type's "Row Length X" is 0, numbered along the other axis:
// (p-1) div r + ((p-1) mod r) x c + 1. Unchanged otherwise, and when the type has no rows.
std::int64_t transposed_vial_index(int p, std::string_view tray);

}  // namespace zorsetup
