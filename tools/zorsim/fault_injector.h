// Faults on the replies, drawn from a seeded generator of our own (not a standard distribution,
// whose results differ between libraries), so one seed gives the same faults on every machine.
// Each reply draws the same number of values whatever comes out, so a fault pattern depends only
// on the seed and the number of replies sent before.
#pragma once

#include <cstdint>
#include <string>

namespace zorsim {

// SplitMix64: small, fast and fully specified.
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    double unit();               // in [0, 1)
    unsigned below(unsigned n);  // in [0, n)

  private:
    std::uint64_t state_;
};

struct FaultRates {
    double drop = 0;    // the reply is not sent at all
    double garble = 0;  // the reply is sent with a fault the host's frame check catches
    double junk = 0;    // noise bytes go out before the reply's STX
    // The reply is held past the host's time-out and goes out together with the reply to the
    // host's resend, in one write.
    double late = 0;
    // Late replies may also be replies to resends and to SET_BAUD, and a held reply the host
    // did not wait for is not withdrawn when the host sends a new frame: it goes out in the same
    // write as that frame's reply, in front of it, as a reply that took too long on a real line.
    bool late_any = false;
};

struct FaultedReply {
    bool dropped = false;
    std::string bytes;  // what goes on the line (empty when dropped)
    std::string note;   // "dropped", "garbled: ...", "junk: n bytes"
};

class FaultInjector {
  public:
    explicit FaultInjector(std::uint64_t seed = 1) : random_(seed), late_random_(late_seed(seed)) {}

    void reseed(std::uint64_t seed) {
        random_ = Random(seed);
        late_random_ = Random(late_seed(seed));
    }
    FaultRates& rates() { return rates_; }
    const FaultRates& rates() const { return rates_; }

    // The frame as it goes out, given the reply frame as it should be.
    FaultedReply apply(const std::string& frame);
    // Whether a reply (one that is no resend) is held late. A generator of its own, so adding
    // late replies leaves the other faults of a seed as they were.
    bool draw_late();

  private:
    static std::uint64_t late_seed(std::uint64_t seed) { return seed ^ 0x6C617465ULL; }
    Random random_;
    Random late_random_;
    FaultRates rates_;
};

}  // namespace zorsim
