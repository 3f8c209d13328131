#include "tools/zorsim/fault_injector.h"

#include "tools/zorsim/frame_codec.h"

namespace zorsim {
namespace {

// Noise that a line may pick up between frames: printable text and line ends, never STX, ETX,
// XON or XOFF (those would start a frame or stop the host's output).
constexpr char noise[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 .,:;#*\r\n";

}  // namespace

std::uint64_t Random::next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

double Random::unit() {
    return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0);
}

unsigned Random::below(unsigned n) {
    return n == 0 ? 0 : static_cast<unsigned>(next() % n);
}

bool FaultInjector::draw_late() {
    return late_random_.unit() < rates_.late;
}

FaultedReply FaultInjector::apply(const std::string& frame) {
    // Always the same draws per reply, used or not.
    const double drop = random_.unit();
    const double garble = random_.unit();
    const double junk = random_.unit();
    const unsigned garble_kind = random_.below(3);
    const unsigned garble_spot = random_.below(1u << 16);
    const unsigned junk_length = 1 + random_.below(8);
    const std::uint64_t junk_bits = random_.next();

    FaultedReply out;
    if (drop < rates_.drop) {
        out.dropped = true;
        out.note = "dropped";
        return out;
    }
    out.bytes = frame;
    // frame = STX payload ETX LLLL XX
    const std::size_t payload_size = frame.size() - 8;
    if (garble < rates_.garble) {
        const std::size_t trailer = frame.size() - 6;
        if (garble_kind == 0 && payload_size > 0) {
            // One payload byte changed: the checksum no longer fits. The new byte is a letter
            // other than the old one, so it cannot end the frame early or stop the host.
            const std::size_t at = 1 + garble_spot % payload_size;
            char& c = out.bytes[at];
            c = (c == 'X') ? 'Y' : 'X';
            out.note = "garbled: payload byte " + std::to_string(at - 1) + " changed";
        } else if (garble_kind == 1 || payload_size == 0) {
            // The declared length one too high.
            const unsigned declared = static_cast<unsigned>(payload_size) + 1;
            const std::string digits = hex_byte(declared >> 8) + hex_byte(declared);
            out.bytes.replace(trailer, 4, digits);
            out.note = "garbled: length " + std::to_string(declared) + " declared";
        } else {
            // A character that is no hexadecimal digit in the checksum.
            out.bytes[frame.size() - 1] = 'G';
            out.note = "garbled: bad checksum digit";
        }
    }
    if (junk < rates_.junk) {
        std::string prefix;
        std::uint64_t bits = junk_bits;
        for (unsigned i = 0; i < junk_length; ++i) {
            prefix += noise[bits % (sizeof noise - 1)];
            bits /= (sizeof noise - 1);
        }
        out.bytes.insert(0, prefix);
        if (!out.note.empty()) out.note += "; ";
        out.note += "junk: " + std::to_string(junk_length) + " bytes before STX";
    }
    return out;
}

}  // namespace zorsim
