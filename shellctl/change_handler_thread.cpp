#include "shellctl/change_handler_thread.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

namespace shellctl {
namespace {

constexpr std::uint32_t name_events = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;

}  // namespace

TChangeHandlerThread::TChangeHandlerThread(platform::window::Handle window, std::uint32_t message)
    : window_(window), message_(message) {
    inotify_fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    control_fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    thread_ = std::thread([this] { Run(); });
}

TChangeHandlerThread::~TChangeHandlerThread() {
    {
        std::lock_guard lock(mutex_);
        command_ = Command::stop;
        ++sequence_;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(control_fd_, &one, sizeof one);
    // The thread only waits in poll, which the write ends: join for real, so nothing it still
    // uses is freed under it.
    if (thread_.joinable()) thread_.join();
    for (auto& s : slots_) {
        if (s.wd >= 0) CloseWatch(s.wd);
        s.wd = -1;
    }
    if (pending_wd_ >= 0) CloseWatch(pending_wd_);
    pending_wd_ = -1;
    if (inotify_fd_ >= 0) ::close(inotify_fd_);
    if (control_fd_ >= 0) ::close(control_fd_);
}

bool TChangeHandlerThread::AddWatch(const std::string& path, std::uint32_t filter, int& slot,
                                    bool /*watch_subtree*/) {
    if (path.empty() || inotify_fd_ < 0) return false;
    const int wd = ::inotify_add_watch(inotify_fd_, path.c_str(), name_events | IN_ONLYDIR);
    if (wd < 0) return false;
    {
        std::lock_guard lock(mutex_);
        // A watch left pending by an earlier add that found no free slot is closed now, not
        // overwritten and leaked.
        if (pending_wd_ >= 0 && pending_wd_ != wd) CloseWatch(pending_wd_);
        pending_wd_ = wd;
        pending_filter_ = filter;
    }
    if (!SendCommand(Command::add, -1)) return false;
    std::lock_guard lock(mutex_);
    slot = result_slot_;
    return result_slot_ != -1;
}

void TChangeHandlerThread::RemoveAllWatches() {
    SendCommand(Command::remove_all, -1);
}

bool TChangeHandlerThread::SendCommand(Command cmd, int slot_argument) {
    std::unique_lock lock(mutex_);
    command_ = cmd;
    slot_argument_ = slot_argument;
    const std::uint64_t seq = ++sequence_;
    const std::uint64_t one = 1;
    if (::write(control_fd_, &one, sizeof one) != sizeof one) return false;
    return acknowledged_.wait_for(lock, std::chrono::milliseconds(AckTimeoutMs),
                                  [&] { return acknowledged_seq_ >= seq; });
}

void TChangeHandlerThread::Run() {
    pollfd fds[2] = {{control_fd_, POLLIN, 0}, {inotify_fd_, POLLIN, 0}};
    for (;;) {
        const int n = ::poll(fds, 2, -1);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        // Changes already queued are taken before a command, so a command sees every change
        // made before it was sent: an add right after a directory went away finds its slot free.
        if ((fds[0].revents & POLLIN) || (fds[1].revents & POLLIN)) HandleEvents();
        if (fds[0].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] auto r = ::read(control_fd_, &count, sizeof count);
            std::unique_lock lock(mutex_);
            if (command_ == Command::stop) return;
            if (acknowledged_seq_ < sequence_) {
                CarryOut(command_, slot_argument_);
                acknowledged_seq_ = sequence_;
                lock.unlock();
                acknowledged_.notify_all();
            }
        }
    }
}

void TChangeHandlerThread::CarryOut(Command cmd, int slot_argument) {
    switch (cmd) {
        case Command::add: {
            result_slot_ = -1;
            if (pending_wd_ < 0) return;
            std::size_t i = 0;
            while (i < slots_.size() && slots_[i].wd != -1) ++i;
            if (i == slots_.size()) slots_.emplace_back();
            slots_[i] = {pending_wd_, pending_filter_};
            pending_wd_ = -1;
            result_slot_ = static_cast<int>(i);
            return;
        }
        case Command::remove_one:
            if (slot_argument >= 0 && static_cast<std::size_t>(slot_argument) < slots_.size()) {
                auto& s = slots_[static_cast<std::size_t>(slot_argument)];
                if (s.wd >= 0) CloseWatch(s.wd);
                s.wd = -1;
            }
            return;
        case Command::remove_all:
            for (auto& s : slots_) {
                if (s.wd >= 0) CloseWatch(s.wd);
                s.wd = -1;
            }
            slots_.clear();
            return;
        case Command::stop:
            return;
    }
}

void TChangeHandlerThread::HandleEvents() {
    alignas(inotify_event) char buf[8192];
    std::vector<int> changed;  // slots to post, in order, each once per read
    for (;;) {
        const ssize_t n = ::read(inotify_fd_, buf, sizeof buf);
        if (n <= 0) break;
        std::lock_guard lock(mutex_);
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buf + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            for (std::size_t i = 0; i < slots_.size(); ++i) {
                auto& s = slots_[i];
                if (s.wd != e->wd) continue;
                if (e->mask & IN_IGNORED) {
                    s.wd = -1;  // the directory is gone (or its watch was removed): free the slot
                    continue;
                }
                const bool is_dir = e->mask & IN_ISDIR;
                const bool wanted = is_dir ? (s.filter & FILE_NOTIFY_CHANGE_DIR_NAME)
                                           : (s.filter & FILE_NOTIFY_CHANGE_FILE_NAME);
                if (wanted && (e->mask & name_events)) {
                    const int slot = static_cast<int>(i);
                    bool seen = false;
                    for (int c : changed) seen = seen || c == slot;
                    if (!seen) changed.push_back(slot);
                }
            }
        }
    }
    for (int slot : changed) {
        if (window_)
            platform::window::post_message(window_, message_, static_cast<platform::window::WParam>(slot), 0);
    }
}

void TChangeHandlerThread::CloseWatch(int wd) {
    // inotify gives the same descriptor for the same directory: remove it only when no other
    // slot (or the pending add) still uses it.
    int users = pending_wd_ == wd ? 1 : 0;
    for (const auto& s : slots_) users += s.wd == wd ? 1 : 0;
    if (users <= 1) ::inotify_rm_watch(inotify_fd_, wd);
}

}  // namespace shellctl
