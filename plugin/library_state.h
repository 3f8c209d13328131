// The state of libzorsetup.so while a host holds it: the core form, the utility form (button
// image, in-place menu), every editor the host had made, and the counts of live objects and
// factory locks that decide whether the library may be unloaded.
//
// The state is made at the first call and given back when the library says it can be
// unloaded: the teardown runs there, while the host's platform is certainly still whole (at
// process exit it may not be, so nothing is freed then). Loading the library starts the core's
// session. Main thread only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/zor_lib_form.h"
#include "platform/forms/form.h"
#include "plugin/method_editor.h"
#include "plugin/util_form.h"

namespace zorsetup {

struct LibraryState {
    bool forms_created = false;
    platform::forms::FormPtr<core::Tzor_lib> core_form;
    platform::forms::FormPtr<Tutil_form> util_form;
    std::vector<platform::forms::FormPtr<Tmethod_editor>> editors;  // every editor made, newest last
    std::u16string menu_text;
    std::u16string last_text;
};
LibraryState& state();

// Live objects (classes and factories) and factory locks of this library.
extern long live_objects;
extern long server_locks;

// "zorsetup : TEXT" in the log.
void log_setup(std::string_view text);

// The forms, made at the first call that needs them; a library used without a person at a
// screen gets boxes that are logged and answered with the button that changes nothing.
void ensure_forms();
// The current editor when its window still exists; null otherwise.
Tmethod_editor* editor();
// Frees editors whose window the host destroyed.
void drop_destroyed_editors();

// True while an object, a lock or an editor window of the library exists (editors whose window
// the host destroyed are freed first): the editor's code must stay loaded as long as the host
// shows it.
bool library_in_use();
// The finalization, in an order in which nothing is used after it is gone.
void release_library();

}  // namespace zorsetup
