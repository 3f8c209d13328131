// Runs test code in a child process without root's rights, whom no file mode keeps out.
// Threads: the child holds only the calling thread, so `body` must not wait on the others.
#pragma once

#include <functional>
#include <string>

namespace zor_testing {

// Runs `body` in a child process (it becomes "nobody" when the tests run as root) and returns
// what the body returned; "" when the child could not run it.
std::string in_unprivileged_child(const std::function<std::string()>& body);

}  // namespace zor_testing
