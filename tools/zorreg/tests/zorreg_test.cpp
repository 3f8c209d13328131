// zorreg run as a real process on a temporary store: round trips, exit codes, /f, encodings.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/registry/registry.h"
#include "platform/registry/tests/registry_fixture.h"
#include "tools/zorreg/cp1252.h"

extern char** environ;

namespace zorreg {
namespace {

namespace reg = platform::registry;
using ::testing::HasSubstr;
using ::testing::StartsWith;

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

// Runs zorreg with standard input on /dev/null; a run that takes over 10 s is killed and fails.
Result zorreg(const std::vector<std::string>& args) {
    int out[2];
    int err[2];
    EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
    EXPECT_EQ(pipe2(err, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    std::vector<std::string> all{ZORREG};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, ZORREG, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);

    Result r;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&r.out, &r.err};
    int open_fds = 2;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (open_fds > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        if (left.count() <= 0 || poll(fds, 2, static_cast<int>(left.count())) <= 0) {
            ADD_FAILURE() << "zorreg did not finish within 10 s";
            kill(pid, SIGKILL);
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buf[4096];
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_fds;
            } else {
                sinks[i]->append(buf, static_cast<std::size_t>(n));
            }
        }
    }
    for (auto& f : fds) {
        if (f.fd >= 0) close(f.fd);
    }
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

constexpr const char* kDone = "The operation completed successfully.\n";
constexpr const char* kNotFound =
    "ERROR: The system was unable to find the specified registry key or value.\n";
const std::string kKey = "HKCU\\SOFTWARE\\Hox\\Zor\\Task Weaver\\1";

class ZorregTest : public reg::testing::TempStore {};

TEST_F(ZorregTest, AddQueryDeleteRoundTrip) {
    Result r = zorreg({"add", kKey, "/v", "Port", "/t", "REG_DWORD", "/d", "1"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, kDone);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(zorreg({"add", kKey, "/v", "Method Folder", "/t", "REG_SZ", "/d", "/srv/zor"}).code, 0);
    EXPECT_EQ(zorreg({"add", kKey, "/v", "Cols", "/t", "REG_BINARY", "/d", "C8003c00"}).code, 0);
    EXPECT_EQ(zorreg({"add", kKey, "/ve", "/d", "default"}).code, 0);
    EXPECT_EQ(zorreg({"add", kKey + "\\Driver startup"}).code, 0);  // the key only
    EXPECT_EQ(zorreg({"add", kKey + "\\Folder List"}).code, 0);

    r = zorreg({"query", kKey});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              "\n"
              "HKEY_CURRENT_USER\\SOFTWARE\\Hox\\Zor\\Task Weaver\\1\n"
              "    Port    REG_DWORD    0x1\n"
              "    Method Folder    REG_SZ    /srv/zor\n"
              "    Cols    REG_BINARY    C8003C00\n"
              "    (Default)    REG_SZ    default\n"
              "\n"
              "HKEY_CURRENT_USER\\SOFTWARE\\Hox\\Zor\\Task Weaver\\1\\Driver startup\n"
              "HKEY_CURRENT_USER\\SOFTWARE\\Hox\\Zor\\Task Weaver\\1\\Folder List\n");

    // What zorreg wrote is what the registry object reads.
    reg::Registry in_process;
    ASSERT_TRUE(in_process.open_key("\\SOFTWARE\\Hox\\Zor\\Task Weaver\\1", false));
    EXPECT_EQ(in_process.read_integer("Port"), 1);
    EXPECT_EQ(in_process.read_string("Method Folder"), "/srv/zor");
    EXPECT_EQ(in_process.read_binary_data("Cols"), std::string("\xC8\x00\x3C\x00", 4));
    EXPECT_EQ(in_process.read_string(""), "default");

    r = zorreg({"query", "hkey_current_user\\software\\hox\\zor\\task weaver\\1", "/v", "port"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out,
              "\nHKEY_CURRENT_USER\\SOFTWARE\\Hox\\Zor\\Task Weaver\\1\n    Port    REG_DWORD    0x1\n");

    EXPECT_EQ(zorreg({"delete", kKey, "/v", "Port", "/f"}).code, 0);
    EXPECT_FALSE(in_process.value_exists("Port"));
    EXPECT_EQ(zorreg({"query", kKey, "/v", "Port"}).err, kNotFound);

    r = zorreg({"delete", "HKCU\\SOFTWARE\\Hox", "/f"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_FALSE(
        reg::key_exists(reg::HKEY_CURRENT_USER, "SOFTWARE\\Hox\\Zor\\Task Weaver\\1\\Driver startup"));
    EXPECT_FALSE(reg::key_exists(reg::HKEY_CURRENT_USER, "SOFTWARE\\Hox"));
    EXPECT_TRUE(reg::key_exists(reg::HKEY_CURRENT_USER, "SOFTWARE"));
    r = zorreg({"query", kKey});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, kNotFound);
}

TEST_F(ZorregTest, RecursiveQueryAndOtherRoots) {
    ASSERT_TRUE(
        reg::set_string_value(reg::HKEY_CLASSES_ROOT, "CLSID\\{X}\\LocalServer32", "", "/usr/bin/Zorrun"));
    ASSERT_TRUE(reg::set_string_value(reg::HKEY_CLASSES_ROOT, "CLSID\\{X}\\ProgID", "", "zorrun.IZor"));
    Result r = zorreg({"query", "HKEY_CLASSES_ROOT\\CLSID", "/s"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              "\nHKEY_CLASSES_ROOT\\CLSID\n"
              "\nHKEY_CLASSES_ROOT\\CLSID\\{X}\n"
              "\nHKEY_CLASSES_ROOT\\CLSID\\{X}\\LocalServer32\n"
              "    (Default)    REG_SZ    /usr/bin/Zorrun\n"
              "\nHKEY_CLASSES_ROOT\\CLSID\\{X}\\ProgID\n"
              "    (Default)    REG_SZ    zorrun.IZor\n");
    EXPECT_EQ(
        zorreg({"add", "HKLM\\SOFTWARE\\Velorand\\Chromarq\\Global", "/v", "Chromarq Path", "/d", "C:\\X"})
            .code,
        0);
    EXPECT_EQ(
        reg::query_value(reg::HKEY_LOCAL_MACHINE, "SOFTWARE\\Velorand\\Chromarq\\Global", "Chromarq Path")
            ->text,
        "C:\\X");
    EXPECT_EQ(zorreg({"query", "HKCU\\SOFTWARE\\Velorand"}).code, 1);
}

TEST_F(ZorregTest, AddRefusesToOverwriteWithoutF) {
    ASSERT_EQ(zorreg({"add", kKey, "/v", "Port", "/t", "REG_DWORD", "/d", "1"}).code, 0);
    Result r = zorreg({"add", kKey, "/v", "port", "/t", "REG_DWORD", "/d", "2"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_THAT(r.err, StartsWith("ERROR: "));
    EXPECT_THAT(r.err, HasSubstr("use /f"));
    EXPECT_EQ(reg::query_value(reg::HKEY_CURRENT_USER, kKey.substr(5), "Port")->integer, 1);
    r = zorreg({"add", kKey, "/v", "port", "/t", "REG_DWORD", "/d", "2", "/F"});
    EXPECT_EQ(r.code, 0) << r.err;
    auto port = reg::query_value(reg::HKEY_CURRENT_USER, kKey.substr(5), "Port");
    EXPECT_EQ(port->integer, 2);
    EXPECT_EQ(port->name, "Port");             // the first spelling stays
    EXPECT_EQ(zorreg({"add", kKey}).code, 0);  // an existing key: nothing to overwrite
}

TEST_F(ZorregTest, DeleteRefusesWithoutF) {
    ASSERT_TRUE(reg::set_integer_value(reg::HKEY_CURRENT_USER, "K\\Sub", "v", 1));
    ASSERT_TRUE(reg::set_integer_value(reg::HKEY_CURRENT_USER, "K", "w", 1));
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"delete", "HKCU\\K"}, {"delete", "HKCU\\K", "/v", "w"}, {"delete", "HKCU\\K", "/va"}}) {
        Result r = zorreg(args);
        EXPECT_EQ(r.code, 1) << args.back();
        EXPECT_THAT(r.err, HasSubstr("use /f")) << args.back();
    }
    EXPECT_TRUE(reg::query_value(reg::HKEY_CURRENT_USER, "K", "w").has_value());
    EXPECT_TRUE(reg::key_exists(reg::HKEY_CURRENT_USER, "K\\Sub"));

    EXPECT_EQ(zorreg({"delete", "HKCU\\K", "/va", "-f"}).code, 0);
    EXPECT_TRUE(reg::list_values(reg::HKEY_CURRENT_USER, "K")->empty());
    EXPECT_TRUE(reg::key_exists(reg::HKEY_CURRENT_USER, "K\\Sub"));  // /va keeps subkeys
    EXPECT_EQ(zorreg({"delete", "HKCU\\Missing", "/f"}).err, kNotFound);
    EXPECT_EQ(zorreg({"delete", "HKCU\\K", "/v", "missing", "/f"}).err, kNotFound);
    Result root = zorreg({"delete", "HKCU", "/f"});
    EXPECT_EQ(root.code, 1);
    EXPECT_THAT(root.err, HasSubstr("root"));
    ASSERT_TRUE(reg::set_string_value(reg::HKEY_CURRENT_USER, "K", "", "d"));
    EXPECT_EQ(zorreg({"delete", "HKCU\\K", "/ve", "/f"}).code, 0);
    EXPECT_FALSE(reg::query_value(reg::HKEY_CURRENT_USER, "K", "").has_value());
}

TEST_F(ZorregTest, IntegersInDecimalAndHexadecimal) {
    struct Case {
        const char* data;
        std::int32_t stored;
        const char* shown;
    };
    for (const Case& c : {Case{"500", 500, "0x1f4"}, Case{"0x1F4", 500, "0x1f4"},
                          Case{"-1", -1, "0xffffffff"}, Case{"4294967295", -1, "0xffffffff"},
                          Case{"-2147483648", INT32_MIN, "0x80000000"}, Case{"0", 0, "0x0"}}) {
        Result r = zorreg({"add", "HKCU\\N", "/v", "n", "/t", "reg_dword", "/d", c.data, "/f"});
        ASSERT_EQ(r.code, 0) << c.data << ": " << r.err;
        EXPECT_EQ(reg::query_value(reg::HKEY_CURRENT_USER, "N", "n")->integer, c.stored) << c.data;
        EXPECT_THAT(zorreg({"query", "HKCU\\N", "/v", "n"}).out,
                    HasSubstr(std::string("REG_DWORD    ") + c.shown + "\n"));
    }
    for (const char* bad : {"12x", "", "0x", "4294967296", "-2147483649", "1.5", " 1"}) {
        if (*bad == '\0') continue;  // no data is 0, tested below
        Result r = zorreg({"add", "HKCU\\N", "/v", "bad", "/t", "REG_DWORD", "/d", bad});
        EXPECT_EQ(r.code, 1) << bad;
        EXPECT_THAT(r.err, HasSubstr("not a REG_DWORD number")) << bad;
    }
    EXPECT_EQ(zorreg({"add", "HKCU\\N", "/v", "zero", "/t", "REG_DWORD"}).code, 0);
    EXPECT_EQ(reg::query_value(reg::HKEY_CURRENT_USER, "N", "zero")->integer, 0);
    EXPECT_FALSE(reg::query_value(reg::HKEY_CURRENT_USER, "N", "bad").has_value());
}

TEST_F(ZorregTest, TextIsUtf8OutsideAndWindows1252Inside) {
    Result r = zorreg({"add", "HKCU\\Units", "/v", "\xC2\xB5l", "/d",
                       "\xC2\xB0"
                       "C \xE2\x82\xAC"});  // "µl" = "°C €"
    ASSERT_EQ(r.code, 0) << r.err;
    auto v = reg::query_value(reg::HKEY_CURRENT_USER, "Units", "\xB5l");
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(v->name, "\xB5l");
    EXPECT_EQ(v->text,
              "\xB0"
              "C \x80");

    ASSERT_TRUE(reg::set_string_value(reg::HKEY_CURRENT_USER, "Units\\Caf\xE9", "\xE9t\xE9", "na\xEFve"));
    r = zorreg({"query", "HKCU\\Units", "/s"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out,
              "\nHKEY_CURRENT_USER\\Units\n"
              "    \xC2\xB5l    REG_SZ    \xC2\xB0"
              "C \xE2\x82\xAC\n"
              "\nHKEY_CURRENT_USER\\Units\\Caf\xC3\xA9\n"
              "    \xC3\xA9t\xC3\xA9    REG_SZ    na\xC3\xAFve\n");
    // Names typed in UTF-8 find the stored ones, in any case.
    EXPECT_EQ(zorreg({"query", "HKCU\\UNITS\\CAF\xC3\x89", "/v", "\xC3\x89T\xC3\x89"}).code, 0);

    r = zorreg({"add", "HKCU\\Units", "/v", "x", "/d", "\xE1\x88\xB4"});  // U+1234
    EXPECT_EQ(r.code, 1);
    EXPECT_THAT(r.err, HasSubstr("U+1234"));
    r = zorreg({"add", "HKCU\\Units\\\xE2\x9C\x93"});  // U+2713 in a key name
    EXPECT_EQ(r.code, 1);
    EXPECT_THAT(r.err, HasSubstr("U+2713"));
    r = zorreg({"add", "HKCU\\Units", "/v", "x", "/d", "\xFF\xFE"});  // not UTF-8
    EXPECT_EQ(r.code, 1);
    EXPECT_THAT(r.err, HasSubstr("not UTF-8"));
    EXPECT_FALSE(reg::key_exists(reg::HKEY_CURRENT_USER, "Units\\\x3F"));
}

TEST_F(ZorregTest, BadCommandLinesFailWithAMessage) {
    struct Case {
        std::vector<std::string> args;
        const char* says;
    };
    for (const Case& c : std::vector<Case>{
             {{"frobnicate", "HKCU\\K"}, "unknown command"},
             {{"query"}, "needs a key"},
             {{"query", "HKU\\K"}, "begin it with HKCU"},
             {{"query", "K"}, "begin it with HKCU"},
             {{"query", "HKCU\\A\\\\B"}, "invalid key path"},
             {{"query", "HKCU\\" + std::string(256, 'k')}, "invalid key path"},
             {{"query", "HKCU\\A", "HKCU\\B"}, "more than one key"},
             {{"query", "HKCU\\A", "/f"}, "not a switch of query"},
             {{"add", "HKCU\\A", "/v"}, "needs a word after it"},
             {{"add", "HKCU\\A", "/d", "x"}, "/t and /d go with /v"},
             {{"add", "HKCU\\A", "/v", "x", "/t", "REG_QWORD"}, "unsupported type 'REG_QWORD'"},
             {{"add", "HKCU\\A", "/v", "x", "/t", "REG_BINARY", "/d", "ABC"}, "two hexadecimal digits"},
             {{"add", "HKCU\\A", "/v", "x", "/t", "REG_BINARY", "/d", "ZZ"}, "not hexadecimal"},
             {{"delete", "HKCU\\A", "/v", "x", "/va"}, "/va goes without"},
         }) {
        Result r = zorreg(c.args);
        EXPECT_EQ(r.code, 1) << c.says;
        EXPECT_THAT(r.err, StartsWith("ERROR: ")) << c.says;
        EXPECT_THAT(r.err, HasSubstr(c.says));
        EXPECT_EQ(r.out, "") << c.says;
    }
    EXPECT_FALSE(reg::key_exists(reg::HKEY_CURRENT_USER, "A"));

    Result none = zorreg({});
    EXPECT_EQ(none.code, 1);
    EXPECT_THAT(none.err, HasSubstr("zorreg query"));
    Result help = zorreg({"/?"});
    EXPECT_EQ(help.code, 0);
    EXPECT_THAT(help.out, HasSubstr("zorreg add"));
}

TEST_F(ZorregTest, AStoreThatCannotBeOpenedIsReported) {
    use_store("/dev/null/registry.db");
    Result r = zorreg({"add", "HKCU\\K", "/v", "v", "/d", "x"});
    EXPECT_EQ(r.code, 1);
    EXPECT_THAT(r.err, HasSubstr("cannot open the registry store /dev/null/registry.db"));
    r = zorreg({"query", "HKCU\\K"});
    EXPECT_EQ(r.code, 1);
    EXPECT_THAT(r.err, HasSubstr("cannot open the registry store"));
}

TEST(Cp1252, EveryByteSurvivesTheRoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    std::string utf8 = cp1252_to_utf8(all);
    EXPECT_EQ(cp1252_to_utf8("\x80\xB5\xB0\x9F"), "\xE2\x82\xAC\xC2\xB5\xC2\xB0\xC5\xB8");
    auto back = utf8_to_cp1252(utf8);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, all);
}

TEST(Cp1252, InvalidUtf8IsRefused) {
    for (const char* bad : {"\xC2", "\xE2\x82", "\xC0\xAF", "\xED\xA0\x80", "\xF8\x80\x80\x80\x80", "\x80"}) {
        std::string why;
        EXPECT_FALSE(utf8_to_cp1252(bad, &why).has_value()) << bad;
        EXPECT_THAT(why, HasSubstr("not UTF-8"));
    }
    std::string why;
    EXPECT_FALSE(utf8_to_cp1252("a\xF0\x9F\x98\x80", &why).has_value());  // U+1F600
    EXPECT_THAT(why, HasSubstr("U+1F600"));
}

}  // namespace
}  // namespace zorreg
