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

// The host's question whether a vial exists. A tray of the configuration: 0 when
// 0 < position <= num_vials(tray), else 1. Another tray: result_unknown_tray outside an
// acquisition; during one 1, with the tray given back in `other_tray`.
std::int32_t check_vial(std::string_view tray, std::int64_t position, std::int32_t acquisition,
                        std::string& other_tray);
// The vial after `current` in the tray ("TRAY:1" when there is no current vial); "" past the
// tray's last vial.
std::string next_vial(std::string_view current, std::string_view tray);
// The tray after the one named (the first when none is named); "" past the last or for a name
// that is no tray.
std::string next_tray(std::string_view current);
// The tray's columns and rows as the host draws it: a type whose rows do not run along X and
// whose row is shorter than its column is drawn turned.
void tray_columns_and_rows(std::string_view tray, std::int32_t& columns, std::int32_t& rows);
// A vial counted over every tray: the vials of the trays in front of tray number `tray_number`
// (from 1), then its index in that tray.
std::int64_t vial_index_over_trays(int tray_number, std::int64_t vial_index);

}  // namespace zorsetup
