// The framed link's bytes: frames built for the instrument and the receive machine's checks,
// without a terminal.
#include <gtest/gtest.h>

#include "core/framed_link.h"
#include "core/session_state.h"
#include "core/step_queue.h"
#include "core/zor_lib_form.h"

namespace core {
namespace {

// A reply frame as the instrument sends it: STX, payload, ETX, length and XOR.
std::string reply_frame(const std::string& payload, int length_delta = 0, int xor_delta = 0) {
    int x = 0;
    for (char c : payload) x ^= static_cast<unsigned char>(c);
    const int n = static_cast<int>(payload.size()) + length_delta;
    return std::string(1, STX) + payload + std::string(1, ETX) + hex_byte(n >> 8) + hex_byte(n & 0xFF) +
           hex_byte((x + xor_delta) & 0xFF);
}

class FramedLinkTest : public ::testing::Test {
  protected:
    void SetUp() override { reset_session_state(); }
    int feed(const std::string& bytes) {
        int good = 0;
        receive_bytes(bytes, [&] { ++good; });
        return good;
    }
};

TEST_F(FramedLinkTest, frames_carry_digit_command_length_and_xor) {
    EXPECT_EQ(build_frame("GET_STAT", 1), std::string("\x02") + "1GET_STAT" + "\x03" + "00081B");
    EXPECT_EQ(build_frame("WASH(Wash1,1,)", 2), std::string("\x02") + "2WASH(Wash1,1,)" + "\x03" + "000E21");
    EXPECT_EQ(hex_byte(0), "00");
    EXPECT_EQ(hex_byte(255), "FF");
    EXPECT_EQ(hex_digit_value('a'), 10);
    EXPECT_EQ(hex_digit_value('G'), -1);
}

TEST_F(FramedLinkTest, a_command_with_a_byte_no_frame_carries_is_never_queued) {
    for (char c : {STX, ETX, XON, XOFF}) {
        const std::string command = std::string("WASH(W") + c + "1,1,)";
        EXPECT_EQ(frame_problem(command), "a frame cannot carry the byte 0x" + hex_byte(c));
        step_queue().pending_command.clear();
        EXPECT_FALSE(queue_command(command));
        EXPECT_TRUE(step_queue().pending_command.empty());
    }
    // Other control bytes and CR travel; so does a text as long as the length field counts.
    EXPECT_EQ(frame_problem(std::string("A\x01\r\x7f\xff")), "");
    EXPECT_EQ(frame_problem(std::string(max_command_length, 'A')), "");
    EXPECT_NE(frame_problem(std::string(max_command_length + 1, 'A')), "");
    EXPECT_EQ(printable_text("W\x13"
                             "1\x7f"),
              "W\\x131\\x7F");
    EXPECT_TRUE(queue_command("WASH(Wash1,1,)"));
    EXPECT_EQ(step_queue().pending_command, "WASH(Wash1,1,)");
}

TEST_F(FramedLinkTest, a_good_reply_gives_its_lines_and_final_element) {
    EXPECT_EQ(feed("noise" + reply_frame("10ul\r|")), 1);
    ASSERT_EQ(link_state().return_lines.size(), 1u);
    EXPECT_EQ(link_state().return_lines[0], "10ul");
    EXPECT_EQ(link_state().final_element, "|");
}

TEST_F(FramedLinkTest, a_payload_ending_in_cr_has_its_last_line_as_final_element) {
    EXPECT_EQ(feed(reply_frame("Washing 40%\r")), 1);
    EXPECT_EQ(link_state().final_element, "Washing 40%");
}

TEST_F(FramedLinkTest, lower_case_trailer_digits_are_accepted) {
    std::string frame = reply_frame(std::string(1, '\x9D') + "l\r|");
    for (auto& c : frame) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(feed(frame), 1);
    // Translated for display, checked on the raw bytes.
    EXPECT_EQ(link_state().return_lines[0], "\xB5l");
}

TEST_F(FramedLinkTest, damaged_frames_are_dropped) {
    EXPECT_EQ(feed(reply_frame("READY", 1)), 0);                // length one too high
    EXPECT_EQ(feed(reply_frame("READY", 0, 1)), 0);             // checksum
    EXPECT_EQ(feed(std::string("\x02READY\x03") + "00G5"), 0);  // not a digit
    EXPECT_EQ(link_state().receive_state, 0);
    EXPECT_EQ(feed(reply_frame("READY")), 1);
    EXPECT_EQ(link_state().bad_frames, 3u);
}

TEST_F(FramedLinkTest, an_empty_reply_is_not_taken_for_the_previous_code) {
    EXPECT_EQ(feed(reply_frame("|")), 1);
    EXPECT_EQ(feed(reply_frame("")), 0);
    EXPECT_EQ(feed(reply_frame("\r\r")), 0);
}

TEST_F(FramedLinkTest, an_stx_cut_into_a_trailer_starts_the_next_frame) {
    const std::string cut = std::string("\x02READY\x03") + "00";
    EXPECT_EQ(feed(cut + reply_frame("BUSY")), 1);
    EXPECT_EQ(link_state().final_element, "BUSY");
}

TEST_F(FramedLinkTest, an_stx_inside_a_payload_is_a_payload_byte) {
    EXPECT_EQ(feed(reply_frame(std::string("a\x02") + "b\r|")), 1);
    EXPECT_EQ(link_state().return_lines[0], std::string("a\x02") + "b");
}

TEST_F(FramedLinkTest, settings_in_milliseconds_become_ticks) {
    EXPECT_EQ(ms_to_ticks(500), 9);
    EXPECT_EQ(ms_to_ticks(1000), 18);
    EXPECT_EQ(ms_to_ticks(3000), 54);
    EXPECT_EQ(ms_to_ticks(14960), 272);
}

TEST_F(FramedLinkTest, the_step_queue_runs_one_step_per_call_and_keeps_a_new_sequence_whole) {
    std::vector<int> ran;
    install_sequence({[&] { ran.push_back(1); },
                      [&] {
                          ran.push_back(2);
                          install_sequence({[&] { ran.push_back(10); }, [&] { ran.push_back(11); }});
                      },
                      [&] { ran.push_back(3); }});
    for (int i = 0; i < 5; ++i) run_next_queued_step();
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 10, 11}));
    EXPECT_TRUE(step_queue_empty());
    queue_command("GET_SYR");
    EXPECT_EQ(step_queue().pending_command, "GET_SYR");
    EXPECT_EQ(link_state().resends_since_queue, 0);
}

TEST_F(FramedLinkTest, firmware_version_texts) {
    EXPECT_EQ(Tzor_lib::get_juist_version_info("ZR1.0.0150"), "ZR1.0 (Alpha 150)");
    EXPECT_EQ(Tzor_lib::get_juist_version_info("ZR1.0.1500"), "ZR1.0");
    EXPECT_EQ(Tzor_lib::get_juist_version_info("ZR1.0.0250"), "ZR1.0 (Beta 250)");
    EXPECT_EQ(Tzor_lib::get_juist_version_info("ZR1.0.0001"), "");
    EXPECT_THROW(Tzor_lib::get_juist_version_info("ZR1.0.abc"), std::invalid_argument);
}

}  // namespace
}  // namespace core
