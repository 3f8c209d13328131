#include "tools/zorsim/pty_terminal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace zorsim {
namespace {

std::string os_error(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

int rate_of(speed_t s) {
    switch (s) {
        case B1200:
            return 1200;
        case B2400:
            return 2400;
        case B4800:
            return 4800;
        case B9600:
            return 9600;
        case B19200:
            return 19200;
        case B38400:
            return 38400;
        case B57600:
            return 57600;
        case B115200:
            return 115200;
        default:
            return 0;
    }
}

}  // namespace

PtyTerminal::~PtyTerminal() {
    close();
}

std::string PtyTerminal::open(const std::string& link_path) {
    close();
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0) return os_error("posix_openpt");
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        const std::string e = os_error("grantpt/unlockpt");
        close();
        return e;
    }
    const char* name = ::ptsname(master_);
    if (name == nullptr) {
        const std::string e = os_error("ptsname");
        close();
        return e;
    }
    slave_path_ = name;
    slave_ = ::open(slave_path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave_ < 0) {
        const std::string e = os_error("open " + slave_path_);
        close();
        return e;
    }
    termios t{};
    if (::tcgetattr(slave_, &t) == 0) {
        ::cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        ::cfsetispeed(&t, B9600);
        ::cfsetospeed(&t, B9600);
        ::tcsetattr(slave_, TCSANOW, &t);
    }
    if (!link_path.empty()) {
        struct stat st {};
        if (::lstat(link_path.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                close();
                return link_path + " exists and is not a symbolic link; not replacing it";
            }
            ::unlink(link_path.c_str());
        }
        if (::symlink(slave_path_.c_str(), link_path.c_str()) != 0) {
            const std::string e = os_error("symlink " + link_path);
            close();
            return e;
        }
        link_path_ = link_path;
    }
    return {};
}

void PtyTerminal::close() {
    if (!link_path_.empty()) {
        // Only our own link: if someone replaced it meanwhile, it is theirs.
        char target[4096];
        const ssize_t n = ::readlink(link_path_.c_str(), target, sizeof target - 1);
        if (n >= 0 && std::string(target, static_cast<std::size_t>(n)) == slave_path_)
            ::unlink(link_path_.c_str());
        link_path_.clear();
    }
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
    slave_ = master_ = -1;
    slave_path_.clear();
}

int PtyTerminal::slave_baud() const {
    termios t{};
    if (slave_ < 0 || ::tcgetattr(slave_, &t) != 0) return 0;
    return rate_of(::cfgetospeed(&t));
}

}  // namespace zorsim
