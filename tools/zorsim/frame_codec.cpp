#include "tools/zorsim/frame_codec.h"

namespace zorsim {
namespace {

constexpr char hex_digits[] = "0123456789ABCDEF";

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;  // the host's receiver takes both cases; so do we
    return -1;
}

std::string trailer(std::string_view text) {
    const std::size_t n = text.size();
    return hex_byte(static_cast<unsigned>(n >> 8)) + hex_byte(static_cast<unsigned>(n)) +
           hex_byte(xor_of(text));
}

}  // namespace

std::string hex_byte(unsigned value) {
    return {hex_digits[(value >> 4) & 0xF], hex_digits[value & 0xF]};
}

std::uint8_t xor_of(std::string_view bytes) {
    std::uint8_t x = 0;
    for (char c : bytes) x ^= static_cast<std::uint8_t>(c);
    return x;
}

std::string encode_reply(std::string_view payload) {
    std::string frame;
    frame.reserve(payload.size() + 8);
    frame += STX;
    frame += payload;
    frame += ETX;
    frame += trailer(payload);
    return frame;
}

std::string encode_command(char digit, std::string_view text) {
    std::string frame;
    frame.reserve(text.size() + 9);
    frame += STX;
    frame += digit;
    frame += text;
    frame += ETX;
    frame += trailer(text);
    return frame;
}

std::string reply_payload(const std::vector<std::string>& lines, std::string_view code) {
    std::string payload;
    for (const auto& line : lines) {
        payload += line;
        payload += CR;
    }
    payload += code;
    return payload;
}

char forbidden_frame_byte(std::string_view text) {
    for (char c : text) {
        if (c == ETX || c == XON || c == XOFF) return c;
    }
    return 0;
}

std::optional<CommandReceiver::Frame> CommandReceiver::fail(std::string problem) {
    Frame bad = std::move(frame_);
    bad.good = false;
    bad.problem = std::move(problem);
    frame_ = Frame{};
    state_ = State::idle;
    return bad;
}

std::optional<CommandReceiver::Frame> CommandReceiver::feed(char byte) {
    if (byte == STX) {
        // An STX inside a frame means the rest of it was lost; give up on it and start over,
        // so one lost ETX costs one frame, not two.
        std::optional<Frame> lost;
        if (state_ != State::idle) lost = fail("frame cut short by a new STX");
        frame_ = Frame{};
        frame_.raw += STX;
        state_ = State::digit;
        return lost;
    }
    if (state_ == State::idle) return std::nullopt;  // noise between frames
    frame_.raw += byte;
    switch (state_) {
        case State::idle:
            break;
        case State::digit:
            if (byte != '1' && byte != '2') return fail("sequence digit is not 1 or 2");
            frame_.digit = byte;
            state_ = State::text;
            break;
        case State::text:
            if (byte == ETX) {
                state_ = State::trailer;
                trailer_digits_ = 0;
                declared_length_ = 0;
                declared_xor_ = 0;
            } else if (frame_.text.size() >= max_frame_text) {
                return fail("command longer than 65535 bytes");
            } else {
                frame_.text += byte;
            }
            break;
        case State::trailer: {
            const int v = hex_value(byte);
            if (v < 0) return fail("bad digit in the trailer");
            if (trailer_digits_ < 4) {
                declared_length_ = declared_length_ * 16 + static_cast<unsigned>(v);
            } else {
                declared_xor_ = declared_xor_ * 16 + static_cast<unsigned>(v);
            }
            if (++trailer_digits_ < 6) break;
            if (declared_length_ != frame_.text.size()) {
                return fail("length error: counted " + std::to_string(frame_.text.size()) + ", declared " +
                            std::to_string(declared_length_));
            }
            if (declared_xor_ != xor_of(frame_.text)) {
                return fail("checksum error: computed " + hex_byte(xor_of(frame_.text)) + ", received " +
                            hex_byte(declared_xor_));
            }
            Frame good = std::move(frame_);
            good.good = true;
            frame_ = Frame{};
            state_ = State::idle;
            return good;
        }
    }
    return std::nullopt;
}

}  // namespace zorsim
