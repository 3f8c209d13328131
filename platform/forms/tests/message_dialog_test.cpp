#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/forms/tests/test_support.h"

namespace platform::forms {
namespace {

using MessageDialog = testing::FormsTest;
using testing::Reaper;
using testing::TestDialog;

std::vector<std::string> captions_of(const ButtonSet& set) {
    std::vector<std::string> out;
    for (DialogButton b : set.members()) out.emplace_back(button_caption(b));
    return out;
}

TEST_F(MessageDialog, ButtonsComeInTheFixedOrderWithTheirCaptionsAndResults) {
    const ButtonSet all{DialogButton::ignore, DialogButton::cancel, DialogButton::yes, DialogButton::retry,
                        DialogButton::ok,     DialogButton::abort,  DialogButton::no};
    EXPECT_EQ(captions_of(all),
              (std::vector<std::string>{"&Yes", "&No", "OK", "Cancel", "&Abort", "&Retry", "&Ignore"}));
    EXPECT_EQ(captions_of({DialogButton::ignore, DialogButton::abort, DialogButton::retry}),
              (std::vector<std::string>{"&Abort", "&Retry", "&Ignore"}));
    EXPECT_EQ(captions_of({DialogButton::cancel}), std::vector<std::string>{"Cancel"});
    EXPECT_TRUE(ButtonSet{}.empty());

    std::vector<ModalResult> results;
    for (DialogButton b : all.members()) results.push_back(result_of(b));
    EXPECT_EQ(results, (std::vector<ModalResult>{6, 7, 1, 2, 3, 4, 5}));
}

TEST_F(MessageDialog, TypesGiveTheirCaptions) {
    EXPECT_STREQ(dialog_caption(DialogType::warning), "Warning");
    EXPECT_STREQ(dialog_caption(DialogType::error), "Error");
    EXPECT_STREQ(dialog_caption(DialogType::information), "Information");
    EXPECT_STREQ(dialog_caption(DialogType::confirmation), "Confirm");
    EXPECT_STREQ(dialog_caption(DialogType::custom), "");
}

TEST_F(MessageDialog, ShowsThroughTheProviderAndReturnsTheScriptedAnswer) {
    ScriptedInteraction script;
    script.answer_next_box(mr_retry);
    MessageBoxRequest request;
    request.type = DialogType::warning;
    request.text = "Syringe error";
    request.buttons = {DialogButton::abort, DialogButton::retry, DialogButton::ignore};
    request.stay_on_top = true;
    EXPECT_EQ(show_message_dialog(request), mr_retry);

    // With the queue empty: the default answer, which is none unless set.
    EXPECT_EQ(show_message_dialog(request), mr_none);
    script.set_default_box_answer(mr_cancel);
    EXPECT_EQ(show_message_dialog(request), mr_cancel);

    ASSERT_EQ(script.boxes().size(), 3u);
    const auto& shown = script.boxes()[0];
    EXPECT_EQ(shown.request.caption, "Warning");  // filled from the type
    EXPECT_EQ(shown.request.text, "Syringe error");
    EXPECT_TRUE(shown.request.stay_on_top);
    EXPECT_EQ(captions_of(shown.request.buttons), (std::vector<std::string>{"&Abort", "&Retry", "&Ignore"}));
    EXPECT_EQ(shown.answer, mr_retry);
}

TEST_F(MessageDialog, AHandlerCanAnswerFromWhatTheBoxSays) {
    ScriptedInteraction script;
    script.set_box_handler(
        [](const MessageBoxRequest& r) { return r.buttons.has(DialogButton::yes) ? mr_yes : mr_ok; });
    EXPECT_EQ(
        show_message_dialog({DialogType::information, "", "Save?", {DialogButton::yes, DialogButton::no}}),
        mr_yes);
    EXPECT_EQ(show_message_dialog({DialogType::information, "", "Done", {DialogButton::ok}}), mr_ok);
}

TEST_F(MessageDialog, WithoutAProviderABoxThrows) {
    MessageBoxRequest request;
    request.text = "nobody is there";
    request.buttons = {DialogButton::ok};
    EXPECT_THROW(show_message_dialog(request), NoInteractionProvider);
}

TEST_F(MessageDialog, ABoxFromInsideAModalFormStacksOnIt) {
    ScriptedInteraction script;
    Reaper reaper;
    script.answer_next_box(mr_ok);
    auto dialog = make_form<TestDialog>("Tsyringe_change", "Parameter out of range");
    dialog->ok_button->modal_result = mr_none;  // the handler decides
    dialog->ok_button->OnClick = [&](Component&) {
        MessageBoxRequest box{DialogType::error,
                              "",
                              dialog->value_edit->Text + " is not a number",
                              {DialogButton::cancel},
                              true};
        show_message_dialog(box);
        if (dialog->value_edit->Text == "12") dialog->Close();
    };
    script.on_next_form([](Form& form) {
        form.find<Edit>("value_edit").type_text("abc");
        form.find<Button>("ok_button").click();  // refused with a box, the dialog stays
        EXPECT_TRUE(form.modal());
        form.find<Edit>("value_edit").type_text("12");
        form.find<Button>("ok_button").click();
    });
    EXPECT_EQ(dialog->ShowModal(), mr_cancel);
    ASSERT_EQ(script.boxes().size(), 2u);
    EXPECT_EQ(script.boxes()[0].request.text, "abc is not a number");
}

TEST_F(MessageDialog, TheScriptedProviderRestoresThePreviousOneWhenItGoes) {
    ScriptedInteraction outer;
    {
        ScriptedInteraction inner;
        EXPECT_EQ(interaction_provider(), &inner);
    }
    EXPECT_EQ(interaction_provider(), &outer);
}

}  // namespace
}  // namespace platform::forms

namespace platform::forms {
namespace {

using MessageForms = testing::FormsTest;
using testing::Reaper;

TEST_F(MessageForms, TheBoxFormLaysOutItsButtonsLeftToRightInTheFixedOrder) {
    MessageBoxRequest request{DialogType::warning,
                              "",
                              "Syringe error\r\nin step 3",
                              {DialogButton::ignore, DialogButton::retry, DialogButton::abort},
                              true};
    auto form = build_message_form(request);
    EXPECT_EQ(form->Caption, "Warning");
    EXPECT_TRUE(form->topmost());
    ASSERT_EQ(form->buttons.size(), 3u);
    std::vector<std::string> names, captions;
    int last_left = -1;
    for (Button* b : form->buttons) {
        names.push_back(b->Name);
        captions.push_back(b->Caption);
        EXPECT_GT(b->Left, last_left);
        last_left = b->Left;
        EXPECT_LE(b->Left + b->Width, form->ClientWidth);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Abort", "Retry", "Ignore"}));
    EXPECT_EQ(captions, (std::vector<std::string>{"&Abort", "&Retry", "&Ignore"}));
    EXPECT_EQ(form->find<StaticText>("Message").Caption, "Syringe error\r\nin step 3");
    EXPECT_GE(form->ClientWidth, form->message->Left + form->message->Width);
}

TEST_F(MessageForms, AShownBoxFormAnswersWithTheClickedButton) {
    ScriptedInteraction script;
    Reaper reaper;
    auto form = build_message_form({DialogType::error, "", "Port closed", {DialogButton::cancel}, true});
    script.on_next_form([](Form& f) { f.press_escape(); });
    EXPECT_EQ(form->ShowModal(), mr_cancel);
    auto question =
        build_message_form({DialogType::information, "", "Save?", {DialogButton::no, DialogButton::yes}});
    script.on_next_form([](Form& f) { f.press_enter(); });  // the first button, Yes
    EXPECT_EQ(question->ShowModal(), mr_yes);
}

}  // namespace
}  // namespace platform::forms

namespace platform::forms {
namespace {

// A backend that notes what the framework tells it.
class NotedBackend : public Backend {
  public:
    void draw(const Canvas&, const CanvasCall&) override {}
    TextExtent text_extent(const Font& font, std::string_view text) const override {
        return HeadlessBackend().text_extent(font, text);
    }
    void form_changed(const Form&) override {}
    void control_destroyed(const Control& control) override { destroyed.push_back(control.Name); }
    std::vector<std::string> destroyed;
};

TEST_F(MessageDialog, APersonAnswersABoxByClickingAButtonOfItsMessageForm) {
    PersonInteraction person;
    InteractionProvider* previous = set_interaction_provider(&person);
    Reaper reaper;
    // The person: clicks the second button of the box once it is on the screen.
    HiddenWindow hand("TestHand", [](std::uint32_t, window::WParam, window::LParam) -> window::Result {
        for (Form* form : screen().forms()) {
            auto* box = dynamic_cast<MessageForm*>(form);
            if (box && box->Visible && box->modal()) box->buttons.at(1)->click();
        }
        return 0;
    });
    window::post_message(hand.handle(), window::WM_USER);
    const ModalResult answer = show_message_dialog(
        {DialogType::confirmation, "", "Overwrite the method?", {DialogButton::yes, DialogButton::no}});
    set_interaction_provider(previous);
    EXPECT_EQ(answer, mr_no);
    EXPECT_FALSE(reaper.fired());
    // The box's form is gone again.
    for (Form* form : screen().forms()) EXPECT_EQ(dynamic_cast<MessageForm*>(form), nullptr);
}

TEST_F(MessageDialog, TheBackendHearsOfEveryControlThatIsDestroyed) {
    NotedBackend noted;
    Backend* previous = set_backend(&noted);
    {
        auto box = build_message_form(
            {DialogType::warning, "", "Careful", {DialogButton::ok, DialogButton::cancel}});
        EXPECT_EQ(box->type, DialogType::warning);
    }
    set_backend(previous);
    // The form first (its children still exist then), then its children, last made first.
    EXPECT_EQ(noted.destroyed, (std::vector<std::string>{"", "Cancel", "OK", "Message"}));
}

}  // namespace
}  // namespace platform::forms
