// Faults come from the seed: the same seed and the same exchange give the same bytes on the line.
#include <gtest/gtest.h>

#include "platform/testing/wait.h"
#include "support/simulator_fixture.h"

namespace zorsim::test {
namespace {

using std::chrono::milliseconds;
using zor_testing::wait_until;

struct Exchange {
    std::string bytes;  // everything the host received
    Stats stats;
};

Exchange run_exchange(std::uint64_t seed, int commands) {
    const auto dir = zor_testing::make_temp_folder("zorsim-test");
    Options o;
    o.seed = seed;
    o.faults.drop = 0.2;
    o.faults.garble = 0.3;
    o.faults.junk = 0.3;
    o.transcript_path = (dir / "transcript.txt").string();
    Simulator sim(o);
    EXPECT_EQ(sim.open(), "");
    sim.start();
    HostLink host(sim.slave_path());
    Exchange e;
    for (int i = 0; i < commands; ++i) {
        host.send(i % 2 ? '2' : '1', i % 3 ? "GET_STAT" : "GET_SYR");
        EXPECT_TRUE(wait_until([&] { return sim.stats().replies == i + 1; })) << "reply " << i;
        e.bytes += host.read_until_quiet(milliseconds(20), milliseconds(500));
    }
    // A reply is counted before it is written: the last one may still be on its way.
    e.bytes += host.read_until_quiet(milliseconds(300), milliseconds(1000));
    sim.stop();
    e.stats = sim.stats();
    std::filesystem::remove_all(dir);
    return e;
}

TEST(FaultReproducibility, the_same_seed_gives_the_same_faults_and_another_seed_others) {
    const Exchange a = run_exchange(7, 40);
    const Exchange b = run_exchange(7, 40);
    const Exchange c = run_exchange(8, 40);
    EXPECT_EQ(a.bytes, b.bytes);
    EXPECT_EQ(a.stats.dropped, b.stats.dropped);
    EXPECT_EQ(a.stats.garbled, b.stats.garbled);
    EXPECT_NE(a.bytes, c.bytes);

    // Each kind of fault happened, and each one is a fault the host's frame check sees.
    EXPECT_GT(a.stats.dropped, 0);
    EXPECT_GT(a.stats.garbled, 0);
    const auto frames = split_replies(a.bytes);
    EXPECT_EQ(static_cast<long>(frames.size()), 40 - a.stats.dropped);
    long bad = 0, noisy = 0;
    for (const auto& f : frames) {
        if (!f.good()) ++bad;
        if (!f.noise.empty()) ++noisy;
        if (f.good()) {
            EXPECT_TRUE(f.payload == "READY" || f.payload == "10ul\r|") << f.payload;
        }
        for (char ch : f.noise) EXPECT_TRUE(ch != '\x02' && ch != '\x03' && ch != '\x11' && ch != '\x13');
    }
    EXPECT_EQ(bad, a.stats.garbled);
    EXPECT_GT(noisy, 0);
}

TEST(FaultReproducibility, rates_change_at_run_time_and_reseeding_restarts_the_pattern) {
    const auto dir = zor_testing::make_temp_folder("zorsim-test");
    Options o;
    Simulator sim(o);
    ASSERT_EQ(sim.open(), "");
    sim.start();
    HostLink host(sim.slave_path());
    auto burst = [&](int n) {
        std::string all;
        const long before = sim.stats().replies;
        for (int i = 0; i < n; ++i) {
            host.send(i % 2 ? '2' : '1', "GET_STAT");
            EXPECT_TRUE(wait_until([&] { return sim.stats().replies == before + i + 1; }));
            all += host.read_until_quiet(milliseconds(20), milliseconds(500));
        }
        return all + host.read_until_quiet(milliseconds(300), milliseconds(1000));
    };
    ASSERT_EQ(sim.control("garble 0.5"), "ok");
    ASSERT_EQ(sim.control("seed 99"), "ok");
    const std::string first = burst(20);
    ASSERT_EQ(sim.control("seed 99"), "ok");
    const std::string second = burst(20);
    EXPECT_EQ(first, second);
    ASSERT_EQ(sim.control("garble 0"), "ok");
    for (const auto& f : split_replies(burst(10))) EXPECT_TRUE(f.good());
    EXPECT_EQ(sim.control("garble 2").rfind("error", 0), 0u);
    sim.stop();
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace zorsim::test
