// The injection volumes the host may ask of the syringe Zorrun names as mounted: its
// "Min Volume" to its "Max Volume" in the configuration, two decimals, the least volume as the
// default. Main thread only.
#pragma once

#include <cstdint>
#include <optional>

namespace zorsetup {

struct InjectionVolumeLimits {
    double lower = 0;
    double higher = 0;
    std::int16_t precision = 2;
    double preset = 0;
};

// None (and why in the log) when Zorrun names no syringe (its refusal has been shown by the
// bridge) or one this configuration does not know: that syringe has no limits, which is not
// the same as 0 to 0.
std::optional<InjectionVolumeLimits> injection_volume_limits();

}  // namespace zorsetup
