// The driver's forms: their components, texts and answers.
#include "core/engine_hooks.h"
#include "core/session_state.h"
#include "core/window_broadcast.h"
#include "driver/zorrun/driver_forms.h"
#include "driver/zorrun/run_preparation.h"
#include "driver/zorrun/tests/support/driver_fixture.h"
#include "platform/forms/controls.h"
#include "platform/forms/properties.h"

namespace zorrun_test {
namespace {

using namespace zorrun;
namespace forms = platform::forms;
namespace window = platform::window;

using DriverDialogs = DriverTest;

TEST_F(DriverDialogs, are_created_in_start_up_order_with_their_components) {
    const auto made = forms::application().forms();
    ASSERT_EQ(made.size(), 5u);
    EXPECT_STREQ(made[0]->class_name(), "Twait_form");
    EXPECT_STREQ(made[1]->class_name(), "Tload_config_form");
    EXPECT_STREQ(made[2]->class_name(), "Tsyringe_change");
    EXPECT_STREQ(made[3]->class_name(), "Terror_form");
    EXPECT_STREQ(made[4]->class_name(), "Tnew_syr");
    EXPECT_EQ(forms::resolve_component("Tnew_syr.retry_button"), dialog_state().new_syr->retry_button);
    EXPECT_EQ(forms::get_property(*forms::resolve_component("Tnew_syr.cancel_button"), "Caption"),
              "C&ancel Method");
    EXPECT_EQ(forms::get_property(*forms::resolve_component("Tnew_syr.retry_button"), "Caption"),
              "&Continue");
    EXPECT_NE(forms::resolve_component("Tsyringe_change.edit_syr_value"), nullptr);
    EXPECT_NE(forms::resolve_component("Tsyringe_change.change_text"), nullptr);
    EXPECT_NE(forms::resolve_component("Tload_config_form.config_bar"), nullptr);
    EXPECT_EQ(dialog_state().wait_form->Caption, "Waiting");
    EXPECT_EQ(dialog_state().wait_form->ClientWidth, 112);
    EXPECT_EQ(dialog_state().error_form->Caption, "error_form");
    // Nothing is shown at start.
    for (forms::Form* form : made) EXPECT_FALSE(form->Visible) << form->class_name();
}

TEST_F(DriverDialogs, the_progress_form_takes_its_size_from_the_pixels_per_inch) {
    Tload_config_form& form = *dialog_state().load_config_form;
    form.PixelsPerInch = 96;
    form.Show();
    EXPECT_EQ(form.Width, 313 + 24);
    EXPECT_EQ(form.Height, 4 * 17);
    EXPECT_EQ(form.Caption, "Receiving configuration from Zor 1");
    EXPECT_EQ(forms::application().Title, " ZOR 1");
    EXPECT_TRUE(form.topmost());
    form.Hide();
    form.PixelsPerInch = 120;
    form.Show();
    EXPECT_EQ(form.Width, 313 + 30);
    EXPECT_EQ(form.Height, 4 * 17);
}

TEST_F(DriverDialogs, the_upload_shows_the_progress_form_and_moves_its_bar) {
    core::ConfigProgressHooks& hooks = core::session_state().config_progress;
    Tload_config_form& form = *dialog_state().load_config_form;
    hooks.begin(520);
    EXPECT_TRUE(form.Visible);
    EXPECT_EQ(form.config_bar->Max, 520);
    EXPECT_EQ(form.config_bar->Position, 0);
    EXPECT_EQ(forms::screen().Cursor, forms::Cursor::hour_glass);
    hooks.progress(37);
    EXPECT_EQ(form.config_bar->Position, 37);
    hooks.end();
    EXPECT_FALSE(form.Visible);
    EXPECT_EQ(forms::screen().Cursor, forms::Cursor::normal);
}

// ---- out of range -------------------------------------------------------------------------

class DriverOutOfRange : public DriverTest {
  protected:
    // Runs `act` on the dialog while it is modal.
    double ask(std::string_view unit, double max, double min, double bound, double value,
               std::function<void(Tsyringe_change&)> act) {
        interaction->on_next_form([act](forms::Form& form) { act(dynamic_cast<Tsyringe_change&>(form)); });
        return ask_out_of_range("Time", unit, max, min, bound, value);
    }
};

TEST_F(DriverOutOfRange, is_installed_as_the_engines_question) {
    EXPECT_EQ(core::engine_hooks().ask_out_of_range, &ask_out_of_range);
    EXPECT_TRUE(dialog_state().syringe_change->topmost());
}

TEST_F(DriverOutOfRange, a_time_value_is_shown_in_minutes_and_seconds) {
    std::string text, edit;
    const double result = ask("s", 60, 0, 60, 90, [&](Tsyringe_change& d) {
        text = d.change_text->Caption;
        edit = d.edit_syr_value->Text;
        d.close_by_caption();
    });
    EXPECT_EQ(text, "Time:1:30 is out of range (0:00 - 1:00) ZOR 1");
    EXPECT_EQ(edit, "1:00");
    // Closed without OK: the violated bound.
    EXPECT_EQ(result, 60);
}

TEST_F(DriverOutOfRange, two_minutes_entered_as_a_time_give_120_seconds) {
    const double result = ask("s", 3600, 0, 3600, 4000, [](Tsyringe_change& d) {
        d.edit_syr_value->type_text("2:00");
        d.ok_button->click();
    });
    EXPECT_EQ(result, 120);
    EXPECT_TRUE(interaction->boxes().empty());
}

TEST_F(DriverOutOfRange, a_plain_number_for_a_time_is_refused) {
    bool stayed_open = false;
    ask("s", 3600, 0, 3600, 4000, [&](Tsyringe_change& d) {
        d.edit_syr_value->type_text("120");
        d.ok_button->click();
        stayed_open = d.modal_result == forms::mr_none;
        d.close_by_caption();
    });
    EXPECT_TRUE(stayed_open);
    ASSERT_EQ(interaction->boxes().size(), 1u);
    EXPECT_EQ(interaction->boxes()[0].request.text, "120 is not a time");
}

TEST_F(DriverOutOfRange, letters_are_no_number_and_the_dialog_stays_open_until_a_good_value) {
    bool stayed_open = false;
    const double result = ask("\xB5l", 100, 1, 100, 250, [&](Tsyringe_change& d) {
        EXPECT_EQ(d.change_text->Caption, "Time:250 is out of range (1 - 100) ZOR 1");
        EXPECT_EQ(d.edit_syr_value->Text, "100");
        d.edit_syr_value->type_text("abc");
        d.ok_button->click();
        stayed_open = d.modal_result == forms::mr_none;
        d.edit_syr_value->type_text("12.5");
        d.ok_button->click();
    });
    EXPECT_TRUE(stayed_open);
    ASSERT_EQ(interaction->boxes().size(), 1u);
    EXPECT_EQ(interaction->boxes()[0].request.text, "abc is not a number");
    EXPECT_EQ(interaction->boxes()[0].request.type, forms::DialogType::error);
    EXPECT_EQ(result, 12.5);
}

TEST_F(DriverOutOfRange, a_value_outside_the_limits_is_refused) {
    const double result = ask("\xB5l", 100, 1, 100, 250, [](Tsyringe_change& d) {
        d.edit_syr_value->type_text("5000");
        d.ok_button->click();
        d.edit_syr_value->type_text("0.5");
        d.ok_button->click();
        d.edit_syr_value->type_text("1");
        d.ok_button->click();
    });
    ASSERT_EQ(interaction->boxes().size(), 2u);
    EXPECT_EQ(interaction->boxes()[0].request.text, "5000 is out of range!");
    EXPECT_EQ(interaction->boxes()[1].request.text, "0.5 is out of range!");
    EXPECT_EQ(result, 1);
}

// ---- syringe mismatch ---------------------------------------------------------------------

class DriverMismatch : public DriverTest {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        run_preparation_state().method_file_name = "gradient.raw";
        run_preparation_state().method_syringe = "100ul";
        core::mounted_syringe() = "10ul";
    }
};

TEST_F(DriverMismatch, the_text_names_file_and_both_syringes) {
    EXPECT_EQ(mismatch_text("gradient.raw", "100ul", "10ul"),
              "Method \"gradient.raw\" uses syringe \"100ul\" but syringe \"10ul\" is in the ZOR. "
              "Please insert syringe \"100ul\" into the ZOR.");
    std::string caption, text;
    interaction->on_next_form([&](forms::Form& form) {
        auto& d = dynamic_cast<Tnew_syr&>(form);
        caption = d.Caption;
        text = d.warning_text->Caption;
        d.retry_button->click();
    });
    EXPECT_TRUE(ask_syringe_mismatch());
    EXPECT_EQ(caption, "Syringe Mismatch ZOR 1");
    EXPECT_EQ(text, mismatch_text("gradient.raw", "100ul", "10ul"));
}

TEST_F(DriverMismatch, cancel_method_answers_false) {
    // While the dialog is open the answer reads Continue: only the click can turn it into a
    // cancel (the dialog's own default would hide a button that does nothing).
    bool shown = false;
    interaction->on_next_form([&](forms::Form& form) {
        shown = form.Visible;
        dialog_state().syringe_continue = true;
        dynamic_cast<Tnew_syr&>(form).cancel_button->click();
    });
    EXPECT_FALSE(ask_syringe_mismatch());
    EXPECT_TRUE(shown);
}

TEST_F(DriverMismatch, cannot_be_closed_from_its_title_bar_and_any_other_close_cancels) {
    bool refused = false;
    interaction->on_next_form([&](forms::Form& form) {
        try {
            form.close_by_caption();
        } catch (const forms::FormError&) {
            refused = true;
        }
        form.Close();
    });
    dialog_state().syringe_continue = true;  // an earlier Continue
    EXPECT_FALSE(ask_syringe_mismatch());
    EXPECT_TRUE(refused);
    EXPECT_TRUE(dialog_state().new_syr->topmost());
}

// ---- wait form and error form -------------------------------------------------------------

class DriverWaitForm : public DriverTest {
  protected:
    // A window whose timer posts message 1425 with `instance` after `ms`.
    window::Handle post_later(unsigned ms, window::WParam instance, std::function<void()> before = {}) {
        const window::Handle h = window::create_window(
            "Tposter", 0,
            [instance, before](window::Handle self, std::uint32_t m, window::WParam, window::LParam) {
                if (m == window::WM_TIMER) {
                    window::kill_timer(self, 1);
                    if (before) before();
                    window::post_message(dialog_state().wait_form->handle(), core::zor_status_message,
                                         instance, 0);
                }
                return window::Result{0};
            });
        window::set_timer(h, 1, ms);
        posters.push_back(h);
        return h;
    }
    void TearDown() override {
        for (auto h : posters) window::destroy_window(h);
        DriverTest::TearDown();
    }
    std::vector<window::Handle> posters;
};

TEST_F(DriverWaitForm, hides_itself_and_ends_on_the_own_instances_message) {
    bool answer = false;
    post_later(20, 2);  // another instance's message: ignored
    post_later(80, 1, [&] { answer = true; });
    const auto end = dialog_state().wait_form->wait_for([&] { return answer; }, [] { return false; }, 5000);
    EXPECT_EQ(end, Twait_form::WaitEnd::answered);
    EXPECT_FALSE(dialog_state().wait_form->Visible);
    EXPECT_TRUE(dialog_state().wait_form->topmost());
    EXPECT_TRUE(interaction->form_captions().empty());  // nobody was asked about it
}

TEST_F(DriverWaitForm, a_message_1425_of_another_instance_does_not_close_it) {
    Twait_form& form = *dialog_state().wait_form;
    bool other_seen = false;
    post_later(20, 2, [&] { other_seen = true; });
    const auto end = form.wait_for([] { return false; }, [] { return false; }, 300);
    EXPECT_TRUE(other_seen);
    EXPECT_EQ(end, Twait_form::WaitEnd::timed_out);
}

TEST_F(DriverWaitForm, ends_when_the_link_gives_up_and_has_a_bound) {
    bool gave_up = false;
    post_later(30, 1, [&] { gave_up = true; });
    EXPECT_EQ(dialog_state().wait_form->wait_for([] { return false; }, [&] { return gave_up; }, 5000),
              Twait_form::WaitEnd::given_up);
    // An own message without an answer does not end a wait: only the bound does.
    post_later(30, 1);
    EXPECT_EQ(dialog_state().wait_form->wait_for([] { return false; }, [] { return false; }, 200),
              Twait_form::WaitEnd::timed_out);
}

TEST_F(DriverWaitForm, closes_on_its_own_message_outside_a_wait) {
    Twait_form& form = *dialog_state().wait_form;
    post_later(10, 1);
    int shown = 0;
    form.OnShow = [&](forms::Component&) { ++shown; };
    form.ShowModal();
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(form.modal());
}

TEST_F(DriverDialogs, the_error_form_stays_on_top_and_closes_on_the_own_instances_message) {
    Terror_form& form = *dialog_state().error_form;
    form.Show();
    EXPECT_EQ(form.Caption, "Error ZOR 1");
    EXPECT_EQ(form.FormStyle, forms::FormStyle::stay_on_top);
    window::post_message(form.handle(), core::zor_status_message, 2, 0);
    window::process_messages();
    EXPECT_TRUE(form.Visible);
    window::post_message(form.handle(), core::zor_status_message, 1, 0);
    window::process_messages();
    EXPECT_FALSE(form.Visible);
}

}  // namespace
}  // namespace zorrun_test
