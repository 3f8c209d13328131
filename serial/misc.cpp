#include "serial/misc.h"

#include <sys/stat.h>

#include "platform/window/window.h"
#include "serial/ansi.h"

namespace serial {

std::uint32_t PumpOneMessage() {
    namespace win = platform::window;
    win::Message message;
    if (!win::peek_message(message)) return 0;
    if (message.message == win::WM_QUIT)
        win::post_quit_message(static_cast<int>(message.wparam));  // the owner's loop must still see it
    else
        win::dispatch_message(message);
    return 0x10000u | (message.message & 0xFFFFu);
}

bool ExistFile(const std::string& name) {
    struct stat st {};
    return !name.empty() && ::stat(AnsiToUtf8(name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace serial
