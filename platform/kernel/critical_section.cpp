#include <cassert>
#include <mutex>

#include "platform/kernel/kernel.h"

namespace platform::kernel {

struct CriticalSection::Impl {
    std::recursive_mutex mutex;
    std::atomic<ThreadId> owner{0};  // read by held() on any thread
    unsigned depth = 0;              // touched by the owner only
};

CriticalSection::CriticalSection() : impl_(std::make_unique<Impl>()) {}

CriticalSection::~CriticalSection() = default;

void CriticalSection::enter() {
    impl_->mutex.lock();
    impl_->owner.store(current_thread_id(), std::memory_order_relaxed);
    ++impl_->depth;
}

bool CriticalSection::try_enter() {
    if (!impl_->mutex.try_lock()) return false;
    impl_->owner.store(current_thread_id(), std::memory_order_relaxed);
    ++impl_->depth;
    return true;
}

void CriticalSection::leave() {
    assert(held());
    if (--impl_->depth == 0) impl_->owner.store(0, std::memory_order_relaxed);
    impl_->mutex.unlock();
}

bool CriticalSection::held() const {
    return impl_->owner.load(std::memory_order_relaxed) == current_thread_id();
}

unsigned CriticalSection::depth() const {
    return held() ? impl_->depth : 0;
}

}  // namespace platform::kernel
