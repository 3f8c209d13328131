// Bar codes (read, unreadable, no reader) and the tray type download against zorsim.
#include "core/barcode.h"
#include "core/config_model.h"
#include "core/tests/e2e/session_fixture.h"
#include "utilities/text.h"

namespace core_test {
namespace {

using core::barcode_state;

class BarcodeE2E : public SessionE2E {
  protected:
    void start(std::vector<std::string> options = {}) {
        options.insert(options.end(), {"--default-atom-ms", "100"});
        start_session(options);
        ASSERT_TRUE(wait_for_replies(1));
    }
};

TEST_F(BarcodeE2E, a_readable_label_comes_back_through_the_hook) {
    start({"--barcode", "Tray2:5=ABC-123"});
    EXPECT_EQ(core::read_barcode("Tray2", "5"), 1);
    ASSERT_TRUE(pump_until([] { return hook_count("on_barcode_text: ABC-123") == 1; }));
    EXPECT_EQ(barcode_state().text, "ABC-123");
    EXPECT_EQ(count_sent("READ_BARCODE(Tray2,5)"), 1);
    EXPECT_EQ(count_sent("GET_SPL_ID"), 1);
    ASSERT_TRUE(wait_for_replies(1));
    EXPECT_TRUE(pump_until([] { return idle(); }));
}

TEST_F(BarcodeE2E, an_unreadable_label_is_reported_without_a_lost_connection) {
    start();
    ASSERT_EQ(sim->tell("unreadable Tray2 6"), "ok");
    EXPECT_EQ(core::read_barcode("Tray2", "6"), 1);
    ASSERT_TRUE(pump_until([] { return hook_count("on_barcode_text: Barcode unreadable!") == 1; }));
    EXPECT_EQ(barcode_state().state, core::barcode_unreadable);
    ASSERT_TRUE(pump_until([] { return idle(); }));
    ASSERT_TRUE(wait_for_replies(1));
    EXPECT_EQ(hook_count("on_disconnected"), 0);
    EXPECT_EQ(hook_count("on_timeout_message"), 0);
    EXPECT_EQ(core::link_state().resends, 0u);
}

TEST_F(BarcodeE2E, an_unreadable_label_during_a_run_moves_it_to_method_exit) {
    start();
    ASSERT_EQ(sim->tell("unreadable Tray2 6"), "ok");
    ASSERT_TRUE(start_method_text({"Read()", "Wash()", "[MACRO Read]", "READ_BARCODE(Tray2,6)",
                                   "[MACRO Wash]", "WASH(Wash1,1)", "[MACRO METHOD EXIT]", "WASH(Wash2,2)"}));
    ASSERT_TRUE(pump_until([] { return hook_count("on_method_finished") == 1; }));
    const std::vector<std::string> expected = {"READ_BARCODE(Tray2,6,)", "WASH(Wash2,2,)"};
    EXPECT_EQ(sim->executed(), expected);
}

TEST_F(BarcodeE2E, an_unreadable_label_during_a_run_fails_the_run) {
    start();
    ASSERT_EQ(sim->tell("unreadable Tray2 6"), "ok");
    ASSERT_TRUE(start_method_text(
        {"Read()", "[MACRO Read]", "READ_BARCODE(Tray2,6)", "[MACRO METHOD EXIT]", "WASH(Wash2,2)"}));
    ASSERT_TRUE(pump_until([] { return hook_count("on_method_finished") == 1; }));
    // The sample was not taken as asked: the run says so when it ends.
    EXPECT_TRUE(core::run_state().failed);
    EXPECT_EQ(core::run_state().failure_text, "Barcode unreadable!");
}

TEST_F(BarcodeE2E, an_unreadable_label_in_the_method_exit_part_lets_that_part_finish_once) {
    start();
    ASSERT_EQ(sim->tell("unreadable Tray2 6"), "ok");
    ASSERT_TRUE(start_method_text({"Wash()", "[MACRO Wash]", "WASH(Wash1,1)", "[MACRO METHOD EXIT]",
                                   "READ_BARCODE(Tray2,6)", "WASH(Wash2,2)"}));
    ASSERT_TRUE(pump_until([] { return hook_count("on_method_finished") == 1; }));
    const std::vector<std::string> expected = {"WASH(Wash1,1,)", "READ_BARCODE(Tray2,6,)", "WASH(Wash2,2,)"};
    EXPECT_EQ(sim->executed(), expected);
    EXPECT_TRUE(core::run_state().failed);
}

TEST_F(BarcodeE2E, a_read_acknowledged_after_an_unreadable_label_is_a_barcode_error) {
    start();
    ASSERT_EQ(sim->tell("barcode-error Tray2 7"), "ok");
    EXPECT_EQ(core::read_barcode("Tray2", "7"), 1);
    ASSERT_TRUE(pump_until([] { return hook_count("on_barcode_text: Barcode error!") == 1; }));
    const std::vector<std::string> reports = {"on_barcode_text: Barcode unreadable!",
                                              "on_barcode_text: Barcode error!"};
    std::vector<std::string> seen;
    for (const std::string& hook : recorded_hooks())
        if (hook.rfind("on_barcode_text", 0) == 0) seen.push_back(hook);
    EXPECT_EQ(seen, reports);
    EXPECT_EQ(barcode_state().state, core::barcode_unreadable);
    // No code is asked for: there is none.
    EXPECT_EQ(count_sent("GET_SPL_ID"), 0);
    ASSERT_TRUE(pump_until([] { return idle(); }));
    EXPECT_EQ(hook_count("on_disconnected"), 0);
}

TEST_F(BarcodeE2E, a_tray_without_a_reader_is_not_read_and_nothing_is_sent) {
    start();
    EXPECT_EQ(core::read_barcode("Tray1", "1"), 0);
    EXPECT_EQ(hook_count("on_barcode_text: Barcode not read!"), 1);
    EXPECT_EQ(barcode_state().state, core::barcode_not_read);
    EXPECT_TRUE(core::step_queue().pending_command.empty());
    // Tray type names are found without regard to case: once Tray1 is of the bar-code tray
    // type (named in other letter case), its vials are read.
    EXPECT_EQ(core::get_list_attribute("VT96", "barcode"), "None");
    EXPECT_EQ(core::get_list_attribute("VT96BC", "barcode"), "AutoFix");
    EXPECT_GE(core::set_tray_type("TRAY1", "vt96bc"), 0);
    EXPECT_TRUE(putils::same_text(core::get_tray_type("Tray1"), "VT96BC"));
    EXPECT_EQ(core::read_barcode("Tray1", "1"), 1);
    EXPECT_EQ(core::step_queue().pending_command, "READ_BARCODE(Tray1,1)");
    core::step_queue().pending_command.clear();
    // Only a vial of the tray is read: nothing of another text goes out.
    for (const char* position : {"0", "97", "1,0)|WASH(Wash1,9", "", "x"}) {
        EXPECT_EQ(core::read_barcode("Tray1", position), 0) << position;
        EXPECT_TRUE(core::step_queue().pending_command.empty()) << position;
    }
}

TEST_F(BarcodeE2E, a_tray_type_kept_in_a_number_is_never_overwritten_by_a_text) {
    start();
    // The tray's "Tray Type" reference turned into a number attribute in the model: a text
    // must not be written into its slot.
    const core::Tobject_rec* tray = core::object_record_by_name("Tray1");
    ASSERT_NE(tray, nullptr);
    auto& cls = const_cast<core::Tclass_rec&>(core::class_of(*tray));
    int attribute = -1;
    for (int a = 0; a < cls.attribute_count; ++a)
        if (putils::same_text(cls.attributes[a].name, "Tray Type")) attribute = a;
    ASSERT_GE(attribute, 0);
    const core::ValueKind kind = cls.attributes[attribute].kind;
    cls.attributes[attribute].kind = core::ValueKind::number;
    const std::string holder_before = core::get_text_attribute("Tray1", "Tray Holder");
    EXPECT_EQ(core::set_tray_type("Tray1", "VT96BC"), -1);
    EXPECT_FALSE(core::download_tray_type("Tray1", "VT96BC"));
    EXPECT_EQ(core::get_text_attribute("Tray1", "Tray Holder"), holder_before);
    EXPECT_TRUE(core::step_queue().pending_command.empty());
    cls.attributes[attribute].kind = kind;
}

TEST_F(BarcodeE2E, a_tray_type_download_reaches_the_instrument_and_the_cache) {
    start();
    EXPECT_EQ(core::set_tray_type("NoSuchTray", "VT96BC"), -1);
    ASSERT_TRUE(core::download_tray_type("Tray1", "VT96BC"));
    ASSERT_TRUE(pump_until([&] { return !sim->downloads().empty(); }));
    ASSERT_TRUE(wait_for_replies(1));
    EXPECT_EQ(sim->downloads()[0].rfind("TRAY;Tray1;VT96BC;TH-1;", 0), 0u);
    bool cached = false;
    for (const auto& line : read_file_lines(folder / "latest_zor.pol"))
        if (line.rfind("TRAY;Tray1;VT96BC;", 0) == 0) cached = true;
    EXPECT_TRUE(cached);
    EXPECT_TRUE(interaction->boxes().empty());
}

}  // namespace
}  // namespace core_test
