// Faults during a commit, as a loop over every step: fail step N (a write, the sync, the
// rename, the folder sync), or end the process there, and the file on disk must be the
// complete old document or the complete new one, never a mix, and must pass the strict check.
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>

#include "platform/storage/cfb_file.h"
#include "platform/storage/tests/cfb_test_util.h"

using namespace platform::storage;
using cfb_test::pattern;
using cfb_test::put_stream;

namespace {

using Contents = std::map<std::string, std::vector<std::uint8_t>>;

// The old document: big enough that a commit writes it in several chunks.
const Contents& old_contents() {
    static const Contents c = {
        {"Zor/Data", pattern(200'000, 1)}, {"Zor/Note", pattern(300, 2)}, {"Top", pattern(10, 3)}};
    return c;
}

// The new one: Data rewritten, Note destroyed, More added.
const Contents& new_contents() {
    static const Contents c = {
        {"Zor/Data", pattern(230'000, 4)}, {"Zor/More", pattern(5000, 5)}, {"Top", pattern(10, 3)}};
    return c;
}

Contents read_contents(const Storage& root) {
    Contents c;
    for (const auto& e : root.enumerate()) {
        if (e.kind == ElementKind::stream) {
            c[e.name] = cfb_test::get_stream(root, e.name);
            continue;
        }
        auto sub = root.open_storage(e.name);
        for (const auto& [name, bytes] : read_contents(*sub)) c[e.name + "/" + name] = bytes;
    }
    return c;
}

void write_old(const std::string& path) {
    std::filesystem::remove(path);
    auto file = create_compound_file(path);
    ASSERT_TRUE(file) << file.describe();
    auto zor = file->root().create_storage("Zor");
    put_stream(*zor, "Data", old_contents().at("Zor/Data"));
    put_stream(*zor, "Note", old_contents().at("Zor/Note"));
    put_stream(file->root(), "Top", old_contents().at("Top"));
    ASSERT_TRUE(file->commit());
}

void change_to_new(CompoundFile& file) {
    auto zor = file.root().open_storage("Zor");
    ASSERT_TRUE(zor);
    auto data = zor->create_stream("Data", true);
    ASSERT_TRUE(data);
    ASSERT_TRUE(data->write(new_contents().at("Zor/Data").data(), new_contents().at("Zor/Data").size()));
    ASSERT_TRUE(zor->destroy_element("Note"));
    put_stream(*zor, "More", new_contents().at("Zor/More"));
}

// "old", "new", or what went wrong.
std::string what_is_on_disk(const std::string& path) {
    auto check = validate_compound_file(cfb_test::read_file(path));
    if (!check) return "a damaged file: " + check.describe();
    auto file = open_compound_file(path, Mode::read_only);
    if (!file) return "unopenable: " + file.describe();
    Contents c = read_contents(file->root());
    if (c == old_contents()) return "old";
    if (c == new_contents()) return "new";
    return "a mix of old and new";
}

std::string close_and_look(CompoundFile& file, const std::string& path) {
    file.close();
    return what_is_on_disk(path);
}

std::size_t files_in(const std::string& folder) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder)) ++n;
    return n;
}

TEST(CfbFaults, FailingAnyStepOfACommitLeavesTheOldOrTheNewFile) {
    cfb_test::TempDir dir;
    const std::string path = dir.file("doc.zor");
    std::size_t steps = 0;
    for (std::size_t n = 0;; ++n) {
        SCOPED_TRACE("failing step " + std::to_string(n));
        write_old(path);
        auto file = open_compound_file(path, Mode::read_write);
        ASSERT_TRUE(file) << file.describe();
        change_to_new(*file);
        bool fired = false;
        IoStep failed_step = IoStep::write;
        const int err = n % 2 ? ENOSPC : EIO;
        file->set_io_hook([&](IoStep step, std::size_t index) {
            if (index != n) return 0;
            fired = true;
            failed_step = step;
            return err;
        });
        auto r = file->commit();
        if (!fired) {  // past the last step: the commit ran whole
            ASSERT_TRUE(r) << r.describe();
            EXPECT_EQ(close_and_look(*file, path), "new");
            steps = n;
            break;
        }
        ASSERT_FALSE(r);
        EXPECT_EQ(r.error(), err == ENOSPC ? StgError::medium_full : StgError::write_fault) << r.describe();
        // The lock is still held, by the old file or the new one.
        EXPECT_EQ(open_compound_file(path, Mode::read_only).error(), StgError::share_violation);
        const std::string expected = failed_step == IoStep::sync_folder ? "new" : "old";
        EXPECT_EQ(close_and_look(*file, path), expected);
        EXPECT_EQ(files_in(dir.path()), 1u) << "a temp file was left behind";
    }
    // create_temp, four chunks of 64 KiB, sync, rename, sync_folder.
    EXPECT_EQ(steps, 8u);
}

TEST(CfbFaults, ACommitThatFailedCanBeRetried) {
    cfb_test::TempDir dir;
    const std::string path = dir.file("doc.zor");
    write_old(path);
    auto file = open_compound_file(path, Mode::read_write);
    ASSERT_TRUE(file);
    change_to_new(*file);
    file->set_io_hook([](IoStep step, std::size_t) { return step == IoStep::sync ? EIO : 0; });
    EXPECT_EQ(file->commit().error(), StgError::write_fault);
    file->set_io_hook({});
    auto r = file->commit();
    ASSERT_TRUE(r) << r.describe();
    EXPECT_EQ(close_and_look(*file, path), "new");
}

TEST(CfbFaults, EndingTheProcessAtAnyStepLeavesTheOldOrTheNewFile) {
    cfb_test::TempDir dir;
    const std::string path = dir.file("doc.zor");
    for (std::size_t n = 0; n <= 8; ++n) {
        SCOPED_TRACE("ending at step " + std::to_string(n));
        write_old(path);
        pid_t pid = ::fork();
        if (pid == 0) {
            auto file = open_compound_file(path, Mode::read_write);
            if (!file) ::_exit(3);
            change_to_new(*file);
            // Ends at once, without closing or removing anything, as a killed process would.
            file->set_io_hook([n](IoStep, std::size_t index) {
                if (index == n) ::_exit(0);
                return 0;
            });
            ::_exit(file->commit() ? 0 : 4);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        // Steps 0-6 come before the rename (create_temp, four writes, sync, rename itself).
        EXPECT_EQ(what_is_on_disk(path), n <= 6 ? "old" : "new");
        // The next commit clears the temp file the ended one left.
        auto file = open_compound_file(path, Mode::read_write);
        ASSERT_TRUE(file) << file.describe();
        ASSERT_TRUE(file->commit());
        EXPECT_EQ(files_in(dir.path()), 1u);
    }
}

}  // namespace
