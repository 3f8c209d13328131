// The interaction provider: whoever answers the boxes and modal dialogs of this process.
//
// Headless, nothing can be shown to a person, so every box and every modal form asks the
// installed provider. Tests install a ScriptedInteraction that records what was shown and
// answers from a script; a scripted step may also act inside a modal form's loop (fill its
// controls, press its button). With no provider installed, showing a box or a modal form
// throws NoInteractionProvider, so nothing silently guesses an answer.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/forms/message_dialog.h"

namespace platform::forms {

class Form;

struct NoInteractionProvider : std::runtime_error {
    explicit NoInteractionProvider(const std::string& what) : std::runtime_error(what) {}
};

class InteractionProvider {
  public:
    virtual ~InteractionProvider() = default;
    // Answers a message box; returns a modal result.
    virtual ModalResult answer_box(const MessageBoxRequest& request) = 0;
    // Called once a modal form is showing, from inside its modal loop. The provider acts on the
    // form (set texts, click buttons, set form.modal_result) now or later from timers; the loop
    // ends when the form has a modal result.
    virtual void modal_form_shown(Form& form) = 0;
};

// Installs the provider for the process (main thread); returns the previous one. nullptr
// removes it. The caller keeps ownership.
InteractionProvider* set_interaction_provider(InteractionProvider* provider);
InteractionProvider* interaction_provider();

// The provider for a person at a screen (with a drawing backend installed): a box becomes a
// message form (build_message_form) shown modally, and a modal form is left to the person, so
// both end when the person clicks a button or closes the window.
class PersonInteraction : public InteractionProvider {
  public:
    ModalResult answer_box(const MessageBoxRequest& request) override;
    void modal_form_shown(Form&) override {}
};

// A provider for tests: records every box and every modal form, answers boxes from a queue of
// results (or a function) and forms from a queue of actions.
class ScriptedInteraction : public InteractionProvider {
  public:
    struct ShownBox {
        MessageBoxRequest request;
        ModalResult answer;
    };

    ScriptedInteraction();            // installs itself
    ~ScriptedInteraction() override;  // restores the previous provider

    // Queue answers for the next boxes, in order. With the queue empty a box is answered by
    // the default answer, which is mr_none unless set (tests then fail on the record).
    void answer_next_box(ModalResult result);
    void set_box_handler(std::function<ModalResult(const MessageBoxRequest&)> handler);
    void set_default_box_answer(ModalResult result);
    // Queue an action for the next modal form; with none queued the form is closed with
    // mr_cancel.
    void on_next_form(std::function<void(Form&)> action);

    const std::vector<ShownBox>& boxes() const { return boxes_; }
    const std::vector<std::string>& form_captions() const { return forms_; }
    void clear_record();

    ModalResult answer_box(const MessageBoxRequest& request) override;
    void modal_form_shown(Form& form) override;

  private:
    InteractionProvider* previous_ = nullptr;
    std::deque<ModalResult> answers_;
    std::function<ModalResult(const MessageBoxRequest&)> handler_;
    ModalResult default_answer_ = mr_none;
    std::deque<std::function<void(Form&)>> form_actions_;
    std::vector<ShownBox> boxes_;
    std::vector<std::string> forms_;
};

}  // namespace platform::forms
