#include "platform/forms/interaction.h"

#include "platform/forms/application.h"
#include "platform/forms/form.h"
#include "platform/forms/message_form.h"

namespace platform::forms {

InteractionProvider* set_interaction_provider(InteractionProvider* provider) {
    InteractionProvider* previous = forms_state().provider;
    forms_state().provider = provider;
    return previous;
}

InteractionProvider* interaction_provider() {
    return forms_state().provider;
}

ModalResult PersonInteraction::answer_box(const MessageBoxRequest& request) {
    auto form = build_message_form(request);
    return form->ShowModal();
}

ScriptedInteraction::ScriptedInteraction() {
    previous_ = set_interaction_provider(this);
}

ScriptedInteraction::~ScriptedInteraction() {
    // Only when still installed: a test may have installed another one meanwhile.
    if (interaction_provider() == this) set_interaction_provider(previous_);
}

void ScriptedInteraction::answer_next_box(ModalResult result) {
    answers_.push_back(result);
}

void ScriptedInteraction::set_box_handler(std::function<ModalResult(const MessageBoxRequest&)> handler) {
    handler_ = std::move(handler);
}

void ScriptedInteraction::set_default_box_answer(ModalResult result) {
    default_answer_ = result;
}

void ScriptedInteraction::on_next_form(std::function<void(Form&)> action) {
    form_actions_.push_back(std::move(action));
}

void ScriptedInteraction::clear_record() {
    boxes_.clear();
    forms_.clear();
}

ModalResult ScriptedInteraction::answer_box(const MessageBoxRequest& request) {
    ModalResult answer = default_answer_;
    if (!answers_.empty()) {
        answer = answers_.front();
        answers_.pop_front();
    } else if (handler_) {
        answer = handler_(request);
    }
    boxes_.push_back(ShownBox{request, answer});
    return answer;
}

void ScriptedInteraction::modal_form_shown(Form& form) {
    forms_.push_back(form.Caption);
    if (form_actions_.empty()) {
        form.Close();
        return;
    }
    // Taken off the queue before it runs: the action may show a nested modal form, which
    // takes the next one.
    std::function<void(Form&)> action = std::move(form_actions_.front());
    form_actions_.pop_front();
    action(form);
}

}  // namespace platform::forms
