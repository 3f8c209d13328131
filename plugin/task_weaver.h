// The in-place menu's "Task Weaver" command: the cycle-editing program comes to the front when
// it runs anywhere on the desktop (a window of class "TTask_Weaver" in this process, or in
// another one on the session bus), and is started otherwise, from the host's settings
// "Executable" and "Parameters" (nothing happens when "Executable" is empty). The program is
// started on its own, no child of the host, with "Parameters" as its arguments: split at blanks,
// a text in double quotes one argument; no shell reads them. Main thread only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zorsetup {

void bring_up_task_weaver();
std::vector<std::string> split_parameters(std::string_view parameters);

}  // namespace zorsetup
