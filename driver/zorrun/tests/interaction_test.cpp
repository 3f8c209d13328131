// The test interaction channel from both ends, in one process: boxes answered from the test's
// reader thread, a modal dialog driven by name from another thread.
#include <atomic>
#include <thread>

#include "driver/zorrun/driver_forms.h"
#include "driver/zorrun/interaction.h"
#include "driver/zorrun/run_preparation.h"
#include "driver/zorrun/tests/support/driver_fixture.h"
#include "driver/zorrun/tests/support/interaction_channel.h"
#include "platform/forms/controls.h"
#include "utilities/message_boxes.h"

namespace zorrun_test {
namespace {

using namespace zorrun;
namespace forms = platform::forms;

class DriverChannel : public DriverTest {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        interaction.reset();  // the channel's provider answers instead
        channel = std::make_unique<InteractionChannel>((folder / "ui.sock").string());
        provider = std::make_unique<TestInteraction>(channel->path());
        forms::set_interaction_provider(provider.get());
        ASSERT_TRUE(channel->wait_connected());
    }
    void TearDown() override {
        forms::set_interaction_provider(nullptr);
        provider.reset();
        channel.reset();
        DriverTest::TearDown();
    }
    std::unique_ptr<InteractionChannel> channel;
    std::unique_ptr<TestInteraction> provider;
};

TEST_F(DriverChannel, reports_a_box_and_takes_the_answer_of_the_handler) {
    channel->set_box_handler([](const InteractionEvent& e) -> std::optional<int> {
        return e.buttons == "abort,retry,ignore" ? forms::mr_retry : forms::mr_cancel;
    });
    EXPECT_EQ(putils::ask_abort_retry_ignore("WASH(Wash1,1,)\rError 17"), forms::mr_retry);
    putils::show_error("cant open storage: 0080030002");
    const auto boxes = channel->boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].type, "warning");
    EXPECT_EQ(boxes[0].text, "WASH(Wash1,1,)\rError 17");
    EXPECT_EQ(boxes[1].type, "error");
    EXPECT_EQ(boxes[1].caption, "Error");
    EXPECT_EQ(boxes[1].text, "cant open storage: 0080030002");
    EXPECT_EQ(boxes[1].buttons, "cancel");
}

TEST_F(DriverChannel, a_dialog_is_read_and_answered_by_name) {
    run_preparation_state().method_file_name = "run.raw";
    run_preparation_state().method_syringe = "100ul";
    std::optional<InteractionEvent> seen;
    std::optional<std::string> text;
    bool clicked = false;
    std::thread test([&] {
        seen = channel->next_event();
        text = channel->get("Tnew_syr.warning_text", "Caption");
        clicked = channel->act("Tnew_syr.retry_button", "click");
    });
    const bool answer = ask_syringe_mismatch();
    test.join();
    EXPECT_TRUE(answer);
    EXPECT_TRUE(clicked);
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->kind, "form");
    EXPECT_EQ(seen->form_class, "Tnew_syr");
    EXPECT_EQ(seen->caption, "Syringe Mismatch ZOR 1");
    ASSERT_TRUE(text);
    EXPECT_NE(text->find("uses syringe \"100ul\""), std::string::npos);
}

TEST_F(DriverChannel, a_box_opened_by_a_dialog_action_comes_after_the_reply) {
    dialog_state().out_of_range = {};
    std::vector<std::string> texts;
    bool typed = false, first = false, second = false;
    std::thread test([&] {
        if (!channel->next_event()) return;
        typed = channel->set("Tsyringe_change.edit_syr_value", "Text", "abc");
        first = channel->act("Tsyringe_change.ok_button", "click");
        if (auto box = channel->next_event()) {
            texts.push_back(box->text);
            channel->answer(box->id, forms::mr_cancel);
        }
        channel->set("Tsyringe_change.edit_syr_value", "Text", "7");
        second = channel->act("Tsyringe_change.ok_button", "click");
    });
    const double value = ask_out_of_range("Cycles", "E", 10, 1, 10, 12);
    test.join();
    EXPECT_TRUE(typed && first && second);
    EXPECT_EQ(texts, std::vector<std::string>{"abc is not a number"});
    EXPECT_EQ(value, 7);
}

TEST_F(DriverChannel, a_request_for_an_unknown_component_fails) {
    // Requests come from another thread while this one serves them, as Zorrun's loop does.
    std::optional<std::string> missing, caption;
    bool set_unknown = true;
    std::atomic<bool> done{false};
    std::thread test([&] {
        missing = channel->get("Tnew_syr.no_such_button", "Caption");
        set_unknown = channel->set("Tnew_syr.warning_text", "NoSuchProperty", "x");
        caption = channel->get("Tnew_syr.cancel_button", "Caption");
        done = true;
    });
    EXPECT_TRUE(pump_until([&] { return done.load(); }, std::chrono::seconds(20)));
    test.join();
    EXPECT_FALSE(missing);
    EXPECT_FALSE(set_unknown);
    EXPECT_EQ(caption, "C&ancel Method");
}

TEST_F(DriverChannel, after_the_test_has_gone_boxes_get_the_cautious_answer) {
    channel.reset();
    pump_until([&] { return !provider->connected(); });
    EXPECT_EQ(putils::ask_abort_retry_ignore("x"), forms::mr_abort);
    EXPECT_FALSE(ask_syringe_mismatch());
}

}  // namespace
}  // namespace zorrun_test
