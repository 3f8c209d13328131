// Many short runs against zorsim, each with its own seed for the faults on the line: late replies
// (held past the time-out and sent with the resend's reply), dropped, garbled and noisy ones, on
// atoms that finish at once and atoms that take a while. Whatever the faults, every atom runs
// once and in order, and the run ends as finished, never hung.
//
// The runs are split into cases, each a test of its own, so they spread over the test jobs.
// ZOR_SEEDED_RUNS sets the runs per case (default below); the seeds of the cases never overlap.
#include <cstdlib>

#include "core/framed_link.h"
#include "core/tests/e2e/session_fixture.h"
#include "utilities/text.h"

namespace core_test {
namespace {

using core::link_state;
using core::run_state;

constexpr int cases = 12;
constexpr int default_runs_per_case = 6;
constexpr int steps = 12;

int runs_per_case() {
    const char* text = std::getenv("ZOR_SEEDED_RUNS");
    if (!text || !*text) return default_runs_per_case;
    const int n = std::atoi(text);
    return n > 0 ? n : default_runs_per_case;
}

// Moves to numbered depths between washes and waits for a sync signal (whose end the instrument
// reports with "@", not "|"), so the order shows in what ran.
std::string step_text(int i) {
    switch (i % 4) {
        case 1:
            return "Mv(" + putils::real_to_text(i * 0.1) + ")";
        case 2:
            return "Wb()";
        case 3:
            return "Wa()";
        default:
            return "Sy()";
    }
}

std::string step_atom(int i) {
    switch (i % 4) {
        case 1:
            return "MOVE_TO_VIAL(Tray1,1," + std::to_string(i * 100) + ",)";
        case 2:
            return "WASH(Wash2,2,)";
        case 3:
            return "WASH(Wash1,1,)";
        default:
            return "WAIT_SYNC_SIG(Start In,)";
    }
}

std::vector<std::string> mixed_method() {
    std::vector<std::string> text;
    for (int i = 1; i <= steps; ++i) text.push_back(step_text(i));
    for (const char* line :
         {"[MACRO Mv]", "Depth (mm);1;0;50", "MOVE_TO_VIAL(Tray1,1,Depth)", "[MACRO Wa]", "WASH(Wash1,1)",
          "[MACRO Wb]", "WASH(Wash2,2)", "[MACRO Sy]", "WAIT_SYNC_SIG(Start In)"})
        text.emplace_back(line);
    return text;
}

std::vector<std::string> mixed_atoms() {
    std::vector<std::string> atoms;
    for (int i = 1; i <= steps; ++i) atoms.push_back(step_atom(i));
    return atoms;
}

// The faults and atom durations of one seed: every third run has only instant atoms, one in
// three slow washes beside instant moves, the rest short atoms throughout.
std::vector<std::string> zorsim_options(int seed) {
    std::vector<std::string> o = {"--seed", std::to_string(seed), "--late", "0.15",   "--drop",
                                  "0.05",   "--garble",           "0.05",   "--junk", "0.1"};
    switch (seed % 3) {
        case 0:
            o.insert(o.end(), {"--default-atom-ms", "0"});
            break;
        case 1:
            o.insert(o.end(), {"--default-atom-ms", "0", "--atom-ms", "WASH=150"});
            break;
        default:
            o.insert(o.end(), {"--default-atom-ms", "40"});
            break;
    }
    return o;
}

class SeededRuns : public SessionE2E, public ::testing::WithParamInterface<int> {
  protected:
    // One run; a failure names its seed.
    void run_one(int seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        start_session(zorsim_options(seed));
        // A short time-out keeps the many resends quick; the rules are the same at any length.
        link_state().reply_timeout_ticks = 4;
        ASSERT_TRUE(pump_until([] { return link_state().good_replies >= 1; }));
        ASSERT_TRUE(start_method_text(mixed_method()));
        if (!pump_until([] { return hook_count("on_method_finished") == 1; }, 120s)) {
            std::string tail;
            const auto lines = sim->transcript();
            for (std::size_t i = lines.size() > 60 ? lines.size() - 60 : 0; i < lines.size(); ++i)
                tail += lines[i] + "\n";
            FAIL() << "the run neither finished nor ended with an error; the line's last frames:\n" << tail;
        }
        EXPECT_FALSE(run_state().run_active);
        EXPECT_FALSE(run_state().error_mode);
        EXPECT_EQ(sim->executed(), mixed_atoms());
        EXPECT_TRUE(port_errors.empty());
        late_replies += link_state().stale_replies;
    }

    std::uint64_t late_replies = 0;
};

TEST_P(SeededRuns, every_atom_runs_once_and_in_order_whatever_the_line_does) {
    const int runs = runs_per_case();
    for (int i = 0; i < runs; ++i) {
        if (i > 0) {
            TearDown();
            SetUp();
        }
        run_one(GetParam() * 10000 + i + 1);
        if (HasFatalFailure()) return;
    }
    // The late replies really came beside the resends' replies and were dropped as answering
    // nothing.
    EXPECT_GT(late_replies, 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, SeededRuns, ::testing::Range(0, cases));

}  // namespace
}  // namespace core_test
