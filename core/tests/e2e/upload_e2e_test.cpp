// The configuration upload against zorsim: with late replies that come in front of the next
// command's reply (so a stale "|" and the configuration share one read), every seed takes the
// real configuration; a configuration reply that can never be read fails the upload after the
// link's resends, which still goes back to 9600 baud and asks for the firmware version.
#include <algorithm>
#include <fstream>

#include "core/config_model.h"
#include "core/framed_link.h"
#include "core/step_queue.h"
#include "core/step_sequences.h"
#include "core/tests/e2e/session_fixture.h"

namespace core_test {
namespace {

using core::link_state;
using core::session_state;

constexpr int upload_cases = 4;
constexpr int seeds_per_case = 4;

class UploadE2E : public SessionE2E {
  protected:
    // Short time-outs keep the resends quick; the rules are the same at any length.
    void shorten_time_outs() {
        link_state().reply_timeout_ticks = 6;
        link_state().config_timeout_ticks = 12;
    }
    // Starts the upload and waits for its end: the firmware's answer, nothing more queued.
    bool upload() {
        session_state().config_progress.failed = [this](const std::string& reason) {
            failures.push_back(reason);
        };
        core::queue_reload_sequence();
        return pump_until(
            [] {
                return count_fw_replies() > 0 && session_state().uploading == 0 &&
                       !core::upload_under_way() && idle();
            },
            120s);
    }
    static int count_fw_replies() { return session_state().firmware_version.empty() ? 0 : 1; }
    std::string transcript_tail() const {
        std::string tail;
        const auto lines = sim->transcript();
        for (std::size_t i = lines.size() > 40 ? lines.size() - 40 : 0; i < lines.size(); ++i)
            tail += lines[i] + "\n";
        return tail;
    }
    std::vector<std::string> failures;
};

class SeededUploads : public UploadE2E, public ::testing::WithParamInterface<int> {
  protected:
    std::uint64_t stale = 0;
};

TEST_P(SeededUploads, every_upload_with_late_replies_takes_the_real_configuration) {
    const std::vector<std::string> expected =
        read_file_lines(std::string(ZOR_EXAMPLES_DIR) + "/zor_config.pol");
    for (int i = 0; i < seeds_per_case; ++i) {
        if (i > 0) {
            TearDown();
            SetUp();
        }
        const int seed = GetParam() * seeds_per_case + i + 1;
        SCOPED_TRACE("seed " + std::to_string(seed));
        start_session({"--seed", std::to_string(seed), "--late", "0.3", "--late-any"});
        shorten_time_outs();
        ASSERT_TRUE(pump_until([] { return link_state().good_replies >= 1; }));
        // The cache must come from this upload.
        std::filesystem::remove(folder / "latest_zor.pol");
        core::reset_config_model();
        ASSERT_TRUE(upload()) << "the upload did not end; the line's last frames:\n" << transcript_tail();
        EXPECT_TRUE(failures.empty()) << failures.front();
        EXPECT_EQ(read_file_lines(folder / "latest_zor.pol"), expected) << transcript_tail();
        EXPECT_GT(core::config_model().atom_count, 0);
        EXPECT_EQ(session_state().firmware_version, "ZR1.0.0150");
        EXPECT_TRUE(port_errors.empty());
        if (HasFailure()) return;
        stale += link_state().stale_replies;
    }
    // Late replies really came in front of other replies and were dropped as answering nothing.
    EXPECT_GT(stale, 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, SeededUploads, ::testing::Range(0, upload_cases));

// A served text no reply frame can carry: why.
enum class Unreadable { control_byte, too_long };

class UnreadableUploads : public UploadE2E, public ::testing::WithParamInterface<Unreadable> {};

TEST_P(UnreadableUploads, a_configuration_reply_that_cannot_be_read_fails_the_upload_after_the_resends) {
    std::vector<std::string> lines = read_file_lines(std::string(ZOR_EXAMPLES_DIR) + "/zor_config.pol");
    if (GetParam() == Unreadable::control_byte) {
        // An ETX inside the text ends the frame early: its trailer never checks.
        lines.insert(lines.begin() + 1, std::string("x") + core::ETX + "y");
    } else {
        // More than the four hex digits of the frame's length can count.
        for (int i = 0; i < 700; ++i) lines.push_back(std::string(100, 'z'));
    }
    {
        std::ofstream out(folder / "served.pol", std::ios::binary);
        for (const auto& line : lines) out << line << "\r\n";
    }
    const std::vector<std::string> cached = read_file_lines(folder / "latest_zor.pol");
    start_session({"--config", (folder / "served.pol").string()});
    shorten_time_outs();
    ASSERT_TRUE(pump_until([] { return link_state().good_replies >= 1; }));
    const int atoms = core::config_model().atom_count;
    ASSERT_GT(atoms, 0);
    ASSERT_TRUE(upload()) << transcript_tail();
    EXPECT_EQ(count_sent("GET_CONFIG"), 4);
    std::vector<std::string> commands = sent_commands_without_polls();
    commands.erase(std::unique(commands.begin(), commands.end()), commands.end());
    EXPECT_EQ(commands,
              (std::vector<std::string>{"SET_BAUD 38400", "GET_CONFIG", "SET_BAUD 9600", "GET_FW_VERSION"}));
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(
        failures[0].rfind("The configuration from the Zor was not taken: its reply to GET_CONFIG failed", 0),
        0u)
        << failures[0];
    EXPECT_EQ(session_state().upload_failure, failures[0]);
    // The old configuration stays, in the model and in the cache.
    EXPECT_EQ(core::config_model().atom_count, atoms);
    EXPECT_EQ(read_file_lines(folder / "latest_zor.pol"), cached);
    EXPECT_NE(sim->tell("status").find("baud=9600"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Texts, UnreadableUploads,
                         ::testing::Values(Unreadable::control_byte, Unreadable::too_long));

}  // namespace
}  // namespace core_test
