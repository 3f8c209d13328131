// The answer to a box when no person is there to give one: the button that changes nothing
// (No to a question, Abort to a warning, Cancel to an error, OK to information). Shared by the
// plug-in (used without a host's provider) and zorhost.
#pragma once

#include "platform/forms/message_dialog.h"

namespace zorsetup {

inline platform::forms::ModalResult unattended_answer(const platform::forms::MessageBoxRequest& request) {
    using namespace platform::forms;
    switch (request.type) {
        case DialogType::confirmation:
            return mr_no;
        case DialogType::warning:
            return mr_abort;
        case DialogType::error:
            return mr_cancel;
        default:
            return mr_ok;
    }
}

}  // namespace zorsetup
