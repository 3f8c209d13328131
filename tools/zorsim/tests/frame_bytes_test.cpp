// The framing checked byte by byte against frames worked out by hand.
#include <gtest/gtest.h>

#include "support/host_link.h"
#include "tools/zorsim/byte_escape.h"
#include "tools/zorsim/frame_codec.h"

namespace zorsim {
namespace {

std::optional<CommandReceiver::Frame> feed_all(CommandReceiver& r, const std::string& bytes) {
    std::optional<CommandReceiver::Frame> last;
    for (char c : bytes) {
        if (auto f = r.feed(c)) last = f;
    }
    return last;
}

TEST(FrameBytes, first_get_stat_of_a_session_is_the_known_frame) {
    // STX "1" "GET_STAT" ETX "0008" "1B": length 8, XOR of the eight letters 0x1B.
    const std::string expected =
        "\x02"
        "1GET_STAT\x03"
        "00081B";
    EXPECT_EQ(test::command_frame('1', "GET_STAT"), expected);
    EXPECT_EQ(encode_command('1', "GET_STAT"), expected);
}

TEST(FrameBytes, replies_carry_no_digit_and_count_every_payload_byte) {
    EXPECT_EQ(encode_reply("READY"),
              "\x02READY\x03"
              "00054B");
    EXPECT_EQ(encode_reply("|"),
              "\x02|\x03"
              "00017C");
    EXPECT_EQ(encode_reply("@17"),
              "\x02@17\x03"
              "000346");
    // A data line, its CR and the code: 6 bytes, CR included in length and XOR.
    EXPECT_EQ(encode_reply(reply_payload({"10ul"}, "|")),
              "\x02"
              "10ul\r|\x03"
              "000669");
    EXPECT_EQ(encode_reply("Barcode unreadable"),
              "\x02"
              "Barcode unreadable\x03"
              "00127F");
}

TEST(FrameBytes, trailers_of_the_host_commands) {
    const std::pair<const char*, const char*> cases[] = {
        {"GET_ATOM_INFO", "000D4F"},
        {"CANCEL", "000606"},
        {"SET_BAUD 38400", "000E10"},
        {"CLEANUP(Wash1,1,1,1,1,1,1,1)", "001C40"},
        {"ASPIRATE(10ul,5000,2000,0,)", "001B27"},
        {"DLD_OBJ TRAY;Tray2;VT96;TH-9070;130000;0;0;20000;A", "003225"},
    };
    for (const auto& [text, trailer] : cases) {
        const std::string frame = encode_command('2', text);
        EXPECT_EQ(frame.substr(frame.size() - 6), trailer) << text;
        EXPECT_EQ(frame, test::command_frame('2', text));
    }
}

TEST(FrameBytes, receiver_takes_good_frames_with_either_digit_case_and_noise_between) {
    CommandReceiver r;
    auto f = feed_all(r, "noise\r\n" + encode_command('2', "GET_STAT"));
    ASSERT_TRUE(f);
    EXPECT_TRUE(f->good);
    EXPECT_EQ(f->digit, '2');
    EXPECT_EQ(f->text, "GET_STAT");
    // Lower-case hexadecimal digits in the trailer are fine.
    f = feed_all(r,
                 "\x02"
                 "1GET_ATOM_INFO\x03"
                 "000d4f");
    ASSERT_TRUE(f);
    EXPECT_TRUE(f->good);
    EXPECT_FALSE(r.in_frame());
}

TEST(FrameBytes, receiver_refuses_frames_that_fail_a_check) {
    CommandReceiver r;
    auto f = feed_all(r,
                      "\x02"
                      "1GET_STAT\x03"
                      "00091B");  // length one too high
    ASSERT_TRUE(f);
    EXPECT_FALSE(f->good);
    EXPECT_NE(f->problem.find("length"), std::string::npos);

    f = feed_all(r,
                 "\x02"
                 "1GET_STAT\x03"
                 "00081C");
    ASSERT_TRUE(f);
    EXPECT_FALSE(f->good);
    EXPECT_NE(f->problem.find("checksum"), std::string::npos);

    f = feed_all(r,
                 "\x02"
                 "1GET_STAT\x03"
                 "0008Z");
    ASSERT_TRUE(f);
    EXPECT_FALSE(f->good);
    EXPECT_NE(f->problem.find("digit"), std::string::npos);

    f = feed_all(r,
                 "\x02"
                 "3GET_STAT\x03"
                 "00081B");
    ASSERT_TRUE(f);
    EXPECT_FALSE(f->good);
    EXPECT_NE(f->problem.find("sequence"), std::string::npos);
}

TEST(FrameBytes, a_frame_cut_short_costs_only_itself) {
    CommandReceiver r;
    std::vector<CommandReceiver::Frame> frames;
    for (char c : std::string("\x02"
                              "1GET_ST") +
                      encode_command('2', "GET_STAT")) {
        if (auto f = r.feed(c)) frames.push_back(*f);
    }
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_FALSE(frames[0].good);
    EXPECT_TRUE(frames[1].good);
    EXPECT_EQ(frames[1].text, "GET_STAT");
}

TEST(FrameBytes, transcript_escaping_names_control_bytes_and_keeps_text) {
    EXPECT_EQ(escape_bytes(encode_reply(reply_payload({"10\xB5l"}, "|"))), "<STX>10\\xB5l<CR>|<ETX>0006A9");
    EXPECT_EQ(escape_bytes(std::string("\x11\x13<\\\n")), "<XON><XOFF>\\x3C\\\\<LF>");
}

}  // namespace
}  // namespace zorsim
