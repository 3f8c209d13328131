// The directory watcher on real temporary folders: posts, slots, filters and shutdown.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/testing/temp_tree.h"
#include "platform/window/window.h"
#include "shellctl/change_handler_thread.h"

namespace shellctl {
namespace {

namespace win = platform::window;
constexpr std::uint32_t WM_SHELLNOTIFY = win::WM_USER + 101;  // 1125, what the tree uses

class WatcherTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = zor_testing::make_temp_folder("zor_watch");
        ASSERT_FALSE(root_.empty());
        window_ = win::create_window("TTestShellTree", 0,
                                     [this](win::Handle, std::uint32_t msg, win::WParam w, win::LParam) {
                                         if (msg == WM_SHELLNOTIFY) posts_.push_back(static_cast<int>(w));
                                         return win::Result{0};
                                     });
    }
    void TearDown() override {
        win::destroy_window(window_);
        win::reset_thread_state_for_tests();
        std::filesystem::remove_all(root_);
    }
    std::string dir(const std::string& name) {
        const std::string p = root_ + "/" + name;
        std::filesystem::create_directories(p);
        return p;
    }
    // Handles messages until `n` posts have arrived; false when they did not come within a
    // generous bound (a hang guard, not a speed check).
    bool wait_for_posts(std::size_t n) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (posts_.size() < n && std::chrono::steady_clock::now() < end) {
            win::process_messages();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return posts_.size() >= n;
    }
    // Messages waiting in the queue, not yet handled (the owner has not reacted).
    bool wait_for_queued(std::size_t n) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (win::queue_counts_for_tests().posted < n && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return win::queue_counts_for_tests().posted >= n;
    }
    static int live_watches(int fd) {
        std::ifstream in("/proc/self/fdinfo/" + std::to_string(fd));
        std::string line;
        int n = 0;
        while (std::getline(in, line)) n += line.rfind("inotify wd:", 0) == 0 ? 1 : 0;
        return n;
    }

    std::string root_;
    win::Handle window_ = 0;
    std::vector<int> posts_;
};

TEST_F(WatcherTest, ReportsCreateDeleteAndRenameWithTheSlotNumber) {
    TChangeHandlerThread watcher(window_, WM_SHELLNOTIFY);
    int slot_a = -1, slot_b = -1;
    ASSERT_TRUE(watcher.AddWatch(dir("a"), FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_FILE_NAME, slot_a,
                                 false));
    ASSERT_TRUE(watcher.AddWatch(dir("b"), FILE_NOTIFY_CHANGE_DIR_NAME, slot_b, false));
    EXPECT_EQ(slot_a, 0);
    EXPECT_EQ(slot_b, 1);

    std::filesystem::create_directory(root_ + "/b/new");
    ASSERT_TRUE(wait_for_posts(1));
    EXPECT_EQ(posts_.back(), slot_b);
    std::filesystem::rename(root_ + "/b/new", root_ + "/b/renamed");
    ASSERT_TRUE(wait_for_posts(2));
    EXPECT_EQ(posts_.back(), slot_b);
    std::filesystem::remove(root_ + "/b/renamed");
    ASSERT_TRUE(wait_for_posts(3));
    EXPECT_EQ(posts_.back(), slot_b);
    std::ofstream(root_ + "/a/file.txt") << "x";
    ASSERT_TRUE(wait_for_posts(4));
    EXPECT_EQ(posts_.back(), slot_a);
}

TEST_F(WatcherTest, TwoChangesBeforeTheOwnerReactsGiveTwoPostsForTheSameSlot) {
    TChangeHandlerThread watcher(window_, WM_SHELLNOTIFY);
    int slot = -1;
    ASSERT_TRUE(watcher.AddWatch(dir("d"), FILE_NOTIFY_CHANGE_DIR_NAME, slot, false));
    std::filesystem::create_directory(root_ + "/d/one");
    ASSERT_TRUE(wait_for_queued(1));
    std::filesystem::create_directory(root_ + "/d/two");
    ASSERT_TRUE(wait_for_queued(2));
    win::process_messages();
    EXPECT_EQ(posts_, (std::vector<int>{slot, slot}));
}

TEST_F(WatcherTest, TheDirNameFilterIgnoresFiles) {
    TChangeHandlerThread watcher(window_, WM_SHELLNOTIFY);
    int files_only = -1, dirs_only = -1;
    ASSERT_TRUE(watcher.AddWatch(dir("f"), FILE_NOTIFY_CHANGE_FILE_NAME, files_only, false));
    ASSERT_TRUE(watcher.AddWatch(dir("g"), FILE_NOTIFY_CHANGE_DIR_NAME, dirs_only, false));
    std::ofstream(root_ + "/g/a_file") << "x";              // not reported: g watches folders only
    std::filesystem::create_directory(root_ + "/f/a_dir");  // not reported: f watches files only
    std::ofstream(root_ + "/f/a_file") << "x";              // reported
    ASSERT_TRUE(wait_for_posts(1));
    std::filesystem::create_directory(root_ + "/g/sub");  // reported
    ASSERT_TRUE(wait_for_posts(2));
    EXPECT_EQ(posts_, (std::vector<int>{files_only, dirs_only}));
}

TEST_F(WatcherTest, TwoHundredDirectoriesEachReportWithTheirSlotAndNothingLeaks) {
    auto watcher = std::make_unique<TChangeHandlerThread>(window_, WM_SHELLNOTIFY);
    const int fd = watcher->NotifyFd();
    constexpr int count = 200;
    for (int i = 0; i < count; ++i) {
        int slot = -1;
        ASSERT_TRUE(watcher->AddWatch(dir("w" + std::to_string(i)), FILE_NOTIFY_CHANGE_DIR_NAME, slot, false))
            << "directory " << i;
        EXPECT_EQ(slot, i);
    }
    EXPECT_EQ(live_watches(fd), count);
    std::filesystem::create_directory(root_ + "/w" + std::to_string(count - 1) + "/new");
    ASSERT_TRUE(wait_for_posts(1));
    EXPECT_EQ(posts_, std::vector<int>{count - 1});
    watcher->RemoveAllWatches();
    EXPECT_EQ(live_watches(fd), 0);
    int slot = -1;
    ASSERT_TRUE(watcher->AddWatch(dir("again"), FILE_NOTIFY_CHANGE_DIR_NAME, slot, false));
    EXPECT_EQ(slot, 0);  // slots are reused from 0
}

TEST_F(WatcherTest, EmptyOrMissingPathsAreRefused) {
    TChangeHandlerThread watcher(window_, WM_SHELLNOTIFY);
    int slot = 7;
    EXPECT_FALSE(watcher.AddWatch("", FILE_NOTIFY_CHANGE_DIR_NAME, slot, false));
    EXPECT_FALSE(watcher.AddWatch(root_ + "/missing", FILE_NOTIFY_CHANGE_DIR_NAME, slot, false));
    std::ofstream(root_ + "/plain") << "x";
    EXPECT_FALSE(watcher.AddWatch(root_ + "/plain", FILE_NOTIFY_CHANGE_DIR_NAME, slot, false));
    EXPECT_EQ(slot, 7);
}

TEST_F(WatcherTest, ADeletedDirectoryFreesItsSlot) {
    TChangeHandlerThread watcher(window_, WM_SHELLNOTIFY);
    int parent = -1, gone = -1, next = -1;
    ASSERT_TRUE(watcher.AddWatch(dir("p"), FILE_NOTIFY_CHANGE_DIR_NAME, parent, false));
    ASSERT_TRUE(watcher.AddWatch(dir("p/gone"), FILE_NOTIFY_CHANGE_DIR_NAME, gone, false));
    ASSERT_EQ(gone, 1);
    // rmdir queues every event (the parent's and the dropped watch's) before it returns, and
    // the thread takes every queued change before a command: the add after the parent's post
    // finds the dropped watch's slot free.
    std::filesystem::remove(root_ + "/p/gone");
    ASSERT_TRUE(wait_for_posts(1));
    EXPECT_EQ(posts_[0], parent);
    ASSERT_TRUE(watcher.AddWatch(dir("other"), FILE_NOTIFY_CHANGE_DIR_NAME, next, false));
    EXPECT_EQ(next, 1);
}

TEST_F(WatcherTest, AnAddRightAfterADirectoryWentAwayFindsItsSlotFree) {
    // A directory still open somewhere goes away only with its last close: its watch ends then,
    // and an add sent right after it must find the slot free, whether or not the thread has
    // woken up for the end of the watch before the add comes. (A new watcher each round: a thread
    // just started is the likeliest to be late.)
    for (int round = 0; round < 200; ++round) {
        TChangeHandlerThread watcher(window_, WM_SHELLNOTIFY);
        const std::string name = "gone" + std::to_string(round);
        int gone = -1, next = -1;
        ASSERT_TRUE(watcher.AddWatch(dir(name), FILE_NOTIFY_CHANGE_DIR_NAME, gone, false));
        ASSERT_EQ(gone, 0);
        const int held = ::open((root_ + "/" + name).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(held, 0);
        std::filesystem::remove(root_ + "/" + name);
        ::close(held);
        ASSERT_TRUE(watcher.AddWatch(dir(name + "next"), FILE_NOTIFY_CHANGE_DIR_NAME, next, false));
        ASSERT_EQ(next, 0) << "round " << round;
    }
}

TEST_F(WatcherTest, DestructionWithWatchesActiveEndsTheThreadAndClosesEverything) {
    int fd = -1;
    {
        TChangeHandlerThread watcher(window_, WM_SHELLNOTIFY);
        fd = watcher.NotifyFd();
        int slot = -1;
        ASSERT_TRUE(watcher.AddWatch(dir("x"), FILE_NOTIFY_CHANGE_DIR_NAME, slot, false));
        std::filesystem::create_directory(root_ + "/x/busy");  // a change may be in flight
    }
    // The descriptor is closed with the watcher.
    EXPECT_NE(::fcntl(fd, F_GETFD), 0);
    // A post that raced the destruction reaches the window or nothing; no crash either way.
    win::process_messages();
}

TEST_F(WatcherTest, PostsToAWindowThatIsGoneAreDropped) {
    TChangeHandlerThread watcher(window_, WM_SHELLNOTIFY);
    int slot = -1;
    ASSERT_TRUE(watcher.AddWatch(dir("y"), FILE_NOTIFY_CHANGE_DIR_NAME, slot, false));
    win::destroy_window(window_);
    window_ = 0;
    std::filesystem::create_directory(root_ + "/y/late");
    watcher.RemoveAllWatches();
    win::process_messages();
    EXPECT_TRUE(posts_.empty());
}

}  // namespace
}  // namespace shellctl
