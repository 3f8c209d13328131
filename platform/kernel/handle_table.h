// Handles of objects that live elsewhere: 32-bit ids given out in sequence, never 0 and never
// reused within one table, valid from add to forget. The table does not own its objects.
// Not locked: each table belongs to one thread (its user says which).
#pragma once

#include <cstdint>
#include <map>

namespace platform::kernel {

template <class T>
class HandleTable {
  public:
    std::uint32_t add(T* object) {
        const std::uint32_t handle = next_++;
        objects_[handle] = object;
        return handle;
    }
    void forget(std::uint32_t handle) { objects_.erase(handle); }
    T* find(std::uint32_t handle) const {
        const auto it = objects_.find(handle);
        return it == objects_.end() ? nullptr : it->second;
    }

  private:
    std::map<std::uint32_t, T*> objects_;
    std::uint32_t next_ = 1;
};

}  // namespace platform::kernel
