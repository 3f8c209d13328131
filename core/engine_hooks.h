// What the configuration and method engine asks of the rest of the core and of the deliverable
// that links it: where its debug lines go, and how an out-of-range parameter value is settled.
//
// Both are plain function pointers set at session start (main thread only). Unset, debug lines
// are dropped and an out-of-range value is pulled back to the violated bound without asking,
// which is what the setup library does; the run-time driver installs its range dialog.
#pragma once

#include <string_view>

namespace core {

using DebugLineSink = void (*)(std::string_view line);

// Settles a value outside [min, max]: returns the value to use. `bound` is the violated bound,
// proposed to the user.
using OutOfRangeAsker = double (*)(std::string_view context, std::string_view unit, double max, double min,
                                   double bound, double value);

struct EngineHooks {
    DebugLineSink debug_line = nullptr;
    OutOfRangeAsker ask_out_of_range = nullptr;
};

EngineHooks& engine_hooks();
void reset_engine_hooks();

// Sends a line to the debug sink, when one is set.
void engine_debug_line(std::string_view line);

}  // namespace core
