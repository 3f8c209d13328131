#include "platform/kernel/kernel_state.h"

namespace platform::kernel {

KernelState& kernel_state() {
    static KernelState* state = new KernelState;
    return *state;
}

void reset_kernel_state_for_tests() {
    set_thread_exception_handler({});
}

}  // namespace platform::kernel
