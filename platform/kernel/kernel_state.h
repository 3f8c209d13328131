// The kernel unit's process-wide state, in one place so that tests can reset it.
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <mutex>

#include "platform/kernel/kernel.h"

namespace platform::kernel {

struct KernelState {
    // Guards the state of every Event and every waiter. One lock for all events keeps wait_all
    // atomic (it must see and consume several events at one instant) without a lock order
    // between events. Waits release it while they sleep, so it is only held for a few steps.
    std::mutex object_lock;

    std::mutex handler_lock;  // guards exception_handler
    std::function<void(std::exception_ptr)> exception_handler;

    std::atomic<ThreadId> next_thread_id{1};
};

// Never destroyed, so threads that end during process exit can still use it.
KernelState& kernel_state();

}  // namespace platform::kernel
