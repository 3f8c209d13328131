// zorctl's commands against a scripted driver: what a whole run calls, in which order, what it
// prints, and how it ends on refusals, failed calls and time-outs. No process and no bus: the
// driver's status moves one scripted step at each wait, and the clock is the script's own.
#include <gtest/gtest.h>

#include <unistd.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/zorctl/commands.h"

namespace {

using zorctl::Outcome;

struct Step {
    std::int32_t code;
    std::string text;
};

class ScriptedDriver : public zorctl::Driver {
  public:
    Step now{0, "The Zor is Idle"};
    bool initialize_makes_idle = true;
    std::deque<Step> after_prepare;
    std::deque<Step> after_start;
    std::int32_t prepare_result = 1;
    Outcome prepare_outcome;
    std::deque<std::int32_t> uploading_values;
    int notices = 0;
    int notice_after_waits = -1;  // the configuration notice arrives after this many waits
    std::vector<std::string> calls;
    zorctl::PrepareArguments prepared;
    std::chrono::steady_clock::time_point time{};
    int waits = 0;

    zorctl::Clock clock() {
        return [this] { return time; };
    }

    Outcome get_status(std::int32_t& code) override {
        code = now.code;
        return {};
    }
    Outcome atom_status(std::string& text) override {
        // The driver's own rule: its idle text whenever no run is active, except for a failure
        // (8) or a lost instrument (10), whose text is the reason.
        const bool active = now.code != 0 && now.code != 1;
        text = active ? now.text : "The Zor is idle";
        return {};
    }
    Outcome initialize(std::int32_t& result) override {
        calls.push_back("Initialize");
        if (initialize_makes_idle) now = {1, "The Zor is idle"};
        result = 1;
        return {};
    }
    Outcome start_run(std::int32_t& result) override {
        calls.push_back("StartRun");
        now = {6, "Zor continuing method"};
        pending = after_start;
        result = 1;
        return {};
    }
    Outcome stop_run(std::int32_t& result) override {
        calls.push_back("StopRun");
        result = 1;
        return {};
    }
    Outcome prepare_for_run(const zorctl::PrepareArguments& a, std::int32_t& result) override {
        calls.push_back("PrepareForRun");
        prepared = a;
        if (!prepare_outcome.ok()) return prepare_outcome;
        result = prepare_result;
        if (result == 0) return {};
        if (now.code != 1) {
            now = {8, "Got a run command, but not ready"};
        } else {
            now = {3, "Zor starting method"};
            pending = after_prepare;
        }
        return {};
    }
    Outcome instrument_has_stopped(std::int32_t& result) override {
        // Status 3 with its first text: the driver waits for the syringe and no run is active yet.
        const bool preparing = now.code == 3 && now.text == "Zor starting method";
        result = (now.code == 0 || now.code == 1 || now.code == 8 || preparing) ? 1 : 0;
        return {};
    }
    Outcome read_barcode(const std::string&, std::string& code, std::int32_t& result) override {
        code = "Tray2-005";
        result = 1;
        return {};
    }
    Outcome reset() override {
        calls.push_back("Reset");
        return {};
    }
    Outcome reload_configuration() override {
        calls.push_back("ReloadConfiguration");
        return {};
    }
    Outcome uploading(std::int32_t& result) override {
        result = uploading_values.empty() ? 0 : uploading_values.front();
        if (uploading_values.size() > 1) uploading_values.pop_front();
        return {};
    }
    Outcome start_polling() override {
        calls.push_back("StartPolling");
        return {};
    }
    Outcome get_syringe(std::string& syringe) override {
        syringe = "10ul";
        return {};
    }
    bool wait_for_news(unsigned ms) override {
        time += std::chrono::milliseconds(ms);
        ++waits;
        if (waits == notice_after_waits) ++notices;
        if (pending.empty()) return false;
        now = pending.front();
        pending.pop_front();
        return true;
    }
    int configuration_notices() const override { return notices; }
    int interrupts() const override {
        return interrupt_after_waits >= 0 && waits >= interrupt_after_waits ? 1 : 0;
    }
    int interrupt_after_waits = -1;  // Ctrl-C arrives during this wait (0: before the run began)

  private:
    std::deque<Step> pending;
};

class ZorctlRunFollower : public ::testing::Test {
  protected:
    void SetUp() override {
        document =
            std::filesystem::temp_directory_path() / ("zorctl-doc-" + std::to_string(::getpid()) + ".zor");
        std::ofstream(document) << "not read by the scripted driver";
        options.document = document.string();
        options.vial = "Tray2:5";
        options.volume = 2.5;
    }
    void TearDown() override { std::filesystem::remove(document); }

    int run() { return zorctl::run_method(driver, options, driver.clock(), out, err); }
    std::vector<std::string> out_lines() const {
        std::vector<std::string> lines;
        std::istringstream in(out.str());
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    std::filesystem::path document;
    ScriptedDriver driver;
    zorctl::RunOptions options;
    std::ostringstream out, err;
};

TEST_F(ZorctlRunFollower, a_whole_run_starts_the_method_when_it_waits_and_prints_every_status_change) {
    driver.after_prepare = {{3, "Washing 50%"}, {3, "Washing 50%"}, {4, "Waiting for start"}};
    driver.after_start = {{6, "Injecting 40%"}, {9, "The Zor is busy"}, {1, "The Zor is idle"}};
    EXPECT_EQ(run(), zorctl::exit_ok) << err.str();
    EXPECT_EQ(driver.calls, (std::vector<std::string>{"Initialize", "PrepareForRun", "StartRun"}));
    EXPECT_EQ(driver.prepared.method_name, document.string());
    EXPECT_EQ(driver.prepared.vial, "Tray2:5");
    EXPECT_EQ(driver.prepared.injection_volume, 2.5);
    EXPECT_EQ(driver.prepared.start_mode, 0);
    EXPECT_EQ(driver.prepared.row_index, 0);
    EXPECT_EQ(out_lines(),
              (std::vector<std::string>{
                  "status 1: The Zor is idle",
                  "PrepareForRun " + document.string() + " vial Tray2:5 volume 2.5 start mode 0: 1",
                  "status 3: Zor starting method",
                  "status 3: Washing 50%",
                  "status 4: Waiting for start",
                  "StartRun: 1",
                  "status 6: Zor continuing method",
                  "status 6: Injecting 40%",
                  "status 9: The Zor is busy",
                  "status 1: The Zor is idle",
                  "the method has ended",
              }));
    EXPECT_EQ(err.str(), "");
}

TEST_F(ZorctlRunFollower, a_method_without_a_wait_for_its_start_ends_without_start_run) {
    driver.after_prepare = {{3, "Washing 50%"}, {1, "The Zor is idle"}};
    EXPECT_EQ(run(), zorctl::exit_ok);
    EXPECT_EQ(driver.calls, (std::vector<std::string>{"Initialize", "PrepareForRun"}));
    EXPECT_EQ(out_lines().back(), "the method has ended without waiting for its start");
}

TEST_F(ZorctlRunFollower, a_refused_run_ends_with_status_8_and_says_why_the_driver_was_not_ready) {
    driver.initialize_makes_idle = false;
    EXPECT_EQ(run(), zorctl::exit_failed);
    EXPECT_NE(err.str().find("not ready after Initialize (status 0)"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("the run failed: status 8"), std::string::npos) << err.str();
    EXPECT_EQ(driver.calls, (std::vector<std::string>{"Initialize", "PrepareForRun"}));
    // While no run is active the driver answers its idle text; the code's own text is shown.
    EXPECT_EQ(out_lines().front(), "status 0: The Zor is Idle");
}

TEST_F(ZorctlRunFollower, an_unreadable_document_fails_without_following_the_status) {
    driver.prepare_result = 0;
    EXPECT_EQ(run(), zorctl::exit_failed);
    EXPECT_NE(err.str().find("Zorrun did not take the run of " + document.string() + " (result 0)"),
              std::string::npos);
    EXPECT_EQ(driver.waits, 0);
}

TEST_F(ZorctlRunFollower, a_failed_call_shows_the_error_name_and_message) {
    driver.prepare_outcome = {static_cast<std::int32_t>(0x80004005u),
                              "com.hox.Zorrun.Error.Failed: PrepareForRun failed: HRESULT 0x80004005"};
    EXPECT_EQ(run(), zorctl::exit_call_failed);
    EXPECT_EQ(err.str(),
              "zorctl: PrepareForRun failed: com.hox.Zorrun.Error.Failed: PrepareForRun failed: HRESULT "
              "0x80004005\n");
}

TEST_F(ZorctlRunFollower, a_run_that_never_ends_times_out_and_is_stopped) {
    options.timeout_s = 2;
    driver.after_prepare = {{4, "Waiting for start"}};
    driver.after_start = {{6, "Washing 10%"}};
    EXPECT_EQ(run(), zorctl::exit_timed_out);
    EXPECT_EQ(driver.calls, (std::vector<std::string>{"Initialize", "PrepareForRun", "StartRun", "StopRun"}));
    EXPECT_NE(err.str().find("time-out: the run did not end within 2 s (status 6: Washing 10%)"),
              std::string::npos)
        << err.str();
    // The waits were bounded by the poll interval, and together by the time-out.
    EXPECT_EQ(driver.waits, 2000 / 50);
}

TEST_F(ZorctlRunFollower, a_missing_document_is_refused_before_any_call) {
    options.document = (document.parent_path() / "no-such-document.zor").string();
    EXPECT_EQ(run(), zorctl::exit_failed);
    EXPECT_TRUE(driver.calls.empty());
    EXPECT_NE(err.str().find("no method document"), std::string::npos);
}

TEST_F(ZorctlRunFollower, prepare_alone_reports_the_status_it_left) {
    EXPECT_EQ(zorctl::initialize(driver, out, err), zorctl::exit_ok);
    EXPECT_EQ(zorctl::prepare(driver, options, out, err), zorctl::exit_ok);
    EXPECT_EQ(out_lines().back(), "status 3: Zor starting method");
    EXPECT_EQ(zorctl::prepare(driver, options, out, err), zorctl::exit_failed);  // not idle any more
    EXPECT_NE(err.str().find("refused the run (status 8: "), std::string::npos) << err.str();
}

TEST_F(ZorctlRunFollower, reload_waits_for_the_configuration_notice_and_the_end_of_the_upload) {
    driver.uploading_values = {0, 1, 1, 0};
    driver.notice_after_waits = 2;
    zorctl::WaitOptions wait;
    EXPECT_EQ(zorctl::reload(driver, wait, driver.clock(), out, err), zorctl::exit_ok) << err.str();
    EXPECT_EQ(driver.calls, (std::vector<std::string>{"StartPolling", "ReloadConfiguration"}));
    EXPECT_EQ(out_lines(), (std::vector<std::string>{"ReloadConfiguration: requested", "Uploading: 1",
                                                     "Uploading: 0", "the configuration was received"}));
}

TEST_F(ZorctlRunFollower, reload_that_never_uploads_times_out) {
    zorctl::WaitOptions wait{.timeout_s = 1, .poll_ms = 100};
    EXPECT_EQ(zorctl::reload(driver, wait, driver.clock(), out, err), zorctl::exit_timed_out);
    EXPECT_EQ(driver.waits, 10);
}

TEST_F(ZorctlRunFollower, an_upload_that_the_driver_did_not_take_is_a_failure_with_the_drivers_reason) {
    driver.uploading_values = {1, 0};
    const std::string reason =
        "The configuration from the Zor was not taken: The configuration has no [LISTS] section";
    driver.now = {8, reason};
    zorctl::WaitOptions wait;
    EXPECT_EQ(zorctl::reload(driver, wait, driver.clock(), out, err), zorctl::exit_failed);
    EXPECT_EQ(err.str(),
              "zorctl: the upload ended without a configuration that the driver took: " + reason + "\n");
}

TEST_F(ZorctlRunFollower, ctrl_c_during_a_run_stops_it_on_the_instrument_before_zorctl_exits) {
    driver.after_prepare = {{3, "Washing 50%"}, {4, "Waiting for start"}};
    driver.after_start = {{6, "Injecting 40%"}, {6, "Injecting 80%"}, {1, "The Zor is idle"}};
    driver.interrupt_after_waits = 3;
    EXPECT_EQ(run(), zorctl::exit_interrupted);
    EXPECT_EQ(driver.calls, (std::vector<std::string>{"Initialize", "PrepareForRun", "StartRun", "StopRun"}));
    EXPECT_EQ(out_lines().back(), "StopRun: 1");
    EXPECT_NE(err.str().find("interrupted: the run was stopped"), std::string::npos) << err.str();
}

TEST_F(ZorctlRunFollower, ctrl_c_while_the_driver_prepares_stops_the_run_once_it_has_begun) {
    // A stop before the run is active would be lost: the method would start after zorctl left.
    driver.after_prepare = {{3, "Zor starting method"}, {3, "Washing 50%"}, {4, "Waiting for start"}};
    driver.interrupt_after_waits = 1;
    EXPECT_EQ(run(), zorctl::exit_interrupted);
    EXPECT_EQ(driver.calls, (std::vector<std::string>{"Initialize", "PrepareForRun", "StopRun"}));
    EXPECT_EQ(driver.now.text, "Washing 50%");
}

TEST_F(ZorctlRunFollower, ctrl_c_before_the_run_was_prepared_prepares_nothing) {
    driver.interrupt_after_waits = 0;
    EXPECT_EQ(run(), zorctl::exit_interrupted);
    EXPECT_EQ(driver.calls, (std::vector<std::string>{"Initialize"}));
}

}  // namespace
