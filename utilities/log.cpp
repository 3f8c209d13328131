#include "utilities/log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "utilities/session.h"

namespace putils {

namespace {

// The user's date and time separators on this platform.
constexpr char date_separator = '/';
constexpr char time_separator = ':';

std::string time_stamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[80];
    std::snprintf(buffer, sizeof buffer, "%04d%c%02d%c%02d %02d%c%02d%c%02d", local.tm_year + 1900,
                  date_separator, local.tm_mon + 1, date_separator, local.tm_mday, local.tm_hour,
                  time_separator, local.tm_min, time_separator, local.tm_sec);
    return buffer;
}

}  // namespace

std::string log_file_path() {
    return method_folder_file("tsk_weav.log");
}

void append_log(std::string_view text) {
    const SessionValues& s = session();
    if (!s.log_enabled || s.method_folder.empty()) return;

    std::string line = time_stamp();
    line += " : ";
    line.append(text);
    line += "\r\n";

    // One append-mode open that creates a missing file: an existing log is never truncated, and
    // a line goes out in one write, so lines of the two programs do not interleave.
    const std::string path = log_file_path();
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return;
    const char* data = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            break;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    ::close(fd);
}

}  // namespace putils
