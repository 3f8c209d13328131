// Hook bodies for the core's tests: every call is recorded, in order, as the hook's name, or
// as "name: text" for the hooks that carry a text.
#pragma once

#include <string>
#include <vector>

namespace core_test {

const std::vector<std::string>& recorded_hooks();
void clear_recorded_hooks();
// How often the named hook was recorded (the name alone, without text).
int hook_count(const std::string& name);

}  // namespace core_test
