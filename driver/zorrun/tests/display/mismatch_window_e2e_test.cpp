// Zorrun on a display (run under xvfb-run): the syringe-mismatch dialog is a real window, a
// click on its Continue button (synthesized by the X server's test extension through xdotool)
// answers it, and the run goes on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>

#include "driver/zorrun/tests/display/screen.h"
#include "driver/zorrun/tests/e2e/zorrun_e2e_fixture.h"

namespace zorrun_test {
namespace {

class ZorrunOnDisplay : public ZorrunE2E {
  protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) GTEST_SKIP() << "no display (this test runs under xvfb-run)";
        ZorrunE2E::SetUp();
    }
};

TEST_F(ZorrunOnDisplay, the_mismatch_dialog_is_a_window_that_a_click_on_continue_answers) {
    start({.zorsim = {"--syringe", "100ul"}, .interaction = false});
    initialize();
    const auto path = folder / "run.raw";
    write_method_document(path, sample_method());
    ASSERT_EQ(client->PrepareForRun("raw", path.string(), "list", 0, 0, "Tray2:5", 1.0, 0).result, 1);

    // The window appears with the dialog's caption.
    const auto found = run("xdotool search --sync --onlyvisible --name '^Syringe Mismatch ZOR 1$'");
    ASSERT_TRUE(found) << "no window \"Syringe Mismatch ZOR 1\"\n" << zorrun_stderr();
    std::istringstream ids(*found);
    std::string window;
    ids >> window;
    const auto geometry = run("xdotool getwindowgeometry --shell " + window);
    ASSERT_TRUE(geometry);
    int width = 0;
    int height = 0;
    std::istringstream lines(*geometry);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("WIDTH=", 0) == 0) width = std::atoi(line.c_str() + 6);
        if (line.rfind("HEIGHT=", 0) == 0) height = std::atoi(line.c_str() + 7);
    }
    ASSERT_GT(width, 0);
    EXPECT_EQ(status(), 3);

    // The person changes the syringe, then clicks Continue: the button's middle, from its place
    // in the form's design (24, 78, 89 x 25 of 274 x 111) scaled to the window.
    sim->tell("syringe 10ul");
    const int x = (24 + 89 / 2) * width / 274;
    const int y = (78 + 25 / 2) * height / 111;
    ASSERT_TRUE(run("xdotool mousemove --window " + window + " " + std::to_string(x) + " " +
                    std::to_string(y) + " click 1"));

    ASSERT_TRUE(wait_for_status(4)) << zorrun_stderr();
    EXPECT_EQ(count_sent("GET_SYR"), 2);
    ASSERT_EQ(client->StartRun().result, 1);
    ASSERT_TRUE(wait_for_status(1));
    EXPECT_EQ(sim->executed(), sample_atoms());
    // The person answered it: Zorrun did not close the dialog by itself.
    EXPECT_EQ(zorrun_stderr().find("dialog Tnew_syr"), std::string::npos) << zorrun_stderr();
}

}  // namespace
}  // namespace zorrun_test
