#include <gtest/gtest.h>

#include <vector>

#include "platform/forms/tests/test_support.h"

namespace platform::forms {
namespace {

using FormMessages = testing::FormsTest;
using testing::Reaper;

constexpr std::uint32_t status_message = window::WM_USER + 401;  // 1425

class StatusForm : public Form {
  public:
    explicit StatusForm(int instance) : Form("TZorStatusX"), instance_(instance) {
        on_message(status_message, [this](FormMessage& m) {
            if (static_cast<int>(m.wparam) == instance_) ++seen;
            m.result = 77;
        });
    }
    int seen = 0;

  private:
    int instance_;
};

TEST_F(FormMessages, AMessagePostedToTheFormsWindowReachesItsHandler) {
    Reaper reaper;
    auto form = make_form<StatusForm>(1);  // never shown: hidden forms get messages too
    EXPECT_EQ(window::class_name(form->handle()), "TZorStatusX");
    EXPECT_EQ(window::find_window("tzorstatusx"), form->handle());

    ASSERT_TRUE(window::post_message(form->handle(), status_message, 1, 0));
    window::post_message(form->handle(), status_message, 2, 0);
    window::run_nested_loop_for([&] { return form->seen == 1; }, 10000);
    window::process_messages();
    EXPECT_EQ(form->seen, 1);
    EXPECT_EQ(window::send_message(form->handle(), status_message, 1, 0), 77);
}

TEST_F(FormMessages, BroadcastToAClassReachesEveryFormOfIt) {
    Reaper reaper;
    auto a = make_form<StatusForm>(1);
    auto b = make_form<StatusForm>(1);
    auto other = make_form<Form>("TMethod_Editor");
    EXPECT_EQ(window::broadcast_to_class("TZorStatusX", status_message, 1, 0), 2);
    window::run_nested_loop_for([&] { return a->seen == 1 && b->seen == 1; }, 10000);
    EXPECT_EQ(a->seen, 1);
    EXPECT_EQ(b->seen, 1);
}

TEST_F(FormMessages, AnEmbeddedFormIsAChildOfItsHostsWindow) {
    auto host = make_form<Form>("THost");
    auto editor = make_form<Form>("TMethod_Editor", host->handle());
    EXPECT_EQ(window::parent_of(editor->handle()), host->handle());
    EXPECT_EQ(window::find_windows_of_class("TMethod_Editor"), std::vector<window::Handle>{editor->handle()});
}

TEST_F(FormMessages, AFormMadeTheForegroundWindowComesToTheFrontAndIsActive) {
    auto weaver = make_form<Form>("TTask_Weaver");
    auto other = make_form<Form>("TOther");
    weaver->Show();
    other->Show();
    ASSERT_EQ(screen().front_form(), other.get());
    ASSERT_TRUE(window::bring_window_of_class_to_front("ttask_weaver"));
    window::process_messages();
    EXPECT_EQ(screen().front_form(), weaver.get());
    EXPECT_EQ(screen().ActiveForm, weaver.get());
}

TEST_F(FormMessages, CloseMessageClosesAVisibleFormAndTheMainFormEndsTheApplication) {
    Reaper reaper;
    auto& main = application().create_form<Form>("Tmain");
    int closes = 0;
    main.OnClose = [&](Component&, CloseAction&) { ++closes; };
    main.Show();
    window::post_message(main.handle(), window::WM_CLOSE);
    EXPECT_EQ(application().run(), 0);  // ended by closing the main form
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(main.Visible);
    EXPECT_FALSE(reaper.fired());
}

TEST_F(FormMessages, ApplicationRunShowsTheMainFormOnlyWhenAsked) {
    Reaper reaper;
    auto& main = application().create_form<Form>("Tmain");
    application().ShowMainForm = false;
    window::post_quit_message(0);
    application().run();
    EXPECT_FALSE(main.Visible);
    EXPECT_TRUE(application().Terminated);
}

TEST_F(FormMessages, CloseBoxNeedsASystemMenu) {
    auto form = make_form<Form>("Tnew_syr");
    form->BorderIcons = BorderIcons{false, false, false, false};
    form->Show();
    EXPECT_THROW(form->close_by_caption(), FormError);
    form->BorderIcons.system_menu = true;
    form->close_by_caption();
    EXPECT_FALSE(form->Visible);
}

}  // namespace
}  // namespace platform::forms
