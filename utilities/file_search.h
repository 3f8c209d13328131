// Searching a folder with a file mask, as the list helpers fill their controls.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace putils {

// The names (without folder) of every entry of the mask's folder, files of any kind and
// folders alike, whose name fits the mask's last part ("/data/zor/*.PME": folder "/data/zor",
// pattern "*.PME"; a mask without "/" searches the current folder). "*" and "?" are the
// wildcards, letters compared without regard to case, a leading "." needs no special match,
// and "*.*" fits every name. "." and ".." are never listed. The names come sorted (letters
// compared without regard to case), so the order does not depend on the file system. A
// folder that cannot be read gives no names.
std::vector<std::string> find_files(std::string_view mask);

}  // namespace putils
