// HRESULT texts, GUID texts, the module counters and the unit state.
#include <cstdio>

#include "platform/com/bus_connection.h"
#include "platform/com/com_state.h"
#include "platform/com/guid.h"
#include "platform/com/hresult.h"
#include "platform/com/unknown.h"

namespace platform::com {

std::string hresult_text(HRESULT hr) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(static_cast<std::uint32_t>(hr)));
    return buf;
}

std::optional<GUID> parse_guid(std::string_view text) {
    return detail::parse_guid_text(text);
}

std::string guid_text(const GUID& g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.data1), unsigned{g.data2}, unsigned{g.data3}, unsigned{g.data4[0]},
                  unsigned{g.data4[1]}, unsigned{g.data4[2]}, unsigned{g.data4[3]}, unsigned{g.data4[4]},
                  unsigned{g.data4[5]}, unsigned{g.data4[6]}, unsigned{g.data4[7]});
    return buf;
}

long module_object_count() {
    return detail::com_state().objects.load();
}
long module_lock_count() {
    return detail::com_state().locks.load();
}
void module_lock(bool lock) {
    detail::com_state().locks.fetch_add(lock ? 1 : -1);
}
HRESULT module_can_unload() {
    return module_object_count() == 0 && module_lock_count() == 0 ? S_OK : S_FALSE;
}

namespace detail {

void count_object(int delta) {
    com_state().objects.fetch_add(delta);
}

ComState& com_state() {
    static ComState state;
    return state;
}

// At process exit only the bus connection is closed; the window layer may already be gone, so
// its watches are left alone.
ComState::~ComState() = default;

}  // namespace detail
}  // namespace platform::com
