// Bar-code reading and the tray type download. Both only choose a command (queue_command);
// the reply dispatcher sends it after the next completed reply and handles the answers.
#pragma once

#include <string>
#include <string_view>

namespace core {

// The item text of a list attribute of an object (the last attribute of that name counts);
// "" when the object or the attribute does not exist.
std::string get_list_attribute(std::string_view object_name, std::string_view attribute_name);
// Why a vial cannot be used, or "" when it can: the tray must be a TRAY object of the
// configuration and the position a whole number from 1 to the tray's "Max Index". Nothing of
// the texts reaches the instrument unless they pass.
std::string vial_problem(std::string_view tray, std::string_view position);
// 1 when "READ_BARCODE(tray,position)" was queued: the tray's tray type has "Barcode" =
// "AutoFix", the object "TH-9070" is a TRAY_HOLDER and the vial is one of the tray's
// (vial_problem). Otherwise "Barcode not read!" and 0.
int read_barcode(std::string_view tray, std::string_view position);
// Stores the type in the object's "TRAY TYPE" attribute; the object's index, or -1 when there
// is no such object or attribute (or the attribute holds no text, or the type does not fit
// the value slot).
int set_tray_type(std::string_view object_name, std::string_view tray_type);
// set_tray_type, then queues "DLD_OBJ " + the object's line; true when the attribute was set.
bool download_tray_type(std::string_view object_name, std::string_view tray_type);

}  // namespace core
