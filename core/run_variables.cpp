#include "core/run_variables.h"

namespace core {

RunVariables& run_variables() {
    static RunVariables variables;
    return variables;
}

void reset_run_variables() {
    run_variables() = RunVariables{};
}

double repeat_pass_number() {
    const RunVariables& v = run_variables();
    return double(v.repeat_total) + 1.0 - double(v.repeat_remaining);
}

}  // namespace core
