// The run's variables, as method expressions and object arguments see them.
//
// The run preparation sets the sample's values, the step executor the index, user index and
// repeat counters, the reply dispatcher the mounted syringe; the expression evaluators and the
// command builder only read them. Main thread only.
#pragma once

#include <cstdint>
#include <string>

namespace core {

struct RunVariables {
    double sample_volume = 0;              // "SL.volume" (µl): the sample's injection volume
    double sample_volume2 = 0;             // "SL.volume2" (µl): nothing sets it
    std::int32_t sample_index = 0;         // "SL.index": the sample's vial number
    std::int32_t injections_per_vial = 0;  // "SL.injpervial": nothing sets it
    std::int32_t user_index = 0;           // "user_index"
    // The running REPEAT: its count and the passes still to go ("Repeat Count" is the number of
    // the current pass, 1 on the first).
    std::int32_t repeat_total = 0;
    std::int32_t repeat_remaining = 0;
    // Object variables: "SYR" is the mounted syringe as the instrument reported it; "SL.tray"
    // the tray part of the sample's vial text. The other three are never set.
    std::string mounted_syringe;
    std::string sample_tray;
    std::string sample_tray2;
    std::string sample_injector;
    std::string sample_injector2;
};

RunVariables& run_variables();
void reset_run_variables();

// "Repeat Count": total count + 1 - passes still to go.
double repeat_pass_number();

}  // namespace core
