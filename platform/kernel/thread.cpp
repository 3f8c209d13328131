#include <pthread.h>

#include <cstdio>
#include <mutex>
#include <thread>

#include "platform/kernel/kernel.h"
#include "platform/kernel/kernel_state.h"

namespace platform::kernel {

ThreadId current_thread_id() {
    thread_local const ThreadId id = kernel_state().next_thread_id.fetch_add(1);
    return id;
}

void set_current_thread_name(const char* name) {
    char cut[16] = {};
    for (std::size_t i = 0; i < sizeof cut - 1 && name[i]; ++i) cut[i] = name[i];
    ::pthread_setname_np(::pthread_self(), cut);
}

void set_thread_exception_handler(std::function<void(std::exception_ptr)> handler) {
    KernelState& state = kernel_state();
    std::lock_guard lock(state.handler_lock);
    state.exception_handler = std::move(handler);
}

namespace {

void report_escaped_exception(std::exception_ptr error) {
    std::function<void(std::exception_ptr)> handler;
    {
        KernelState& state = kernel_state();
        std::lock_guard lock(state.handler_lock);
        handler = state.exception_handler;
    }
    if (handler) {
        handler(error);
        return;
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "thread %u ended by an exception: %s\n", current_thread_id(), e.what());
    } catch (...) {
        std::fprintf(stderr, "thread %u ended by an exception\n", current_thread_id());
    }
}

}  // namespace

struct Thread::Shared {
    std::thread thread;
    std::atomic<ThreadId> id{0};
    std::atomic<int> priority{0};
    Event ended{ResetMode::manual};
};

Thread::Thread(std::function<void()> body, ThreadPriority priority) : shared_(std::make_shared<Shared>()) {
    shared_->priority = static_cast<int>(priority);
    // The body holds its own reference, so a detached thread keeps its state alive to the end.
    shared_->thread = std::thread([shared = shared_, body = std::move(body)]() mutable {
        shared->id = current_thread_id();
        try {
            body();
        } catch (...) {
            report_escaped_exception(std::current_exception());
        }
        body = nullptr;  // drop what the body captured before anyone sees the end
        shared->ended.set();
    });
}

Thread::~Thread() {
    detach();
}

Thread::Thread(Thread&& other) noexcept : shared_(std::move(other.shared_)) {}

Thread& Thread::operator=(Thread&& other) noexcept {
    if (this != &other) {
        detach();
        shared_ = std::move(other.shared_);
    }
    return *this;
}

ThreadId Thread::id() const {
    return shared_ ? shared_->id.load() : 0;
}

bool Thread::finished() const {
    return shared_ && shared_->ended.is_set();
}

WaitResult Thread::wait_for_end(unsigned timeout_ms) const {
    if (!shared_) return {WaitStatus::failed, 0};
    return shared_->ended.wait(timeout_ms);
}

void Thread::join() {
    if (!shared_) return;
    if (shared_->thread.joinable()) shared_->thread.join();
    shared_.reset();
}

void Thread::detach() {
    if (!shared_) return;
    if (shared_->thread.joinable()) shared_->thread.detach();
    shared_.reset();
}

void Thread::set_priority(ThreadPriority priority) {
    if (shared_) shared_->priority = static_cast<int>(priority);
}

ThreadPriority Thread::priority() const {
    return shared_ ? static_cast<ThreadPriority>(shared_->priority.load()) : ThreadPriority::normal;
}

}  // namespace platform::kernel
