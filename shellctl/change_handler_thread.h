// TChangeHandlerThread: one thread that watches any number of directories and tells a window
// about every change by posting (message, wParam = slot number, lParam = 0).
//
// On Linux a "change handle" is an inotify watch. The owner's commands (add, remove all, stop)
// go to the thread through an eventfd; each command carries a sequence number and the owner
// waits up to 2000 ms for the acknowledgement of *that* number, so a late answer to an earlier
// command is never taken for the answer to the next one. Destruction stops the thread and
// joins it before anything it uses is freed; the stop is an eventfd write, so the join is prompt.
//
// Filters: FILE_NOTIFY_CHANGE_FILE_NAME reports files created, deleted or renamed in the
// directory, FILE_NOTIFY_CHANGE_DIR_NAME the same for sub-folders. inotify has no recursive
// watch: a subtree request watches the directory itself, so a tree needs one watch per filled
// folder; the slot list grows as needed (inotify holds thousands of watches per process, up to
// the system's max_user_watches). A directory that goes away frees its slot; adds reuse the
// lowest free slot.
//
// Thread contract: the public operations are for the owner's thread; the watcher thread only
// posts to the window.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/window/window.h"

namespace shellctl {

inline constexpr std::uint32_t FILE_NOTIFY_CHANGE_FILE_NAME = 0x1;
inline constexpr std::uint32_t FILE_NOTIFY_CHANGE_DIR_NAME = 0x2;

class TChangeHandlerThread {
  public:
    static constexpr unsigned AckTimeoutMs = 2000;

    TChangeHandlerThread(platform::window::Handle window, std::uint32_t message);
    ~TChangeHandlerThread();
    TChangeHandlerThread(const TChangeHandlerThread&) = delete;
    TChangeHandlerThread& operator=(const TChangeHandlerThread&) = delete;

    // Watches `path` for the changes `filter` names; `slot` gets its slot number. False for an
    // empty path, a directory that cannot be watched (the system's watch limit reached) or no
    // acknowledgement (the watch then stays pending until the next add or destruction, which
    // close it).
    bool AddWatch(const std::string& path, std::uint32_t filter, int& slot, bool watch_subtree);
    void RemoveAllWatches();

    // Test support: the inotify descriptor (its fdinfo lists the live watches).
    int NotifyFd() const { return inotify_fd_; }

  private:
    enum class Command : std::uint8_t { add = 0, remove_one = 1, remove_all = 2, stop = 3 };
    struct Slot {
        int wd = -1;
        std::uint32_t filter = 0;
    };

    bool SendCommand(Command cmd, int slot_argument);
    void Run();
    void CarryOut(Command cmd, int slot_argument);
    void HandleEvents();
    void CloseWatch(int wd);  // watcher thread, or the owner once the thread has ended

    platform::window::Handle window_;
    std::uint32_t message_;
    int inotify_fd_ = -1;
    int control_fd_ = -1;

    std::mutex mutex_;  // guards everything below between the two threads
    std::condition_variable acknowledged_;
    std::uint64_t sequence_ = 0;  // of the last command sent
    std::uint64_t acknowledged_seq_ = 0;
    Command command_ = Command::add;
    int slot_argument_ = -1;
    int pending_wd_ = -1;
    std::uint32_t pending_filter_ = 0;
    int result_slot_ = -1;
    std::vector<Slot> slots_;  // a free slot has wd -1

    std::thread thread_;
};

}  // namespace shellctl
