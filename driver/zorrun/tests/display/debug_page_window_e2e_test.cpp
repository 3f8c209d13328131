// Zorrun's debug page on a display (run under xvfb-run, with openbox as window manager): the
// person closes it during a run, and the run goes on; Zorrun ends as it always does, when its
// last client lets go.
#include <gtest/gtest.h>

#include <csignal>

#include <memory>
#include <string>

#include "driver/zorrun/tests/display/screen.h"
#include "driver/zorrun/tests/e2e/zorrun_e2e_fixture.h"

namespace zorrun_test {
namespace {

class DebugPageOnDisplay : public ZorrunE2E {
  protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) GTEST_SKIP() << "no display (this test runs under xvfb-run)";
        if (std::string(OPENBOX_PATH).empty())
            GTEST_SKIP() << "no openbox (scripts/install-deps installs it)";
        ZorrunE2E::SetUp();
        window_manager = std::make_unique<WindowManager>(folder);
        ASSERT_TRUE(window_manager->ready()) << "openbox did not start";
    }
    void TearDown() override {
        if (zorctl) {
            zorctl->signal(SIGKILL);
            zorctl->wait_exit(10s);
        }
        ZorrunE2E::TearDown();
        window_manager.reset();
    }

    // An embedded Zorrun with its debug page on, and zorctl running the sample method on
    // zorsim, each atom long enough for the person to act while the run goes on. Gives the
    // page's window.
    std::string run_with_the_page_shown() {
        // zorctl finds the running Zorrun through the class's registration.
        EXPECT_EQ(run_program(ZORRUN_PATH, {"-RegServer"}, {}), 0);
        start({.zorsim = {"--default-atom-ms", "400"},
               .arguments = {"-Embedding"},
               .debug_page = true,
               .interaction = false});
        const std::string path = document(sample_method());
        zorctl =
            std::make_unique<ZorrunProcess>(ZORCTL_PATH, std::vector<std::string>{"run", path, "Tray2:5"},
                                            std::vector<std::string>{}, folder / "zorctl.err");
        const auto page = visible_window("^Debug( ZOR 1)?$");
        EXPECT_TRUE(page) << "no window \"Debug ZOR 1\"\n" << zorrun_stderr();
        // The run is under way (between PrepareForRun and the method's end).
        EXPECT_TRUE(wait_until([&] {
            const auto code = status();
            return code == 3 || code == 4 || code == 5 || code == 6;
        })) << zorrun_stderr();
        return page.value_or("");
    }

    std::string zorctl_stderr() const {
        const auto lines = core_test::read_file_lines(folder / "zorctl.err");
        std::string text;
        for (const auto& line : lines) text += line + "\n";
        return text;
    }

    void expect_the_run_ended_well_and_zorrun_with_its_client() {
        ASSERT_EQ(zorctl->wait_exit(120s), 0) << zorctl_stderr() << zorrun_stderr();
        EXPECT_EQ(sim->executed(), sample_atoms());
        // zorctl let go of its object: the embedded Zorrun ends, as it does without the page.
        EXPECT_EQ(zorrun->wait_exit(20s), 0) << zorrun_stderr();
    }

    std::unique_ptr<WindowManager> window_manager;
    std::unique_ptr<ZorrunProcess> zorctl;
};

TEST_F(DebugPageOnDisplay, alt_f4_hides_the_page_and_the_run_goes_on_to_its_end) {
    const std::string page = run_with_the_page_shown();
    ASSERT_FALSE(page.empty());
    // Alt+F4: openbox asks the window to close (WM_DELETE_WINDOW), as its close button does.
    ASSERT_TRUE(run("xdotool windowactivate --sync " + page + " key --clearmodifiers alt+F4"));
    // The page is gone from the screen while Zorrun carries on.
    EXPECT_TRUE(wait_until([&] { return !run("xdotool search --onlyvisible --name '^Debug'"); }));
    EXPECT_TRUE(zorrun->running()) << zorrun_stderr();
    expect_the_run_ended_well_and_zorrun_with_its_client();
}

}  // namespace
}  // namespace zorrun_test
