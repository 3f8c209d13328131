// scope_exit: runs an action when the scope it was made in ends, however it ends (return,
// exception). For the undo of a temporary change (a flag set, a count raised, a resource taken)
// written beside the change itself. The action must not throw: it may run during unwinding.
// Any thread; the guard belongs to the scope that made it.
#pragma once

#include <utility>

namespace platform {

template <class Action>
class [[nodiscard]] scope_exit {
  public:
    explicit scope_exit(Action action) : action_(std::move(action)) {}
    scope_exit(const scope_exit&) = delete;
    scope_exit& operator=(const scope_exit&) = delete;
    ~scope_exit() { action_(); }

  private:
    Action action_;
};

}  // namespace platform
