#include "utilities/message_boxes.h"

#include <gtest/gtest.h>

#include "platform/forms/interaction.h"
#include "utilities/session.h"

namespace {

namespace forms = platform::forms;

class UtilityBoxes : public ::testing::Test {
  protected:
    void SetUp() override {
        putils::reset_session();
        putils::session().use_message_boxes = true;
    }
    void TearDown() override { putils::reset_session(); }

    const forms::MessageBoxRequest& only_box() {
        EXPECT_EQ(script.boxes().size(), 1u);
        static const forms::MessageBoxRequest none;
        return script.boxes().empty() ? none : script.boxes().back().request;
    }

    forms::ScriptedInteraction script;
};

std::vector<forms::DialogButton> buttons_of(const forms::MessageBoxRequest& request) {
    return request.buttons.members();
}

TEST_F(UtilityBoxes, ErrorBoxHasExactlyOneCancelButton) {
    script.answer_next_box(forms::mr_cancel);
    putils::error_box("The port is gone");
    const auto& box = only_box();
    EXPECT_EQ(box.type, forms::DialogType::error);
    EXPECT_EQ(box.caption, "Error");
    EXPECT_EQ(box.text, "The port is gone");
    EXPECT_TRUE(box.stay_on_top);
    ASSERT_EQ(buttons_of(box), std::vector<forms::DialogButton>{forms::DialogButton::cancel});
    EXPECT_STREQ(forms::button_caption(buttons_of(box)[0]), "Cancel");
}

TEST_F(UtilityBoxes, InfoBox) {
    script.answer_next_box(forms::mr_ok);
    putils::info_box("Port is not available3");
    const auto& box = only_box();
    EXPECT_EQ(box.type, forms::DialogType::information);
    EXPECT_EQ(box.caption, "Information");
    EXPECT_TRUE(box.stay_on_top);
    EXPECT_EQ(buttons_of(box), std::vector<forms::DialogButton>{forms::DialogButton::ok});
}

TEST_F(UtilityBoxes, AskYesNoIsAnInformationBoxTrueOnlyForYes) {
    script.answer_next_box(forms::mr_yes);
    script.answer_next_box(forms::mr_no);
    script.answer_next_box(forms::mr_cancel);  // closed by Esc or the close box
    EXPECT_TRUE(putils::ask_yes_no("Read the configuration?"));
    EXPECT_FALSE(putils::ask_yes_no("Read the configuration?"));
    EXPECT_FALSE(putils::ask_yes_no("Read the configuration?"));
    ASSERT_EQ(script.boxes().size(), 3u);
    const auto& box = script.boxes()[0].request;
    EXPECT_EQ(box.type, forms::DialogType::information);
    EXPECT_EQ(box.caption, "Information");
    EXPECT_TRUE(box.stay_on_top);
    EXPECT_EQ(buttons_of(box),
              (std::vector<forms::DialogButton>{forms::DialogButton::yes, forms::DialogButton::no}));
}

TEST_F(UtilityBoxes, AbortRetryIgnoreReturnsTheButtonsResult) {
    for (forms::ModalResult answer : {forms::mr_abort, forms::mr_retry, forms::mr_ignore}) {
        script.clear_record();
        script.answer_next_box(answer);
        EXPECT_EQ(putils::ask_abort_retry_ignore("Vial not found"), answer);
        const auto& box = only_box();
        EXPECT_EQ(box.type, forms::DialogType::warning);
        EXPECT_EQ(box.caption, "Warning");
        EXPECT_TRUE(box.stay_on_top);
        EXPECT_EQ(buttons_of(box),
                  (std::vector<forms::DialogButton>{forms::DialogButton::abort, forms::DialogButton::retry,
                                                    forms::DialogButton::ignore}));
    }
    EXPECT_EQ(forms::mr_abort, 3);
    EXPECT_EQ(forms::mr_retry, 4);
    EXPECT_EQ(forms::mr_ignore, 5);
}

TEST_F(UtilityBoxes, MessageBoxOnTopPassesTypeAndButtonsThrough) {
    script.answer_next_box(forms::mr_ok);
    const forms::ButtonSet buttons{forms::DialogButton::ok, forms::DialogButton::cancel};
    EXPECT_EQ(putils::message_box_on_top("text", forms::DialogType::warning, buttons), forms::mr_ok);
    const auto& box = only_box();
    EXPECT_EQ(box.caption, "Warning");
    EXPECT_TRUE(box.stay_on_top);
    EXPECT_EQ(buttons_of(box),
              (std::vector<forms::DialogButton>{forms::DialogButton::ok, forms::DialogButton::cancel}));
}

TEST_F(UtilityBoxes, ShowErrorRecordsTheMessageAndShowsTheErrorBox) {
    EXPECT_FALSE(putils::session().error_flag);
    // Cancel, Esc and the close box all answer mr_cancel; show_error ends the same way.
    script.answer_next_box(forms::mr_cancel);
    putils::show_error("Not a number:Port");
    EXPECT_TRUE(putils::session().error_flag);
    EXPECT_EQ(putils::session().last_error, "Not a number:Port");
    const auto& box = only_box();
    EXPECT_EQ(box.type, forms::DialogType::error);
    EXPECT_EQ(box.text, "Not a number:Port");
    EXPECT_EQ(buttons_of(box), std::vector<forms::DialogButton>{forms::DialogButton::cancel});

    script.answer_next_box(forms::mr_none);
    putils::show_error("second");
    EXPECT_EQ(putils::session().last_error, "second");
}

TEST_F(UtilityBoxes, ShowErrorNeverRaisesEvenWithNoOneToAnswer) {
    forms::InteractionProvider* saved = forms::set_interaction_provider(nullptr);
    EXPECT_NO_THROW(putils::show_error("nobody sees this"));
    forms::set_interaction_provider(saved);
    EXPECT_EQ(putils::session().last_error, "nobody sees this");
    EXPECT_TRUE(putils::session().error_flag);
}

std::vector<std::string>& shown_on_form() {
    static std::vector<std::string> texts;
    return texts;
}

TEST_F(UtilityBoxes, ShowErrorUsesTheErrorFormOnlyWhenBoxesAreOff) {
    shown_on_form().clear();
    putils::set_error_form_shower([](std::string_view text) { shown_on_form().emplace_back(text); });

    script.answer_next_box(forms::mr_cancel);
    putils::show_error("as a box");
    EXPECT_TRUE(shown_on_form().empty());
    EXPECT_EQ(script.boxes().size(), 1u);

    putils::session().use_message_boxes = false;
    putils::show_error("on the form");
    EXPECT_EQ(shown_on_form(), std::vector<std::string>{"on the form"});
    EXPECT_EQ(script.boxes().size(), 1u);
    EXPECT_EQ(putils::session().last_error, "on the form");

    putils::set_error_form_shower(nullptr);
    script.answer_next_box(forms::mr_cancel);
    putils::show_error("no form registered");
    EXPECT_EQ(script.boxes().size(), 2u) << "without an error form the box is shown";
}

}  // namespace
