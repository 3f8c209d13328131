#include "driver/zorrun/server.h"

#include <unistd.h>

#include <climits>

#include "driver/zorrun/tizor.h"
#include "platform/com/activation.h"
#include "platform/com/bus.h"

namespace zorrun {

namespace com = platform::com;

namespace {

std::uint32_t class_cookie = 0;

}  // namespace

std::string own_program_path() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    return std::string(path, static_cast<std::size_t>(n));
}

com::HRESULT register_server(const std::string& program_path) {
    if (program_path.empty() || program_path.front() != '/') return com::E_INVALIDARG;
    return izor::register_server(program_path);
}

com::HRESULT unregister_server() { return izor::unregister_server(); }

com::HRESULT start_serving() {
    if (const com::HRESULT hr = com::join_session_bus(); com::failed(hr)) return hr;
    com::ComPtr<com::IClassFactory> factory = make_tizor_factory();
    return izor::register_class_object(factory.get(), &class_cookie);
}

void stop_serving() {
    if (class_cookie) com::co_revoke_class_object(class_cookie);
    class_cookie = 0;
    com::leave_session_bus();
}

}  // namespace zorrun
