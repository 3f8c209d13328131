#include "platform/testing/unprivileged_child.h"

#include <sys/wait.h>
#include <unistd.h>

namespace zor_testing {

std::string in_unprivileged_child(const std::function<std::string()>& body) {
    int out[2];
    if (::pipe(out) != 0) return {};
    const pid_t child = ::fork();
    if (child < 0) return {};
    if (child == 0) {
        ::close(out[0]);
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
        const std::string text = body();
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::write(out[1], text.data() + done, text.size() - done);
            if (n <= 0) ::_exit(4);
            done += static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(out[1]);
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? text : std::string();
}

}  // namespace zor_testing
