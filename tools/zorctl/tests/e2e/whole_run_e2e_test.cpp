// Whole runs of the example method against Zorrun and zorsim: once with zorctl (the driver's own
// proxies), once with the stock busctl (a client that shares no code with ours), and the failures
// as both kinds of client see them.
#include <algorithm>
#include <fstream>
#include <sstream>

#include "tools/zorctl/document.h"
#include "tools/zorctl/tests/e2e/zorctl_fixture.h"

namespace zorctl_test {
namespace {

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool has_line(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The index of the first line that begins with `prefix`, or -1.
long index_of(const std::vector<std::string>& lines, const std::string& prefix) {
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].rfind(prefix, 0) == 0) return static_cast<long>(i);
    return -1;
}

using ZorctlWholeRun = ZorctlE2E;

TEST_F(ZorctlWholeRun, zorctl_runs_the_demo_and_zorsim_executes_every_atom_of_the_method_once_in_order) {
    start();
    const auto document = make_demo_document();
    const Finished f = zorctl({"run", document.string(), "Tray2:5", "--volume", "1", "--timeout", "100"});
    ASSERT_EQ(f.exit_code, 0) << f.out << f.err;
    const auto out = lines_of(f.out);
    EXPECT_EQ(out.front(), "status 1: The Zor is idle");
    // The status went through preparation, the wait for the start and the continued method.
    const long preparing = index_of(out, "status 3: ");
    const long waiting = index_of(out, "status 4: Waiting for start");
    const long started = index_of(out, "StartRun: 1");
    const long continuing = index_of(out, "status 6: ");
    ASSERT_GE(preparing, 0) << f.out;
    EXPECT_LT(preparing, waiting) << f.out;
    EXPECT_EQ(started, waiting + 1) << f.out;
    EXPECT_LT(started, continuing) << f.out;
    EXPECT_EQ(out[out.size() - 2], "status 1: The Zor is idle");
    EXPECT_EQ(out.back(), "the method has ended");
    EXPECT_EQ(f.err, "");
    EXPECT_EQ(executed(), demo_atoms());
    EXPECT_TRUE(zorrun->running());
}

TEST_F(ZorctlWholeRun, zorctl_follows_the_status_broadcasts_without_waiting_for_its_poll) {
    start();
    const auto document = make_demo_document();
    // A poll once a minute: the run can end within the time-out only when every status change
    // wakes zorctl through its "TZorStatusX" window.
    const Finished f =
        zorctl({"run", document.string(), "Tray2:5", "--poll-ms", "60000", "--timeout", "100"}, 150s);
    ASSERT_EQ(f.exit_code, 0) << f.out << f.err;
    const auto out = lines_of(f.out);
    EXPECT_TRUE(has_line(out, "status 4: Waiting for start")) << f.out;
    EXPECT_EQ(out.back(), "the method has ended");
    EXPECT_EQ(executed(), demo_atoms());
}

TEST_F(ZorctlWholeRun, busctl_drives_the_same_run_with_one_call_per_command) {
    start();
    const auto document = make_demo_document();
    const std::string object = "/com/hox/Zorrun/IZor";
    const std::string iizor = "com.hox.Zorrun.IIZor";
    const auto call = [&](const std::vector<std::string>& rest) {
        std::vector<std::string> args = {"call", "com.hox.Zorrun", object, iizor};
        args.insert(args.end(), rest.begin(), rest.end());
        return busctl(args);
    };
    const auto status = [&] {
        const Finished f = call({"GetStatus"});
        return f.exit_code == 0 ? f.out : "failed: " + f.err;
    };

    Finished f = call({"Initialize"});
    ASSERT_EQ(f.exit_code, 0) << f.err;
    EXPECT_EQ(f.out, "i 1\n");
    EXPECT_EQ(status(), "i 1\n");
    f = call({"PrepareForRun", "sssiisdi", "", document.string(), "", "0", "0", "Tray2:5", "1", "0"});
    ASSERT_EQ(f.exit_code, 0) << f.err;
    EXPECT_EQ(f.out, "i 1\n");
    std::string seen;
    EXPECT_TRUE(wait_until([&] { return (seen = status()) == "i 4\n"; }, 60s)) << "status " << seen;
    const Finished text = busctl({"call", "com.hox.Zorrun", object, "com.hox.Zorrun.IIZor2", "AtomStatus"});
    EXPECT_EQ(text.out, "s \"Waiting for start\"\n");
    EXPECT_EQ(call({"InstrumentHasStopped", "i", "0"}).out, "i 0\n");
    f = call({"StartRun"});
    EXPECT_EQ(f.out, "i 1\n") << f.err;
    EXPECT_TRUE(wait_until([&] { return (seen = status()) == "i 1\n"; }, 60s)) << "status " << seen;
    EXPECT_EQ(call({"InstrumentHasStopped", "i", "0"}).out, "i 1\n");
    EXPECT_EQ(executed(), demo_atoms());
}

TEST_F(ZorctlWholeRun, documents_whose_paths_windows_1252_cannot_hold_run_with_zorctl_and_with_busctl) {
    start();
    std::filesystem::create_directories(folder / "Проба");
    const auto cyrillic = make_demo_document("10ul", folder / "Проба" / "метод.zor");
    const auto japanese = make_demo_document("10ul", folder / "日本.zdoc");
    ASSERT_TRUE(std::filesystem::is_regular_file(cyrillic));
    ASSERT_TRUE(std::filesystem::is_regular_file(japanese));

    const Finished run = zorctl({"run", cyrillic.string(), "Tray2:5", "--volume", "1", "--timeout", "100"});
    ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("PrepareForRun " + cyrillic.string() + " vial Tray2:5"), std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1), "the method has ended\n");
    EXPECT_EQ(executed(), demo_atoms());

    const std::string object = "/com/hox/Zorrun/IZor";
    const auto prepare = [&](const std::filesystem::path& document) {
        return busctl({"call", "com.hox.Zorrun", object, "com.hox.Zorrun.IIZor", "PrepareForRun", "sssiisdi",
                       "", document.string(), "", "0", "0", "Tray2:5", "1", "0"});
    };
    const auto status = [&] {
        const Finished f = busctl({"call", "com.hox.Zorrun", object, "com.hox.Zorrun.IIZor", "GetStatus"});
        return f.exit_code == 0 ? f.out : "failed: " + f.err;
    };
    Finished f = prepare(japanese);
    ASSERT_EQ(f.exit_code, 0) << f.err;
    EXPECT_EQ(f.out, "i 1\n");
    std::string seen;
    EXPECT_TRUE(wait_until([&] { return (seen = status()) == "i 4\n"; }, 60s)) << "status " << seen;
    f = busctl({"call", "com.hox.Zorrun", object, "com.hox.Zorrun.IIZor", "StartRun"});
    EXPECT_EQ(f.out, "i 1\n") << f.err;
    EXPECT_TRUE(wait_until([&] { return (seen = status()) == "i 1\n"; }, 60s)) << "status " << seen;
    std::vector<std::string> twice = demo_atoms();
    for (const auto& atom : demo_atoms()) twice.push_back(atom);
    EXPECT_EQ(executed(), twice);

    // A document that is not there is named in the failure with its own characters.
    const auto missing = folder / "Проба" / "нет.zdoc";
    f = prepare(missing);
    EXPECT_NE(f.exit_code, 0);
    EXPECT_NE(f.err.find(missing.string()), std::string::npos) << f.err;
    EXPECT_NE(f.err.find("does not exist"), std::string::npos) << f.err;
}

TEST_F(ZorctlWholeRun, a_failing_call_is_the_error_failed_with_the_hresult_in_hex) {
    start();
    // Zorrun has no vial dialog: ChooseVials always fails.
    const Finished d = dbus_send({"--dest=com.hox.Zorrun", "/com/hox/Zorrun/IZor",
                                  "com.hox.Zorrun.IIZor2.ChooseVials", "string:opt", "string:Tray1:1;"});
    EXPECT_NE(d.exit_code, 0);
    EXPECT_NE(d.err.find("Error com.hox.Zorrun.Error.Failed: ChooseVials failed: HRESULT 0x80004001"),
              std::string::npos)
        << d.err;
    const Finished b = busctl({"call", "com.hox.Zorrun", "/com/hox/Zorrun/IZor", "com.hox.Zorrun.IIZor2",
                               "ChooseVials", "ss", "opt", "x"});
    EXPECT_NE(b.exit_code, 0);
    EXPECT_NE(b.err.find("ChooseVials failed: HRESULT 0x80004001"), std::string::npos) << b.err;

    // A document whose stream holds no complete line has no syringe line: PrepareForRun fails.
    // (make-document always writes the syringe line, so the file is written directly.)
    std::string error;
    ASSERT_TRUE(zorctl::write_method_document(folder / "empty.zor", {}, error)) << error;
    ASSERT_EQ(zorctl({"initialize"}).exit_code, 0);
    const Finished p = zorctl({"prepare", (folder / "empty.zor").string(), "Tray2:5"});
    EXPECT_EQ(p.exit_code, 4) << p.out << p.err;
    EXPECT_NE(p.err.find("com.hox.Zorrun.Error.Failed"), std::string::npos) << p.err;
    EXPECT_NE(p.err.find("PrepareForRun failed: HRESULT 0x"), std::string::npos) << p.err;
}

TEST_F(ZorctlWholeRun, a_method_for_another_syringe_is_refused_and_zorctl_says_so) {
    start({"--syringe", "100ul"});
    const auto document = make_demo_document("10ul");
    const Finished f = zorctl({"run", document.string(), "Tray2:5", "--timeout", "100"});
    EXPECT_EQ(f.exit_code, 1) << f.out << f.err;
    EXPECT_NE(f.err.find("the run failed: status 8"), std::string::npos) << f.err;
    const auto atoms = executed();
    EXPECT_EQ(std::count(atoms.begin(), atoms.end(), "MOVE_TO_VIAL(Tray2,5,10000,)"), 0);
}

TEST_F(ZorctlWholeRun, an_unreadable_document_is_reported_and_nothing_runs) {
    start();
    { std::ofstream(folder / "junk.zor") << "this is no compound file"; }
    const Finished f = zorctl({"run", (folder / "junk.zor").string(), "Tray2:5", "--timeout", "30"});
    // The driver's own reason reaches the user: the message, the document and what is wrong.
    EXPECT_EQ(f.exit_code, 4) << f.out << f.err;
    EXPECT_NE(f.err.find("PrepareForRun failed: HRESULT 0x800300FB: cant open storage: 00800300FB ("),
              std::string::npos)
        << f.err;
    EXPECT_NE(f.err.find("junk.zor"), std::string::npos) << f.err;
    EXPECT_TRUE(executed().empty());
}

TEST_F(ZorctlWholeRun, a_refused_run_is_reported_with_the_drivers_reason_and_a_failing_exit) {
    start();
    const auto document = make_demo_document("10ul");
    // A vial that is not in its tray: refused before anything moves.
    Finished f = zorctl({"run", document.string(), "Tray3:999", "--timeout", "30"});
    EXPECT_EQ(f.exit_code, 4) << f.out << f.err;
    EXPECT_NE(f.err.find("Vial \"Tray3:999\": vial 999 is not in Tray3 (1 - 54)"), std::string::npos)
        << f.err;
    EXPECT_TRUE(executed().empty());
    // A start with nothing prepared does nothing, and the host is not failed for it.
    f = zorctl({"start"});
    EXPECT_EQ(f.exit_code, 0) << f.out << f.err;
    EXPECT_TRUE(executed().empty());
}

using ZorctlInstrumentTasks = ZorctlE2E;

TEST_F(ZorctlInstrumentTasks, syringe_barcode_status_and_reset_answer_from_the_instrument) {
    start({"--syringe", "25ul", "--barcode", "Tray2:7=ABC-123"});
    ASSERT_EQ(zorctl({"initialize"}).exit_code, 0);
    Finished f = zorctl({"syringe"});
    EXPECT_EQ(f.exit_code, 0) << f.err;
    EXPECT_EQ(f.out, "25ul\n");
    f = zorctl({"barcode", "Tray2:7"});
    EXPECT_EQ(f.exit_code, 0) << f.err;
    EXPECT_EQ(f.out, "Tray2:7: ABC-123 (1 read)\n");
    // Tray1 is of a tray type without a bar-code reader: answered at once.
    f = zorctl({"barcode", "Tray1:1"});
    EXPECT_EQ(f.exit_code, 1);
    EXPECT_EQ(f.out, "Tray1:1: Unreadable (2 unreadable)\n");
    f = zorctl({"status"});
    EXPECT_EQ(f.exit_code, 0);
    EXPECT_EQ(f.out, "status 1: The Zor is idle\nrun active: no\n");
    f = zorctl({"reset"});
    EXPECT_EQ(f.exit_code, 0) << f.err;
    EXPECT_TRUE(wait_until(
        [&] {
            const auto atoms = executed();
            return has_line(atoms, "CLEANUP(Wash1,1,1,1,1,1,1,1)");
        },
        30s));
}

TEST_F(ZorctlInstrumentTasks, reload_uploads_the_configuration_into_the_method_folder) {
    std::filesystem::remove(methods / "latest_zor.pol");
    start();
    const Finished f = zorctl({"reload", "--timeout", "60"});
    EXPECT_EQ(f.exit_code, 0) << f.out << f.err;
    EXPECT_NE(f.out.find("the configuration was received"), std::string::npos) << f.out;
    EXPECT_EQ(read_lines(methods / "latest_zor.pol"),
              read_lines(std::filesystem::path(ZOR_EXAMPLES_DIR) / "zor_config.pol"));
    // The model it read is good for a run.
    const auto document = make_demo_document();
    EXPECT_EQ(zorctl({"run", document.string(), "Tray2:5", "--timeout", "100"}).exit_code, 0);
    EXPECT_EQ(executed(), demo_atoms());
}

TEST_F(ZorctlInstrumentTasks, reload_of_a_text_the_driver_refuses_fails_with_the_drivers_reason) {
    const auto served = folder / "broken.pol";
    std::ofstream(served, std::ios::binary) << "this is no configuration\r\n";
    const auto cached = read_lines(methods / "latest_zor.pol");
    start({"--config", served.string()});
    const Finished f = zorctl({"reload", "--timeout", "60"});
    EXPECT_EQ(f.exit_code, 1) << f.out << f.err;
    EXPECT_NE(f.err.find("the upload ended without a configuration that the driver took: "
                         "The configuration from the Zor was not taken: "),
              std::string::npos)
        << f.err;
    // The cached configuration stays as it was.
    EXPECT_EQ(read_lines(methods / "latest_zor.pol"), cached);
}

TEST_F(ZorctlInstrumentTasks, reload_into_a_cache_that_cannot_be_written_fails_with_the_path_and_reason) {
    // A folder where the cached configuration belongs: nothing can be written in its place.
    const auto cache = methods / "latest_zor.pol";
    std::filesystem::remove(cache);
    std::filesystem::create_directory(cache);
    start();
    const Finished f = zorctl({"reload", "--timeout", "60"});
    EXPECT_EQ(f.exit_code, 1) << f.out << f.err;
    EXPECT_EQ(f.out.find("the configuration was received"), std::string::npos) << f.out;
    EXPECT_NE(
        f.err.find("The configuration from the Zor was not saved: " + cache.string() + ": Is a directory"),
        std::string::npos)
        << f.err;
    EXPECT_TRUE(std::filesystem::is_directory(cache));
}

TEST_F(ZorctlInstrumentTasks, reload_from_an_instrument_with_an_empty_configuration_fails_with_the_reason) {
    const auto cached = read_lines(methods / "latest_zor.pol");
    start({"--bare-reply", "GET_CONFIG"});
    const Finished f = zorctl({"reload", "--timeout", "90"});
    EXPECT_EQ(f.exit_code, 1) << f.out << f.err;
    EXPECT_NE(
        f.err.find(
            "The configuration from the Zor was not taken: it answered GET_CONFIG with no configuration"),
        std::string::npos)
        << f.err;
    EXPECT_EQ(read_lines(methods / "latest_zor.pol"), cached);
}

TEST_F(ZorctlInstrumentTasks,
       zorctl_starts_the_registered_zorrun_when_none_runs_and_it_ends_after_the_last_release) {
    start_simulator();
    ASSERT_FALSE(zorrun_on_bus());
    // Started by the COM layer with "-Embedding", in zorctl's environment (COM1 and the store).
    Finished f = zorctl({"status"});
    EXPECT_EQ(f.exit_code, 0) << f.err;
    EXPECT_EQ(f.out, "status 0: The Zor is Idle\nrun active: no\n");
    // The last reference went with zorctl: the server ends by itself.
    EXPECT_TRUE(wait_until([&] { return !zorrun_on_bus(); }, 30s));
    // A new one has its port closed until it is initialized.
    f = zorctl({"syringe"});
    EXPECT_EQ(f.exit_code, 4);
    EXPECT_NE(f.err.find("GetSyringe failed: HRESULT 0x80070015: GetSyringe: the port is not open (the "
                         "driver's port is not open"),
              std::string::npos)
        << f.err;
    EXPECT_TRUE(wait_until([&] { return !zorrun_on_bus(); }, 30s));
    f = zorctl({"initialize"});
    EXPECT_EQ(f.exit_code, 0) << f.err;
    EXPECT_EQ(f.out, "Initialize: 1\nstatus 1: The Zor is idle\nrun active: no\n");
    EXPECT_TRUE(wait_until([&] { return !zorrun_on_bus(); }, 30s));
}

TEST_F(ZorctlInstrumentTasks, zorctl_says_clearly_when_there_is_no_zorrun_to_reach) {
    // No simulator and no server; the registration names a program that cannot be started.
    const Finished reg = run_program({ZORRUN_PATH, "-UnregServer"}, environment, 20s);
    ASSERT_EQ(reg.exit_code, 0) << reg.err;
    const Finished f = zorctl({"status"});
    EXPECT_EQ(f.exit_code, 4);
    EXPECT_NE(f.err.find("cannot reach Zorrun"), std::string::npos) << f.err;
    EXPECT_NE(f.err.find("not registered"), std::string::npos) << f.err;
}

}  // namespace
}  // namespace zorctl_test
