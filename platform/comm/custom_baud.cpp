// Non-standard rates through termios2. Kept apart: <asm/termbits.h> cannot share a translation
// unit with <termios.h>.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cerrno>
#include <cstdint>

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept;

namespace platform::comm::detail {

int set_custom_baud(int fd, std::uint32_t baud) {
    struct termios2 t2;
    if (ioctl(fd, TCGETS2, &t2) != 0) return errno;
    t2.c_cflag &= ~CBAUD;
    t2.c_cflag |= BOTHER;
    t2.c_cflag &= ~(CBAUD << IBSHIFT);
    t2.c_cflag |= BOTHER << IBSHIFT;
    t2.c_ospeed = baud;
    t2.c_ispeed = baud;
    if (ioctl(fd, TCSETS2, &t2) != 0) return errno;
    return 0;
}

}  // namespace platform::comm::detail
