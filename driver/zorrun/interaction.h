// Who answers the boxes and dialogs that Zorrun shows in its own process.
//
// Zorrun always installs an interaction provider:
//
// - PersonInteraction (platform/forms/interaction.h) when Zorrun runs on a display (and the Qt
//   backend is built): boxes and dialogs are real windows that the person at the screen answers.
//
// - HeadlessInteraction (without a display): writes each box and dialog to standard error and
//   takes the cautious answer: Cancel, OK, No or Abort for a box (whichever it offers, in
//   that order of preference), and closes a dialog without choosing (the mismatch dialog then
//   cancels the method, the out-of-range dialog keeps the violated bound).
//
// - TestInteraction, only when ZOR_TEST_INTERACTION names a unix stream socket that a test
//   listens on: every box and modal dialog is reported to the test, which answers it. Lines
//   in the format of interaction_wire.h:
//
//     Zorrun -> test  "hello" PID                                          once, on connecting
//                     "box" ID TYPE CAPTION TEXT BUTTONS                    a box waits for "answer"
//                     "form" ID CLASS CAPTION                               a modal dialog is showing
//                     "ok" [VALUE] | "error" MESSAGE                        reply to each request
//     test -> Zorrun  "answer" ID RESULT                                    modal result of box ID (no reply)
//                     "get" PATH PROPERTY                                   PATH as resolve_component
//                     "set" PATH PROPERTY VALUE
//                     "do" PATH ACTION [ARGUMENT]                           perform_action
//                     "result" PATH RESULT                                  a form's modal result
//
//   TYPE is warning, error, information, confirmation or custom; BUTTONS a comma-separated
//   list of yes, no, ok, cancel, abort, retry, ignore. Every request but "answer" is answered with "ok"
//   before an action it asks for runs, so a box that the action opens comes after the reply. A box that gets
//   no answer within a minute, or any box after the test has gone, is answered as HeadlessInteraction would.
//
// Main thread only.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/forms/interaction.h"

namespace zorrun {

class HeadlessInteraction : public platform::forms::InteractionProvider {
  public:
    platform::forms::ModalResult answer_box(const platform::forms::MessageBoxRequest& request) override;
    void modal_form_shown(platform::forms::Form& form) override;
    static platform::forms::ModalResult cautious_answer(const platform::forms::ButtonSet& buttons);
};

class TestInteraction : public platform::forms::InteractionProvider {
  public:
    // Connects to the socket (trying for a few seconds); throws std::runtime_error when it
    // cannot.
    explicit TestInteraction(const std::string& socket_path);
    ~TestInteraction() override;

    platform::forms::ModalResult answer_box(const platform::forms::MessageBoxRequest& request) override;
    void modal_form_shown(platform::forms::Form& form) override;

    bool connected() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Installs the provider the environment asks for (ZOR_TEST_INTERACTION), else the person's when
// `on_display` (the forms are real windows), else the headless one. The caller keeps it, and
// uninstalls and frees it while the main thread's loop still exists.
std::unique_ptr<platform::forms::InteractionProvider> install_interaction_provider(bool on_display = false);

const char* dialog_type_name(platform::forms::DialogType type);
std::string button_set_text(const platform::forms::ButtonSet& buttons);

}  // namespace zorrun
