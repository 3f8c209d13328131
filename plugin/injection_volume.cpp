#include "plugin/injection_volume.h"

#include <string>

#include "core/config_model.h"
#include "plugin/bridge.h"
#include "utilities/log.h"

namespace zorsetup {

std::optional<InjectionVolumeLimits> injection_volume_limits() {
    const std::string syringe = driver_get_syringe();
    if (syringe.empty()) {
        putils::append_log("zorsetup : provideinjectionvolumelimits - no syringe from Zorrun");
        return std::nullopt;
    }
    if (core::find_object(syringe) >= core::config_model().object_count) {
        putils::append_log("zorsetup : provideinjectionvolumelimits - the syringe " + syringe +
                           " is not in the configuration");
        return std::nullopt;
    }
    InjectionVolumeLimits limits;
    limits.lower = core::get_number_attribute(syringe, "Min Volume");
    limits.higher = core::get_number_attribute(syringe, "Max Volume");
    limits.preset = limits.lower;
    return limits;
}

}  // namespace zorsetup
