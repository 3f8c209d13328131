// The configuration zorsim serves when it is given none: the sample configuration of
// examples/zor_config.pol, compiled in at build time.
#pragma once

#include <string_view>

namespace zorsim {

// The file's bytes exactly (Windows-1252, CR LF line ends).
std::string_view builtin_config_text();

}  // namespace zorsim
