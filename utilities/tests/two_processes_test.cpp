// The two programs share the folder list in the registry and the log file: here two processes
// write and read them at the same time.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>

#include "utilities/log.h"
#include "utilities/session.h"
#include "utilities/settings.h"
#include "utilities/tests/temp_store.h"

namespace {

using putils_test::FreshProfile;

// Runs `body` in a child process and in this one, started together; the child's result is its
// exit status (0 for success), this process's is returned beside it.
template <typename Body>
std::pair<int, int> run_in_two_processes(Body body) {
    int start[2];
    if (::pipe(start) != 0) {
        ADD_FAILURE() << "pipe failed";
        return {-1, -1};
    }
    const pid_t child = ::fork();
    if (child < 0) {
        ADD_FAILURE() << "fork failed";
        return {-1, -1};
    }
    if (child == 0) {
        ::close(start[1]);
        char go = 0;
        const bool started = ::read(start[0], &go, 1) == 1;
        ::_exit(started ? body(1) : 99);
    }
    ::close(start[0]);
    const char go = 'g';
    const bool sent = ::write(start[1], &go, 1) == 1;
    ::close(start[1]);
    const int own = sent ? body(0) : 99;
    int status = 0;
    ::waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 98, own};
}

using TwoProcesses = FreshProfile;

TEST_F(TwoProcesses, AReaderFindsTheOldFolderListOrTheNewOneNeverAMixture) {
    const std::vector<std::vector<std::string>> lists{{"/data/a1", "/data/a2", "/data/a3"},
                                                      {"/data/b1", "/data/b2", "/data/b3"}};
    putils::write_folder_list(lists[0]);
    // Each process writes its own list and reads whatever is there, many times over; a read
    // that is neither list counts.
    auto body = [&lists](int process) {
        int mixtures = 0;
        std::vector<std::string> read;
        for (int i = 0; i < 300; ++i) {
            putils::write_folder_list(lists[process]);
            putils::read_folder_list(read);
            if (read != lists[0] && read != lists[1]) ++mixtures;
        }
        return std::min(mixtures, 90);
    };
    const auto [child, own] = run_in_two_processes(body);
    EXPECT_EQ(child, 0) << "reads of a mixed list in the child";
    EXPECT_EQ(own, 0) << "reads of a mixed list in this process";
    std::vector<std::string> last;
    putils::read_folder_list(last);
    EXPECT_TRUE(last == lists[0] || last == lists[1]);
}

TEST_F(TwoProcesses, BothProgramsAppendWholeLinesToOneLog) {
    putils::session().method_folder = folder_.path().string();
    putils::session().log_enabled = true;
    constexpr int lines_each = 400;
    auto body = [](int process) {
        const std::string who = process == 0 ? "zorrun: line " : "zorsetup : line ";
        for (int i = 0; i < lines_each; ++i) putils::append_log(who + std::to_string(i));
        return 0;
    };
    const auto [child, own] = run_in_two_processes(body);
    ASSERT_EQ(child, 0);
    ASSERT_EQ(own, 0);

    std::ifstream in(putils::log_file_path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    // Every line whole, each program's lines complete and in its own order.
    std::map<std::string, int> next;
    std::string line;
    int count = 0;
    while (std::getline(text, line)) {
        ++count;
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\r') << line;
        line.pop_back();
        ASSERT_GE(line.size(), 22u) << line;
        ASSERT_EQ(line.substr(19, 3), " : ") << line;
        const std::string entry = line.substr(22);
        const std::size_t number = entry.rfind(' ');
        ASSERT_NE(number, std::string::npos) << line;
        const std::string who = entry.substr(0, number + 1);
        ASSERT_TRUE(who == "zorrun: line " || who == "zorsetup : line ") << line;
        EXPECT_EQ(entry.substr(number + 1), std::to_string(next[who]++)) << line;
    }
    EXPECT_EQ(count, 2 * lines_each);
    EXPECT_EQ(next["zorrun: line "], lines_each);
    EXPECT_EQ(next["zorsetup : line "], lines_each);
}

}  // namespace
