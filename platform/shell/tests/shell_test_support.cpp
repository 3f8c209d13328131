#include "platform/shell/tests/shell_test_support.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/shell/mounts.h"
#include "platform/shell/ole.h"

namespace platform::shell::testing {

void ShellTest::SetUp() {
    HomeTreeTest::SetUp();
    if (HasFatalFailure()) return;
    mountinfo_ = at("mountinfo");
    std::ofstream(mountinfo_) << "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n";
    set_mountinfo_path(mountinfo_);
    set_sysfs_root(at("sys"));
    reset_ole_state_for_tests();
}

void ShellTest::TearDown() {
    set_mountinfo_path({});
    set_sysfs_root({});
    HomeTreeTest::TearDown();
}

void ShellTest::add_mount(const std::string& mount_point, const std::string& fs_type, unsigned major,
                          unsigned minor) {
    std::string escaped;
    for (char c : mount_point) escaped += c == ' ' ? std::string("\\040") : std::string(1, c);
    std::ofstream(mountinfo_, std::ios::app)
        << next_mount_id_++ << " 22 " << major << ":" << minor << " / " << escaped
        << " rw,relatime shared:2 - " << fs_type << " /dev/sdb1 rw\n";
    validate_mounts();
}

FolderPtr bind_path(const std::string& path) {
    IdList list;
    EXPECT_EQ(parse_path(path, list), com::S_OK) << path;
    FolderPtr folder;
    EXPECT_EQ(bind_folder(list.data(), folder), com::S_OK) << path;
    return folder;
}

std::string trash_record_path(const std::string& record) {
    std::ifstream in(record);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("Path=", 0) != 0) continue;
        std::string out;
        for (std::size_t i = 5; i < line.size(); ++i) {
            if (line[i] == '%' && i + 2 < line.size()) {
                out += static_cast<char>(std::stoi(line.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                out += line[i];
            }
        }
        return out;
    }
    return {};
}

std::string restore_from_trash(const std::string& record) {
    const std::filesystem::path r(record);
    const std::string name = r.filename().string();
    const std::string stem = name.substr(0, name.size() - std::string(".trashinfo").size());
    const std::string entry = (r.parent_path().parent_path() / "files" / stem).string();
    const std::string original = trash_record_path(record);
    if (original.empty() || ::rename(entry.c_str(), original.c_str()) != 0) return {};
    ::unlink(record.c_str());
    return original;
}

std::string run_unprivileged(const std::function<std::string()>& body) {
    int pipefd[2];
    if (::pipe(pipefd) != 0) return "pipe failed";
    const pid_t pid = ::fork();
    if (pid < 0) return "fork failed";
    if (pid == 0) {
        ::close(pipefd[0]);
        std::string result;
        if (::geteuid() == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
                ::setresuid(65534, 65534, 65534) != 0) {
                result = "could not drop privileges";
            }
        }
        if (result.empty()) result = body();
        [[maybe_unused]] auto n = ::write(pipefd[1], result.data(), result.size());
        ::close(pipefd[1]);
        ::_exit(0);
    }
    ::close(pipefd[1]);
    std::string out;
    char buf[512];
    ssize_t n;
    while ((n = ::read(pipefd[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
    ::close(pipefd[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status)) return "the child did not end normally";
    return out;
}

}  // namespace platform::shell::testing
