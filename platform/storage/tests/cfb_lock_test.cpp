// Share-exclusive opens: a second open of the same file fails, from this process or another,
// and commit() keeps the file locked.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/storage/cfb_file.h"
#include "platform/storage/tests/cfb_test_util.h"

using namespace platform::storage;

namespace {

// Exit code of a forked child that tries to open path: 0 opened, 1 share_violation, 2 other.
int open_in_child(const std::string& path, Mode mode) {
    pid_t pid = ::fork();
    if (pid == 0) {
        auto file = CompoundFile::open(path, mode);
        ::_exit(file ? 0 : file.error() == StgError::share_violation ? 1 : 2);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 3;
}

// Exit code of a forked child that opens path read-write and commits: 0 committed, 1 not; 124
// when it had not ended within 20 s (it is killed then, so a hang fails instead of stopping).
int commit_in_child(const std::string& path) {
    pid_t pid = ::fork();
    if (pid == 0) {
        auto file = CompoundFile::open(path, Mode::read_write);
        ::_exit(file && file->commit().ok() ? 0 : 1);
    }
    int status = 0;
    for (int i = 0; i < 400; ++i) {
        if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 3;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return 124;
}

TEST(CfbLock, SecondOpenInThisProcessIsRefused) {
    cfb_test::TempDir dir;
    const std::string path = dir.file("doc.zor");
    auto first = CompoundFile::create(path);
    ASSERT_TRUE(first) << first.describe();
    auto second = CompoundFile::open(path, Mode::read_only);
    EXPECT_EQ(second.error(), StgError::share_violation) << second.describe();
    EXPECT_EQ(CompoundFile::open(path, Mode::read_write).error(), StgError::share_violation);
    EXPECT_EQ(CompoundFile::create(path).error(), StgError::share_violation);
    first->close();
    EXPECT_TRUE(CompoundFile::open(path, Mode::read_only));
}

TEST(CfbLock, ReadOnlyOpenIsExclusiveToo) {
    cfb_test::TempDir dir;
    const std::string path = dir.file("doc.zor");
    ASSERT_TRUE(CompoundFile::create(path));
    auto reader = CompoundFile::open(path, Mode::read_only);
    ASSERT_TRUE(reader) << reader.describe();
    EXPECT_EQ(CompoundFile::open(path, Mode::read_only).error(), StgError::share_violation);
}

TEST(CfbLock, ForkedChildIsRefusedWhileOpen) {
    cfb_test::TempDir dir;
    const std::string path = dir.file("doc.zor");
    {
        auto file = CompoundFile::create(path);
        ASSERT_TRUE(file);
        EXPECT_EQ(open_in_child(path, Mode::read_only), 1);
        EXPECT_EQ(open_in_child(path, Mode::read_write), 1);
    }
    EXPECT_EQ(open_in_child(path, Mode::read_only), 0);
}

TEST(CfbLock, CommitKeepsTheLock) {
    cfb_test::TempDir dir;
    const std::string path = dir.file("doc.zor");
    auto file = CompoundFile::create(path);
    ASSERT_TRUE(file);
    cfb_test::put_stream(file->root(), "Data", cfb_test::pattern(1000));
    ASSERT_TRUE(file->commit());
    EXPECT_EQ(CompoundFile::open(path, Mode::read_only).error(), StgError::share_violation);
    EXPECT_EQ(open_in_child(path, Mode::read_only), 1);
    cfb_test::put_stream(file->root(), "More", cfb_test::pattern(10));
    ASSERT_TRUE(file->commit());
    EXPECT_EQ(open_in_child(path, Mode::read_write), 1);
    file->close();
    auto back = CompoundFile::open(path, Mode::read_only);
    ASSERT_TRUE(back) << back.describe();
    EXPECT_EQ(back->root().elements().size(), 2u);
    // No temp files are left beside it.
    std::size_t count = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++count;
    EXPECT_EQ(count, 1u);
}

TEST(CfbLock, HandlesOutliveTheFileButCannotChangeIt) {
    auto file = CompoundFile::create_in_memory();
    auto root = file.root();
    cfb_test::put_stream(root, "Data", cfb_test::pattern(10));
    auto data = root.open_stream("Data");
    ASSERT_TRUE(data);
    file.close();
    EXPECT_EQ(data->read_all(), cfb_test::pattern(10));
    EXPECT_EQ(data->write("x", 1).error(), StgError::access_denied);
    EXPECT_EQ(root.create_stream("New", false).error(), StgError::access_denied);
}

TEST(CfbLock, AFifoNamedLikeAStaleTempNeitherBlocksACommitNorIsRemoved) {
    cfb_test::TempDir dir;
    const std::string path = dir.file("doc.zor");
    {
        auto file = CompoundFile::create(path);
        ASSERT_TRUE(file) << file.describe();
    }
    const std::string fifo = path + ".tmpAAAAAA";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(commit_in_child(path), 0);
    struct stat st {};
    EXPECT_TRUE(::stat(fifo.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
}

}  // namespace
