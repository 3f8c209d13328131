// What the fuzz targets share: a message-box answerer that records nothing, and a realistic
// configuration to expand methods and evaluate expressions against.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/config_text.h"
#include "core/tests/engine_samples.h"
#include "platform/forms/interaction.h"
#include "utilities/session.h"

namespace core_fuzz {

// Answers every box with Cancel, keeping no record (a fuzz run shows millions).
class SilentInteraction : public platform::forms::InteractionProvider {
  public:
    SilentInteraction() { platform::forms::set_interaction_provider(this); }
    platform::forms::ModalResult answer_box(const platform::forms::MessageBoxRequest&) override {
        return platform::forms::mr_cancel;
    }
    void modal_form_shown(platform::forms::Form&) override {}
};

inline void start_session() {
    static SilentInteraction silent;
    putils::session().use_message_boxes = true;
}

// A property of the engine that does not hold: stop the run so the fuzzer keeps the input.
inline void violated(const char* what) {
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}

inline void load_fuzz_configuration() {
    if (!core::read_configuration(core_test::standard_configuration()))
        violated("the fuzz configuration reads");
}

}  // namespace core_fuzz
