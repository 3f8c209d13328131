#include "core/engine_hooks.h"

namespace core {

EngineHooks& engine_hooks() {
    static EngineHooks hooks;
    return hooks;
}

void reset_engine_hooks() {
    engine_hooks() = EngineHooks{};
}

void engine_debug_line(std::string_view line) {
    if (DebugLineSink sink = engine_hooks().debug_line) sink(line);
}

}  // namespace core
