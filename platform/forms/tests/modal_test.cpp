#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/forms/tests/test_support.h"

namespace platform::forms {
namespace {

using Modal = testing::FormsTest;
using testing::Reaper;
using testing::TestDialog;

TEST_F(Modal, WithoutAProviderShowModalThrows) {
    auto dialog = make_form<TestDialog>();
    EXPECT_THROW(dialog->ShowModal(), NoInteractionProvider);
    EXPECT_FALSE(dialog->modal());
    EXPECT_FALSE(dialog->Visible);
}

TEST_F(Modal, EndsByAButtonWithAModalResult) {
    ScriptedInteraction script;
    Reaper reaper;
    auto dialog = make_form<TestDialog>();
    std::string seen_text;
    dialog->ok_button->OnClick = [&](Component&) { seen_text = dialog->value_edit->Text; };
    script.on_next_form([](Form& form) {
        EXPECT_TRUE(form.modal());
        EXPECT_TRUE(form.Visible);
        form.find<Edit>("value_edit").type_text("1:30");
        form.find<Button>("ok_button").click();
    });
    EXPECT_EQ(dialog->ShowModal(), mr_ok);
    EXPECT_EQ(seen_text, "1:30");
    EXPECT_FALSE(dialog->Visible);
    EXPECT_FALSE(dialog->modal());
    EXPECT_EQ(dialog->closes, 1);  // the close steps run for a button too
    EXPECT_EQ(script.form_captions(), (std::vector<std::string>{"Test dialog"}));
}

TEST_F(Modal, EndsByCloseWithCancelAndCloseCanBeRefused) {
    ScriptedInteraction script;
    Reaper reaper;
    auto dialog = make_form<TestDialog>();
    int refusals = 1;
    dialog->OnClose = [&](Component&, CloseAction& action) {
        if (refusals > 0) {
            --refusals;
            action = CloseAction::none;
        }
    };
    script.on_next_form([](Form& form) {
        form.Close();                                           // refused by OnClose: the loop goes on
        window::post_message(form.handle(), window::WM_CLOSE);  // the caption's close box, later
    });
    EXPECT_EQ(dialog->ShowModal(), mr_cancel);
    EXPECT_EQ(refusals, 0);
}

TEST_F(Modal, AnUnscriptedFormIsClosedWithCancel) {
    ScriptedInteraction script;
    Reaper reaper;
    auto dialog = make_form<TestDialog>();
    EXPECT_EQ(dialog->ShowModal(), mr_cancel);
    EXPECT_EQ(script.form_captions().size(), 1u);
}

TEST_F(Modal, ModalFormsNestAndTheOuterOneIsActivatedAgain) {
    ScriptedInteraction script;
    Reaper reaper;
    auto outer = make_form<TestDialog>("Touter", "Outer");
    auto inner = make_form<TestDialog>("Tinner", "Inner");
    ModalResult inner_result = mr_none;
    int outer_activations_after_inner = 0;
    script.on_next_form([&](Form& form) {
        EXPECT_EQ(&form, outer.get());
        inner_result = inner->ShowModal();  // a nested modal loop inside the outer one
        outer_activations_after_inner = outer->activations;
        form.find<Button>("ok_button").click();
    });
    script.on_next_form([&](Form& form) {
        EXPECT_EQ(&form, inner.get());
        EXPECT_TRUE(outer->modal());
        form.find<Button>("cancel_button").click();
    });
    EXPECT_EQ(outer->ShowModal(), mr_ok);
    EXPECT_EQ(inner_result, mr_cancel);
    EXPECT_EQ(outer_activations_after_inner, 2);  // shown, then back from the inner dialog
    EXPECT_EQ(script.form_captions(), (std::vector<std::string>{"Outer", "Inner"}));
}

TEST_F(Modal, AFormThatIsModalAlreadyCannotBeShownModallyAgain) {
    ScriptedInteraction script;
    Reaper reaper;
    auto dialog = make_form<TestDialog>();
    bool refused = false;
    script.on_next_form([&](Form& form) {
        try {
            form.ShowModal();
        } catch (const FormError&) {
            refused = true;
        }
        form.Close();
    });
    EXPECT_EQ(dialog->ShowModal(), mr_cancel);
    EXPECT_TRUE(refused);
}

TEST_F(Modal, TimersOfTheFormFireWhileItIsModal) {
    ScriptedInteraction script;
    Reaper reaper;
    auto dialog = make_form<TestDialog>();
    auto* timer = dialog->add<Timer>("poll_timer");
    timer->set_interval(5);
    int ticks = 0;
    timer->OnTimer = [&](Component&) {
        if (++ticks == 3) dialog->modal_result = mr_retry;
    };
    script.on_next_form([](Form&) {});  // nobody clicks: the timer ends it
    EXPECT_EQ(dialog->ShowModal(), mr_retry);
    EXPECT_EQ(ticks, 3);
    EXPECT_FALSE(reaper.fired());
}

// A form that makes itself invisible once active and waits for a message, as the driver's
// synchronous calls do.
class WaitForm : public Form {
  public:
    WaitForm() : Form("TWait_form") {
        Caption = "Waiting";
        OnActivate = [this](Component&) {
            make_topmost();
            Visible = false;
        };
        on_message(window::WM_USER + 401, [this](FormMessage& m) {
            if (m.wparam == 1) Close();
        });
    }
};

TEST_F(Modal, AnInvisibleModalFormIsShownToNobodyAndEndsByItsMessage) {
    ScriptedInteraction script;
    Reaper reaper;
    auto wait = make_form<WaitForm>();
    // Posted before the loop starts: a message of another instance, then ours.
    window::post_message(wait->handle(), window::WM_USER + 401, 2, 0);
    window::post_message(wait->handle(), window::WM_USER + 401, 1, 0);
    EXPECT_EQ(wait->ShowModal(), mr_cancel);
    EXPECT_TRUE(script.form_captions().empty());
    EXPECT_TRUE(wait->topmost());
}

TEST_F(Modal, QuitEndsTheModalLoopAndStaysForTheOuterLoop) {
    ScriptedInteraction script;
    Reaper reaper;
    auto dialog = make_form<TestDialog>();
    script.on_next_form([](Form&) { window::post_quit_message(3); });
    EXPECT_EQ(dialog->ShowModal(), mr_cancel);
    // The WM_QUIT is still there for the outer loop (the reaper's quit would fail the test).
    window::Message m;
    while (window::get_message(m)) window::dispatch_message(m);
    EXPECT_FALSE(reaper.fired());
}

TEST_F(Modal, ReleasedFormsAreFreedAfterTheirPendingMessages) {
    ScriptedInteraction script;
    Reaper reaper;
    std::vector<std::string> events;
    auto& form = application().create_form<TestDialog>("Treleased", "Released");
    form.OnDestroy = [&](Component&) { events.push_back("destroy"); };
    form.on_message(window::WM_USER + 5, [&](FormMessage&) { events.push_back("message"); });
    window::post_message(form.handle(), window::WM_USER + 5);
    form.Release();
    EXPECT_EQ(application().forms().size(), 1u);
    window::run_nested_loop_for([&] { return application().forms().empty(); }, 10000);
    EXPECT_EQ(events, (std::vector<std::string>{"message", "destroy"}));
}

TEST_F(Modal, StayOnTopFormsComeBeforeOthers) {
    auto a = make_form<Form>("Ta");
    auto b = make_form<Form>("Tb");
    a->FormStyle = FormStyle::stay_on_top;
    a->Show();
    b->Show();
    EXPECT_EQ(screen().ActiveForm, b.get());
    EXPECT_EQ(screen().front_form(), a.get());
    a->FormStyle = FormStyle::normal;
    EXPECT_EQ(screen().front_form(), b.get());
}

}  // namespace
}  // namespace platform::forms

namespace platform::forms {
namespace {

using ModalFailures = testing::FormsTest;
using testing::Reaper;
using testing::TestDialog;

TEST_F(ModalFailures, AnExceptionInsideTheLoopLeavesShowModalAndTheFormNotModal) {
    ScriptedInteraction script;
    Reaper reaper;
    auto dialog = make_form<TestDialog>();
    script.on_next_form([](Form& form) { form.find<ComboBox>("value_edit"); });  // wrong type
    EXPECT_THROW(dialog->ShowModal(), FormError);
    EXPECT_FALSE(dialog->modal());
}

}  // namespace
}  // namespace platform::forms
