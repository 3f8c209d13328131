#include "plugin/library_state.h"

#include <cstdio>
#include <utility>

#include "core/session_state.h"
#include "platform/forms/application.h"
#include "platform/forms/interaction.h"
#include "platform/window/window.h"
#include "plugin/bridge.h"
#include "plugin/sample_types.h"
#include "plugin/unattended.h"
#include "utilities/log.h"
#include "utilities/session.h"

namespace zorsetup {

namespace forms = platform::forms;
namespace window = platform::window;

long live_objects = 0;
long server_locks = 0;

namespace {

LibraryState* library_state = nullptr;

// Boxes of a library used without a person at a screen: logged and answered with the
// button that changes nothing; a modal form is closed as cancelled.
class UnattendedAnswers final : public forms::InteractionProvider {
  public:
    forms::ModalResult answer_box(const forms::MessageBoxRequest& request) override {
        log_setup("box: " + request.text);
        std::fprintf(stderr, "zorsetup: %s\n", request.text.c_str());
        return zorsetup::unattended_answer(request);
    }
    void modal_form_shown(forms::Form& form) override { form.modal_result = forms::mr_cancel; }
};
UnattendedAnswers unattended;

// Load: the session start of the library's core.
struct LibraryLoad {
    LibraryLoad() {
        if (putils::session().instance_number == 0) putils::session().instance_number = 1;
        core::init_session(false, false, true, false, true, false, ".PME", "Zorsetup", sample_type_list);
    }
};
LibraryLoad library_load;

}  // namespace

LibraryState& state() {
    if (!library_state) library_state = new LibraryState;
    return *library_state;
}

void log_setup(std::string_view text) {
    putils::append_log("zorsetup : " + std::string(text));
}

void ensure_forms() {
    LibraryState& s = state();
    if (s.forms_created) return;
    if (!forms::interaction_provider()) forms::set_interaction_provider(&unattended);
    s.core_form = forms::make_form<core::Tzor_lib>();
    s.util_form = forms::make_form<Tutil_form>();
    release_driver();
    s.forms_created = true;
}

Tmethod_editor* editor() {
    Tmethod_editor* e = current_editor();
    if (!e || !window::is_window(e->handle())) return nullptr;
    return e;
}

void drop_destroyed_editors() {
    auto& list = state().editors;
    std::erase_if(list, [](const auto& e) { return !window::is_window(e->handle()); });
}

bool library_in_use() {
    if (library_state) drop_destroyed_editors();
    return live_objects > 0 || server_locks > 0 || (library_state && !library_state->editors.empty());
}

void release_library() {
    if (!library_state) return;
    log_setup("finalizing");
    release_driver();
    library_state->editors.clear();
    library_state->util_form.reset();
    library_state->core_form.reset();
    if (forms::interaction_provider() == &unattended) forms::set_interaction_provider(nullptr);
    delete std::exchange(library_state, nullptr);
}

}  // namespace zorsetup
