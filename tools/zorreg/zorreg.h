// zorreg: the registry store's editor, in the manner of the familiar `reg` command.
//
//   zorreg query  KEY [/v NAME | /ve] [/s]
//   zorreg add    KEY [/v NAME | /ve] [/t REG_SZ|REG_DWORD|REG_BINARY] [/d DATA] [/f]
//   zorreg delete KEY [/v NAME | /ve | /va] /f
//
// KEY is a root (HKCU, HKLM, HKCR or HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT), then
// "\" and the key path: "HKCU\SOFTWARE\Hox\Zor\Task Weaver\1". Switches may begin with "/" or "-"
// and take any letter case; the word after /v, /t and /d is taken as it stands, even when it
// begins with "/". REG_DWORD data is decimal or 0x hexadecimal (-2147483648 to 4294967295);
// REG_BINARY data is hexadecimal digits, two per byte.
//
// add without /v creates the key only. add on an existing value and every delete refuse without /f
// and say so: nothing ever waits for an answer. Output is UTF-8; arguments are UTF-8 and must be
// representable in Windows-1252, the store's encoding. Exit code 0 on success, 1 on failure with
// a line beginning "ERROR:" on the error stream.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace zorreg {

// Runs one command; `args` are the words after the program name.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace zorreg
