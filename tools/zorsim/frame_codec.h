// The instrument's side of the framed serial protocol.
//
// Host to instrument (a command):  STX, digit "1"/"2", text, ETX, 4 hex digits of the text's length,
//                                  2 hex digits of the XOR of the text's bytes.
// Instrument to host (a reply):    STX, payload, ETX, 4 hex digits of length, 2 hex digits of XOR.
// A reply has no sequence digit: everything between STX and ETX is payload. Its payload is data
// lines, each ended by CR, then the reply code without a CR ("10ul" CR "|").
// Neither direction escapes anything, so ETX, XON and XOFF can never be part of a text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorsim {

inline constexpr char STX = 0x02;
inline constexpr char ETX = 0x03;
inline constexpr char CR = 0x0D;
inline constexpr char XON = 0x11;
inline constexpr char XOFF = 0x13;

// The 4-hex-digit length field holds at most this.
inline constexpr std::size_t max_frame_text = 0xFFFF;

std::string hex_byte(unsigned value);  // two upper-case digits of value & 0xFF
std::uint8_t xor_of(std::string_view bytes);

// STX payload ETX length checksum.
std::string encode_reply(std::string_view payload);
// STX digit text ETX length checksum: what the host sends; used by tools and tests.
std::string encode_command(char digit, std::string_view text);
// Data lines, each followed by CR, then the code.
std::string reply_payload(const std::vector<std::string>& lines, std::string_view code);

// A byte that may not appear inside a frame's text or payload, or 0 when there is none.
char forbidden_frame_byte(std::string_view text);

// Assembles the host's command frames byte by byte. XON and XOFF must be taken out before (they
// are flow control, never data). A frame that fails any check is reported with its problem and
// never executed; the host then times out and sends it again.
class CommandReceiver {
  public:
    struct Frame {
        bool good = false;
        char digit = 0;       // '1' or '2' for a good frame
        std::string text;     // the command
        std::string raw;      // every byte from STX on, for the transcript
        std::string problem;  // why a bad frame was refused
    };

    // Feeds one byte; a frame (good or bad) comes out when it ends.
    std::optional<Frame> feed(char byte);

    // True while a frame has started and not ended.
    bool in_frame() const { return state_ != State::idle; }

  private:
    enum class State { idle, digit, text, trailer };

    std::optional<Frame> fail(std::string problem);

    State state_ = State::idle;
    Frame frame_;
    unsigned trailer_digits_ = 0;
    unsigned declared_length_ = 0;
    unsigned declared_xor_ = 0;
};

}  // namespace zorsim
