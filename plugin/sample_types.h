// The sample types zorsetup starts its session with: the tray dialog's "Add Vial type" list,
// after the requested tray (the list's first field, empty here).
#pragma once

namespace zorsetup {

inline constexpr const char* sample_type_list =
    ";Unknown;UN;Blank;BL;QC;QC;Standard Clear;SC;Standard Update;SU;Standard Bracket;SB;"
    "Standard Bracket Start;BS;Standard Bracket End;BE;Program;PR;";

}  // namespace zorsetup
