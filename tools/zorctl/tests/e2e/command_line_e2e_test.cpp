// The programs' command lines as a user meets them: usage on --help, a clear refusal of what
// they do not know, and Ctrl-C in the middle of a run.
#include <signal.h>

#include <algorithm>

#include "tools/zorctl/tests/e2e/zorctl_fixture.h"

namespace zorctl_test {
namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

using ZorrunCommandLine = ZorctlE2E;

TEST_F(ZorrunCommandLine, help_prints_the_usage_and_exits_0_without_serving) {
    for (const char* spelling : {"--help", "-h", "/?"}) {
        const Finished f = run_program({ZORRUN_PATH, spelling}, environment, 20s);
        ASSERT_FALSE(f.timed_out) << spelling << ": Zorrun went on serving";
        EXPECT_EQ(f.exit_code, 0) << spelling << f.err;
        EXPECT_TRUE(contains(f.out, "usage: Zorrun")) << f.out;
        EXPECT_TRUE(contains(f.out, "-RegServer")) << f.out;
        EXPECT_EQ(f.err, "");
    }
    EXPECT_FALSE(zorrun_on_bus());
}

TEST_F(ZorrunCommandLine, an_unknown_switch_is_refused_with_exit_code_2) {
    for (const char* argument : {"--bogus", "-Embeding", "file.raw"}) {
        const Finished f = run_program({ZORRUN_PATH, argument}, environment, 20s);
        ASSERT_FALSE(f.timed_out) << argument << ": Zorrun went on serving";
        EXPECT_EQ(f.exit_code, 2) << argument;
        EXPECT_EQ(f.err, "Zorrun: unknown argument " + std::string(argument) +
                             " (Zorrun --help lists the switches)\n");
    }
    EXPECT_FALSE(zorrun_on_bus());
}

using ZorctlCommandLine = ZorctlE2E;

TEST_F(ZorctlCommandLine, help_prints_the_usage_and_exits_0) {
    for (const char* spelling : {"--help", "-h", "help"}) {
        const Finished f = zorctl({spelling});
        EXPECT_EQ(f.exit_code, 0) << spelling << f.err;
        EXPECT_TRUE(contains(f.out, "usage: zorctl")) << f.out;
        EXPECT_EQ(f.err, "");
    }
}

TEST_F(ZorctlCommandLine, unknown_commands_and_options_are_refused_with_exit_code_2) {
    Finished f = zorctl({"--bogus"});
    EXPECT_EQ(f.exit_code, 2);
    EXPECT_TRUE(contains(f.err, "zorctl: unknown option --bogus")) << f.err;
    f = zorctl({"fly"});
    EXPECT_EQ(f.exit_code, 2);
    EXPECT_TRUE(contains(f.err, "zorctl: unknown command fly")) << f.err;
    f = zorctl({"status", "--volume", "3"});
    EXPECT_EQ(f.exit_code, 2);
    EXPECT_TRUE(contains(f.err, "zorctl: status takes no option --volume")) << f.err;
}

TEST_F(ZorctlCommandLine, ctrl_c_during_a_run_stops_the_run_on_the_instrument_before_zorctl_exits) {
    // Slow atoms, so that the run is still going when the user gives up.
    start({"--default-atom-ms", "1500"});
    const auto document = make_demo_document();
    std::vector<std::string> argv = {ZORCTL_PATH, "run", document.string(), "Tray2:5", "--timeout", "100"};
    Background run(argv, environment, folder / "run.out", folder / "run.err");
    ASSERT_TRUE(wait_until(
        [&] { return contains(read_file(folder / "run.out"), "status 3: ") || !run.running(); }, 60s));
    ASSERT_TRUE(run.running()) << read_file(folder / "run.out") << read_file(folder / "run.err");
    ::kill(run.pid(), SIGINT);
    ASSERT_TRUE(wait_until([&] { return !run.running(); }, 60s));
    EXPECT_EQ(run.stop(), 130);
    const std::string out = read_file(folder / "run.out");
    EXPECT_TRUE(contains(out, "StopRun: 1\n")) << out;
    EXPECT_TRUE(contains(read_file(folder / "run.err"), "interrupted: the run was stopped"))
        << read_file(folder / "run.err");
    // The driver ends the run through METHOD EXIT: the instrument was told to cancel, washes,
    // and the driver is idle again; the method's injection never happened.
    ASSERT_TRUE(wait_until(
        [&] {
            const Finished f = busctl({"call", "com.hox.Zorrun", "/com/hox/Zorrun/IZor",
                                       "com.hox.Zorrun.IIZor", "InstrumentHasStopped", "i", "0"});
            return f.out == "i 1\n";
        },
        60s));
    EXPECT_TRUE(contains(read_file(folder / "transcript.txt"), "CANCEL"));
    const auto atoms = executed();
    ASSERT_FALSE(atoms.empty());
    EXPECT_EQ(atoms.back(), "WASH(Wash2,2,)");
    EXPECT_EQ(std::count(atoms.begin(), atoms.end(), "INJECT(Inj1,0,)"), 0);
}

using ZorrunIntrospection = ZorctlE2E;

// busctl introspect lists each method with its arguments: "PrepareForRun method sssiisdi i".
// The XML form carries the names.
TEST_F(ZorrunIntrospection, busctl_shows_every_argument_with_the_name_of_its_parameter) {
    start_zorrun();
    const Finished f = busctl({"introspect", "--xml-interface", "com.hox.Zorrun", "/com/hox/Zorrun/IZor"});
    ASSERT_EQ(f.exit_code, 0) << f.err;
    const std::string& xml = f.out;
    EXPECT_TRUE(contains(xml,
                         "<method name=\"PrepareForRun\">\n"
                         "   <arg type=\"s\" name=\"Rawname\" direction=\"in\"/>\n"
                         "   <arg type=\"s\" name=\"Methname\" direction=\"in\"/>\n"
                         "   <arg type=\"s\" name=\"Listname\" direction=\"in\"/>\n"
                         "   <arg type=\"i\" name=\"RowInd\" direction=\"in\"/>\n"
                         "   <arg type=\"i\" name=\"StartMode\" direction=\"in\"/>\n"
                         "   <arg type=\"s\" name=\"Vial\" direction=\"in\"/>\n"
                         "   <arg type=\"d\" name=\"InjVolume\" direction=\"in\"/>\n"
                         "   <arg type=\"i\" name=\"Flags\" direction=\"in\"/>\n"
                         "   <arg type=\"i\" name=\"result\" direction=\"out\"/>\n"))
        << xml;
    EXPECT_TRUE(contains(xml, "<arg type=\"s\" name=\"BarCode\" direction=\"out\"/>")) << xml;
    EXPECT_TRUE(contains(xml, "<arg type=\"s\" name=\"tray\" direction=\"in\"/>")) << xml;
    EXPECT_TRUE(contains(xml, "<arg type=\"ay\" name=\"StorageUnknown\" direction=\"in\"/>")) << xml;
    // Every argument of both interfaces has a name.
    EXPECT_TRUE(contains(xml, "com.hox.Zorrun.IIZor2")) << xml;
    EXPECT_FALSE(contains(xml, "<arg type=\"i\" direction")) << xml;
    EXPECT_FALSE(contains(xml, "<arg type=\"s\" direction")) << xml;
    EXPECT_FALSE(contains(xml, "<arg type=\"d\" direction")) << xml;
    EXPECT_FALSE(contains(xml, "<arg type=\"ay\" direction")) << xml;
}

}  // namespace
}  // namespace zorctl_test
