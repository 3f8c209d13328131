// The zorsim program started as a real process, as the end-to-end tests start it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

#include "platform/testing/wait.h"
#include "support/host_link.h"
#include "support/simulator_fixture.h"

namespace zorsim::test {
namespace {

using std::chrono::milliseconds;
using zor_testing::wait_until;

class Child {
  public:
    explicit Child(std::vector<std::string> args) {
        int out[2], err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(ZORSIM_EXE));
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(ZORSIM_EXE, argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~Child() {
        if (pid_ > 0 && !status_) {
            ::kill(pid_, SIGKILL);  // only our own child, and only when a test failed to end it
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) ::close(out_);
        if (err_ >= 0) ::close(err_);
    }

    // The first line the child prints, or "" when none comes in time.
    std::string first_line(milliseconds timeout = milliseconds(20000)) {
        std::string text;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (text.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            char buf[256];
            const ssize_t n = ::read(out_, buf, sizeof buf);
            if (n <= 0) break;
            text.append(buf, static_cast<std::size_t>(n));
        }
        const auto nl = text.find('\n');
        return nl == std::string::npos ? std::string() : text.substr(0, nl);
    }

    // Everything up to the end of the stream; bounded, since a failed test may ask while the
    // child still serves.
    std::string all_of(int fd, milliseconds timeout = milliseconds(20000)) {
        std::string text;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            char buf[4096];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0) break;
            text.append(buf, static_cast<std::size_t>(n));
        }
        return text;
    }
    std::string stderr_text() { return all_of(err_); }
    std::string stdout_text() { return all_of(out_); }

    // The exit status once the child has ended, or nothing when it has not in time.
    std::optional<int> wait_exit(milliseconds timeout = milliseconds(5000)) {
        wait_until(
            [&] {
                int status = 0;
                if (::waitpid(pid_, &status, WNOHANG) == pid_) status_ = status;
                return status_.has_value();
            },
            timeout);
        return status_;
    }

    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::optional<int> status_;
};

class Executable : public ::testing::Test {
  protected:
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path dir_ = zor_testing::make_temp_folder("zorsim-test");
};

TEST_F(Executable, prints_its_terminal_serves_get_stat_and_quits_on_command) {
    const auto link = dir_ / "COM1";
    const auto ctl = dir_ / "zorsim.ctl";
    const auto executed = dir_ / "executed.txt";
    Child child({"--config", ZORSIM_EXAMPLE_CONFIG, "--link", link.string(), "--control", ctl.string(),
                 "--executed", executed.string(), "--default-atom-ms", "0"});
    const std::string slave = child.first_line();
    ASSERT_EQ(slave.rfind("/dev/pts/", 0), 0u) << slave << child.stderr_text();
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), slave);

    HostLink host(link.string());  // through the link, as the driver's COM1 mapping does
    ASSERT_TRUE(host.is_open());
    auto reply = host.ask("GET_STAT");
    ASSERT_TRUE(reply);
    EXPECT_TRUE(reply->good());
    EXPECT_EQ(reply->payload, "READY");
    ASSERT_TRUE(host.ask("WASH(Wash1,1,)"));

    // The control socket, through the program's own client mode.
    Child tell({"--tell", ctl.string(), "status"});
    ASSERT_EQ(tell.wait_exit(), 0);
    EXPECT_NE(tell.stdout_text().find("ok baud=9600"), std::string::npos);
    Child quit({"--tell", ctl.string(), "quit"});
    EXPECT_EQ(quit.wait_exit(), 0);

    const auto status = child.wait_exit();
    ASSERT_TRUE(status) << "zorsim did not end after quit";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    EXPECT_EQ(read_lines(executed), std::vector<std::string>{"WASH(Wash1,1,)"});
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    EXPECT_FALSE(std::filesystem::exists(ctl));
}

TEST_F(Executable, ends_cleanly_on_sigterm_and_writes_its_files) {
    const auto executed = dir_ / "executed.txt";
    const auto transcript = dir_ / "transcript.txt";
    Child child({"--executed", executed.string(), "--transcript", transcript.string()});
    const std::string slave = child.first_line();
    ASSERT_FALSE(slave.empty()) << child.stderr_text();
    {
        HostLink host(slave);
        ASSERT_TRUE(host.ask("GET_STAT"));
    }
    ::kill(child.pid(), SIGTERM);
    const auto status = child.wait_exit();
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    EXPECT_TRUE(std::filesystem::exists(executed));
    EXPECT_EQ(read_lines(transcript).size(), 2u);
}

TEST_F(Executable, refuses_bad_arguments_with_a_message) {
    Child child({"--drop", "lots"});
    const auto status = child.wait_exit();
    ASSERT_TRUE(status);
    EXPECT_EQ(WEXITSTATUS(*status), 2);
    const std::string err = child.stderr_text();
    EXPECT_NE(err.find("--drop needs a rate from 0 to 1"), std::string::npos) << err;
    EXPECT_NE(err.find("usage: zorsim"), std::string::npos);

    Child missing({"--config", (dir_ / "nothing.pol").string()});
    const auto status2 = missing.wait_exit();
    ASSERT_TRUE(status2);
    EXPECT_EQ(WEXITSTATUS(*status2), 1);
    EXPECT_NE(missing.stderr_text().find("cannot read the configuration"), std::string::npos);
}

TEST_F(Executable, checks_a_configuration_file) {
    Child good({"--check-config", ZORSIM_EXAMPLE_CONFIG});
    EXPECT_EQ(good.wait_exit(), 0);
    const auto bad_file = dir_ / "bad.pol";
    {
        std::FILE* f = std::fopen(bad_file.c_str(), "w");
        std::fputs("[LISTS]\n[CLASSES]\n!TRAY\n[OBJECTS]\n[ATOMS]\n", f);
        std::fclose(f);
    }
    Child bad({"--check-config", bad_file.string()});
    const auto status = bad.wait_exit();
    ASSERT_TRUE(status);
    EXPECT_EQ(WEXITSTATUS(*status), 1);
    EXPECT_NE(bad.stdout_text().find("no class SYRINGE"), std::string::npos);
}

}  // namespace
}  // namespace zorsim::test
