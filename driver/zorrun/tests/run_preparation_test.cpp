// Run preparation without an instrument: the vial text, the stream's line rules, the stored
// run parameters and the syringe check that follows GET_SYR.
#include "driver/zorrun/run_preparation.h"
#include "core/method_expansion.h"
#include "core/method_run.h"
#include "core/run_variables.h"
#include "core/session_state.h"
#include "core/step_queue.h"
#include "core/tests/support/sample_method_folder.h"
#include "driver/zorrun/driver_forms.h"
#include "driver/zorrun/status_model.h"
#include "driver/zorrun/tests/support/driver_fixture.h"
#include "platform/storage/method_codec.h"

namespace zorrun_test {
namespace {

using namespace zorrun;
namespace forms = platform::forms;

// UTF-16LE bytes of 8-bit ASCII text.
std::string utf16(std::string_view text) {
    std::string bytes;
    for (char c : text) {
        bytes.push_back(c);
        bytes.push_back('\0');
    }
    return bytes;
}

TEST(DriverSplitVial, takes_the_tray_before_the_first_colon_and_keeps_the_rest_as_the_position) {
    std::string tray, position;
    split_vial("Tray1:12", tray, position);
    EXPECT_EQ(tray, "Tray1");
    EXPECT_EQ(position, "12");
    // The rest is no vial number (vial_problem refuses it) rather than vial 12.
    split_vial("Tray1:1:2", tray, position);
    EXPECT_EQ(tray, "Tray1");
    EXPECT_EQ(position, "1:2");
    split_vial("Tray1", tray, position);
    EXPECT_EQ(tray, "Tray1");
    EXPECT_EQ(position, "");
    split_vial("", tray, position);
    EXPECT_EQ(tray, "");
    EXPECT_EQ(position, "");
    split_vial(":7", tray, position);
    EXPECT_EQ(tray, "");
    EXPECT_EQ(position, "7");
}

// The method stream's lines as the driver takes them (the documents' one line rule).
std::vector<std::string> split_stream_text(const std::string& bytes) {
    return platform::storage::method_stream_lines(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

TEST(DriverStreamText, cr_lf_a_lone_cr_and_a_lone_lf_each_end_one_line_and_no_character_is_lost) {
    EXPECT_EQ(split_stream_text(utf16("10ul\r\nWash()\r\n")), (std::vector<std::string>{"10ul", "Wash()"}));
    // The last line without CR LF is kept.
    EXPECT_EQ(split_stream_text(utf16("10ul\r\nWash()")), (std::vector<std::string>{"10ul", "Wash()"}));
    // A lone CR ends its line and takes nothing after it.
    EXPECT_EQ(split_stream_text(utf16("ab\rcd\ref\r\n")), (std::vector<std::string>{"ab", "cd", "ef"}));
    EXPECT_TRUE(split_stream_text("").empty());
    // An odd last byte is no character.
    EXPECT_EQ(split_stream_text(utf16("x\r\n") + "y"), (std::vector<std::string>{"x"}));
}

TEST(DriverStreamText, characters_become_windows_1252) {
    std::string bytes = utf16("5 ");
    bytes += std::string("\xB5\x00", 2);  // µ
    bytes += utf16("l ");
    bytes += std::string("\xAC\x20", 2);  // the euro sign, 0x80 in Windows-1252
    bytes += std::string("\x00\x4E", 2);  // a character it has not: "?"
    bytes += utf16("\r\n");
    EXPECT_EQ(split_stream_text(bytes), std::vector<std::string>{"5 \xB5l \x80?"});
}

TEST(DriverStreamText, a_text_of_any_length_gives_all_its_lines) {
    // 1999 lines of 8 characters and CR LF fill 39,980 bytes; the lines after them count too.
    std::string text;
    for (int i = 0; i < 1999; ++i) text += "ABCDEFGH\r\n";
    text += "IJKLMNOPQR\r\n";  // its CR is byte 40,001
    for (int i = 0; i < 5000; ++i) text += "STUVWXYZ\r\n";
    text += "LAST\r\n";
    const auto lines = split_stream_text(utf16(text));
    ASSERT_EQ(lines.size(), 1999u + 1 + 5000 + 1);
    EXPECT_EQ(lines[1999], "IJKLMNOPQR");
    EXPECT_EQ(lines.back(), "LAST");
}

TEST(DriverHresultText, is_ten_upper_case_hex_digits) {
    using platform::storage::message_code;
    EXPECT_EQ(message_code(static_cast<std::int32_t>(0x80030002u)), "0080030002");
    EXPECT_EQ(message_code(static_cast<std::int32_t>(0x800300FBu)), "00800300FB");
    EXPECT_EQ(message_code(0), "0000000000");
}

TEST(DriverFileNamePart, drops_the_folder) {
    EXPECT_EQ(file_name_part("/data/runs/gradient.raw"), "gradient.raw");
    EXPECT_EQ(file_name_part("C:\\runs\\gradient.raw"), "gradient.raw");
    EXPECT_EQ(file_name_part("gradient.raw"), "gradient.raw");
}

class DriverPreparation : public DriverTest {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        load_example_configuration();
        core_test::write_error_macros(folder);
        set_status_idle();
    }
    static std::vector<std::string> method(const std::string& syringe) {
        return {syringe, "Wash()", "[MACRO Wash]", "WASH(Wash1,2)"};
    }
};

TEST_F(DriverPreparation, stores_the_run_parameters_and_queues_the_syringe_check) {
    ASSERT_TRUE(prepare_method(method("10ul"), "/data/runs/gradient.raw", -1, 1, "Tray2:12", 0.5));
    EXPECT_EQ(run_preparation_state().method_syringe, "10ul");
    EXPECT_EQ(run_preparation_state().method_file_name, "gradient.raw");
    EXPECT_EQ(core::method_state().method_source,
              (std::vector<std::string>{"Wash()", "[MACRO Wash]", "WASH(Wash1,2)"}));
    EXPECT_EQ(core::run_variables().sample_tray, "Tray2");
    EXPECT_EQ(core::run_variables().sample_index, 12);
    EXPECT_DOUBLE_EQ(core::run_variables().sample_volume, 0.5);
    EXPECT_TRUE(core::method_state().row_flag);
    EXPECT_FALSE(core::method_state().skip_wrappers);
    EXPECT_EQ(vzor_state().start_mode, 1);
    EXPECT_EQ(vzor_state().status_code, 3);
    EXPECT_EQ(status_text(), "Zor starting method");
    EXPECT_EQ(core::step_queue().size, 2);
    EXPECT_FALSE(core::method_state().alternate_cmd_list.empty());
    // The first step asks for the syringe.
    core::run_next_queued_step();
    EXPECT_EQ(core::step_queue().pending_command, "GET_SYR");
}

TEST_F(DriverPreparation, takes_vial_1_for_a_position_that_is_no_number_and_0_for_tiny_volumes) {
    ASSERT_TRUE(prepare_method(method("10ul"), "run.raw", 0, 0, "Tray1:x", 1e-12));
    EXPECT_EQ(core::run_variables().sample_index, 1);
    EXPECT_EQ(core::run_variables().sample_volume, 0);
    EXPECT_FALSE(core::method_state().row_flag);
    set_status_idle();
    ASSERT_TRUE(prepare_method(method("10ul"), "run.raw", 0, 0, "Tray1:99999999999", -3));
    EXPECT_EQ(core::run_variables().sample_index, 1);
    EXPECT_EQ(core::run_variables().sample_volume, 0);
    set_status_idle();
    ASSERT_TRUE(prepare_method(method("10ul"), "run.raw", 0, 0, "Tray1:1:2", 2));
    EXPECT_EQ(core::run_variables().sample_index, 1);
}

TEST_F(DriverPreparation, a_stream_without_a_syringe_line_throws) {
    EXPECT_THROW(prepare_method({}, "run.raw", 0, 0, "Tray1:1", 1), std::runtime_error);
    EXPECT_EQ(vzor_state().status_code, 1);
    EXPECT_EQ(core::step_queue().size, 0);
}

TEST_F(DriverPreparation, without_error_macros_nothing_is_queued) {
    std::filesystem::remove(folder / "ERROR EXIT.pma");
    EXPECT_FALSE(prepare_method(method("10ul"), "run.raw", 0, 0, "Tray1:1", 1));
    EXPECT_EQ(vzor_state().status_code, 8);
    EXPECT_EQ(status_text(), "Error in error macros");
    EXPECT_EQ(core::step_queue().size, 0);
}

TEST_F(DriverPreparation, a_matching_syringe_in_another_case_starts_the_method) {
    ASSERT_TRUE(prepare_method(method("10UL"), "run.raw", 0, 0, "Tray1:3", 1));
    core::mounted_syringe() = "10ul";
    core::run_next_queued_step();  // GET_SYR
    EXPECT_TRUE(syringe_check_pending());
    core::run_next_queued_step();  // the check
    EXPECT_TRUE(interaction->form_captions().empty());
    EXPECT_TRUE(core::run_state().run_active);
    EXPECT_EQ(core::run_state().cmd_list, std::vector<std::string>{"WASH(Wash1,2,)"});
    EXPECT_FALSE(syringe_check_pending());
}

TEST_F(DriverPreparation, an_empty_method_syringe_skips_the_comparison) {
    ASSERT_TRUE(prepare_method(method(""), "run.raw", 0, 0, "Tray1:3", 1));
    core::mounted_syringe() = "500ul";
    check_syringe_then_run();
    EXPECT_TRUE(interaction->form_captions().empty());
    EXPECT_TRUE(core::run_state().run_active);
}

TEST_F(DriverPreparation, continue_in_the_mismatch_dialog_asks_the_instrument_again) {
    ASSERT_TRUE(prepare_method(method("100ul"), "run.raw", 0, 0, "Tray1:3", 1));
    core::run_next_queued_step();
    core::mounted_syringe() = "10ul";
    interaction->on_next_form([](forms::Form& f) { dynamic_cast<Tnew_syr&>(f).retry_button->click(); });
    core::run_next_queued_step();  // the continuation
    ASSERT_EQ(interaction->form_captions().size(), 1u);
    EXPECT_EQ(interaction->form_captions()[0], "Syringe Mismatch ZOR 1");
    EXPECT_FALSE(core::run_state().run_active);
    EXPECT_EQ(vzor_state().status_code, 3);
    // The sequence starts again with GET_SYR.
    core::step_queue().pending_command.clear();
    core::run_next_queued_step();
    EXPECT_EQ(core::step_queue().pending_command, "GET_SYR");
}

TEST_F(DriverPreparation, cancel_method_in_the_mismatch_dialog_ends_with_sl_exit) {
    ASSERT_TRUE(prepare_method(method("100ul"), "run.raw", 0, 0, "Tray1:3", 1));
    core::mounted_syringe() = "10ul";
    interaction->on_next_form([](forms::Form& f) { dynamic_cast<Tnew_syr&>(f).cancel_button->click(); });
    check_syringe_then_run();
    EXPECT_EQ(vzor_state().status_code, 8);
    EXPECT_EQ(status_text(), "Mismatch between method syringe and actual syringe!");
    EXPECT_TRUE(core::run_state().run_active);  // SL EXIT runs
    EXPECT_EQ(core::run_state().cmd_list, std::vector<std::string>{"WASH(Wash2,3,)"});
}

TEST_F(DriverPreparation, a_method_that_does_not_expand_gives_status_8) {
    ASSERT_TRUE(prepare_method({"10ul", "Missing()"}, "run.raw", 0, 0, "Tray1:3", 1));
    core::mounted_syringe() = "10ul";
    check_syringe_then_run();
    EXPECT_FALSE(core::run_state().run_active);
    EXPECT_EQ(vzor_state().status_code, 8);
    // The expansion said why, in a box and in the status.
    EXPECT_EQ(status_text(), "Error in method! Macro \"Missing\" does not exist.");
    EXPECT_FALSE(interaction->boxes().empty());
}

}  // namespace
}  // namespace zorrun_test
