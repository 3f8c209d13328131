// File-descriptor watches in the loop's poll set.
#include <gtest/gtest.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "platform/window/tests/loop_helpers.h"

namespace platform::window {
namespace {

using testing::guard_ms;
using testing::WindowTest;

class Pipe {
  public:
    Pipe() { EXPECT_EQ(pipe(fds_), 0); }
    ~Pipe() {
        if (fds_[0] >= 0) close(fds_[0]);
        if (fds_[1] >= 0) close(fds_[1]);
    }
    int read_end() const { return fds_[0]; }
    int write_end() const { return fds_[1]; }
    void put(char c) { ASSERT_EQ(write(fds_[1], &c, 1), 1); }
    char take() {
        char c = 0;
        EXPECT_EQ(read(fds_[0], &c, 1), 1);
        return c;
    }
    void close_read_end() {
        close(fds_[0]);
        fds_[0] = -1;
    }

  private:
    int fds_[2] = {-1, -1};
};

class FdWatches : public WindowTest {};

TEST_F(FdWatches, ACallbackRunsWhenAnotherThreadMakesTheFdReadable) {
    Pipe p;
    std::string got;
    add_fd_watch(p.read_end(), POLLIN, [&](short revents) {
        EXPECT_TRUE(revents & POLLIN);
        got += p.take();
    });
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        p.put('a');
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        p.put('b');
    });
    EXPECT_TRUE(run_nested_loop_for([&] { return got.size() == 2; }, guard_ms));
    writer.join();
    EXPECT_EQ(got, "ab");
}

TEST_F(FdWatches, ARemovedWatchIsNotCalledAgainEvenFromInsideAnotherCallback) {
    Pipe a, b;
    int calls_a = 0, calls_b = 0;
    WatchId watch_b = 0;
    add_fd_watch(a.read_end(), POLLIN, [&](short) {
        ++calls_a;
        a.take();
        remove_fd_watch(watch_b);
    });
    watch_b = add_fd_watch(b.read_end(), POLLIN, [&](short) { ++calls_b; });
    a.put('x');
    b.put('y');  // stays unread: b would fire in every iteration
    process_messages();
    process_messages();
    EXPECT_EQ(calls_a, 1);
    EXPECT_EQ(calls_b, 0);
}

TEST_F(FdWatches, AReadyFdDoesNotStarvePostedMessages) {
    Pipe p;
    p.put('x');  // never read: the fd stays ready
    int calls = 0, handled = 0;
    add_fd_watch(p.read_end(), POLLIN, [&](short) { ++calls; });
    const Handle w =
        create_window("TestWindow", 0, [&](Handle self, std::uint32_t message, WParam, LParam) -> Result {
            if (message == WM_USER && ++handled < 50) post_message(self, WM_USER);
            return 0;
        });
    post_message(w, WM_USER);
    EXPECT_TRUE(run_nested_loop_for([&] { return handled >= 50; }, guard_ms));
    EXPECT_GT(calls, 0);
}

TEST_F(FdWatches, AClosedFdIsReportedOnceAndItsWatchDropped) {
    Pipe p;
    int fd = dup(p.read_end());
    int calls = 0;
    short seen = 0;
    add_fd_watch(fd, POLLIN, [&](short revents) {
        ++calls;
        seen = revents;
    });
    close(fd);
    process_messages();
    process_messages();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(seen & POLLNVAL);
}

void ignore_signal(int) {}

TEST_F(FdWatches, ASignalDuringTheWaitDoesNotEndOrBreakIt) {
    struct sigaction action {};
    action.sa_handler = ignore_signal;  // no SA_RESTART: poll sees EINTR
    struct sigaction old {};
    ASSERT_EQ(sigaction(SIGUSR1, &action, &old), 0);
    Pipe p;
    bool got = false;
    add_fd_watch(p.read_end(), POLLIN, [&](short) {
        p.take();
        got = true;
    });
    const pthread_t self = pthread_self();
    std::thread interrupter([&] {
        for (int i = 0; i < 5; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            pthread_kill(self, SIGUSR1);
        }
        p.put('z');
    });
    EXPECT_TRUE(run_nested_loop_for([&] { return got; }, guard_ms));
    interrupter.join();
    sigaction(SIGUSR1, &old, nullptr);
}

}  // namespace
}  // namespace platform::window
