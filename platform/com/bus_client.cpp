// The client side: starting a registered server, making an object through its factory, and
// the calls of proxies.
#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/com/bus.h"
#include "platform/com/bus_connection.h"
#include "platform/com/com_state.h"

namespace platform::com {

using detail::com_state;

namespace {

bool is_gone_error(std::string_view name) {
    return name == "org.freedesktop.DBus.Error.NoReply" ||
           name == "org.freedesktop.DBus.Error.ServiceUnknown" ||
           name == "org.freedesktop.DBus.Error.NameHasNoOwner" ||
           name == "org.freedesktop.DBus.Error.Disconnected" ||
           name == "org.freedesktop.DBus.Error.UnknownObject";
}

// The HRESULT of a failure message ("<member> failed: HRESULT 0x80004005", perhaps followed by
// ": " and the failure's text, which may hold anything).
HRESULT hresult_in_message(const char* message) {
    if (!message) return E_FAIL;
    const char* at = std::strstr(message, "HRESULT 0x");
    if (!at) return E_FAIL;
    at += std::strlen("HRESULT 0x");
    char* end = nullptr;
    const unsigned long value = std::strtoul(at, &end, 16);
    if (end == at || value > 0xFFFFFFFFul) return E_FAIL;
    const HRESULT hr = make_hresult(static_cast<std::uint32_t>(value));
    return failed(hr) ? hr : E_FAIL;
}

// The result of an error reply: the server's own HRESULT, or what the bus error means.
HRESULT hresult_of_error(const sd_bus_error* error, const std::string& bus_name) {
    detail::note_bus_error(error->name, error->message);
    const std::string_view name = error->name ? error->name : "";
    if (name == bus_name + ".Error.Failed") return hresult_in_message(error->message);
    if (is_gone_error(name)) return RPC_E_DISCONNECTED;
    if (name == "org.freedesktop.DBus.Error.UnknownMethod" ||
        name == "org.freedesktop.DBus.Error.UnknownInterface")
        return E_NOTIMPL;
    if (name == "org.freedesktop.DBus.Error.InvalidArgs") return E_INVALIDARG;
    return E_FAIL;
}

// Starts the program detached from this process (its own session, reparented away from us, so
// no zombie is left here) with "-Embedding". Fails when the program cannot be executed.
HRESULT start_program(const std::string& program) {
    int report[2];
    if (pipe2(report, O_CLOEXEC) < 0) return CO_E_SERVER_EXEC_FAILURE;
    const pid_t child = fork();
    if (child < 0) {
        ::close(report[0]);
        ::close(report[1]);
        return CO_E_SERVER_EXEC_FAILURE;
    }
    if (child == 0) {
        // Only async-signal-safe calls from here on.
        setsid();
        const pid_t grandchild = fork();
        if (grandchild < 0) {
            const int e = errno;
            [[maybe_unused]] const ssize_t n = ::write(report[1], &e, sizeof e);
            _exit(1);
        }
        if (grandchild > 0) _exit(0);
        // Descriptors of the client (the bus socket and others) must not leak into the server.
        syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC);
        const char* argv[] = {program.c_str(), "-Embedding", nullptr};
        execv(program.c_str(), const_cast<char* const*>(argv));
        const int e = errno;
        [[maybe_unused]] const ssize_t n = ::write(report[1], &e, sizeof e);
        _exit(127);
    }
    ::close(report[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    // The pipe closes on a successful exec and carries errno otherwise.
    int exec_errno = 0;
    pollfd p{report[0], POLLIN, 0};
    ssize_t n = -1;
    if (::poll(&p, 1, 5000) > 0) n = ::read(report[0], &exec_errno, sizeof exec_errno);
    ::close(report[0]);
    if (n == 0) return S_OK;
    com_state().last_error =
        "cannot start " + program + ": " + (n > 0 ? std::strerror(exec_errno) : "no report");
    return CO_E_SERVER_EXEC_FAILURE;
}

struct NameWatch {
    bool owned = false;
};

int on_name_owner(sd_bus_message* m, void* userdata, sd_bus_error*) {
    const char* name = nullptr;
    const char* old_owner = nullptr;
    const char* new_owner = nullptr;
    if (sd_bus_message_read(m, "sss", &name, &old_owner, &new_owner) >= 0 && new_owner && *new_owner)
        static_cast<NameWatch*>(userdata)->owned = true;
    return 0;
}

// Makes sure the bus name has an owner: starts the registered program and waits (bounded)
// for the name when it has none.
HRESULT ensure_server(detail::BusConnection* c, const LocalRegistration& where) {
    NameWatch watch;
    sd_bus_slot* slot = nullptr;
    // Watch first, then look, so an owner that appears in between is not missed.
    const std::string match =
        "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/"
        "DBus',interface='org.freedesktop.DBus',"
        "member='NameOwnerChanged',arg0='" +
        where.bus_name + "'";
    if (sd_bus_add_match(c->bus(), &slot, match.c_str(), on_name_owner, &watch) < 0)
        return CO_E_SERVER_EXEC_FAILURE;
    HRESULT hr = S_OK;
    if (!bus_name_has_owner(where.bus_name)) {
        hr = start_program(where.program_path);
        if (succeeded(hr)) {
            const unsigned timeout = com_state().activation_timeout_ms;
            if (!c->wait_for([&] { return watch.owned; }, timeout)) {
                com_state().last_error = where.program_path + " did not take the bus name " + where.bus_name +
                                         " within " + std::to_string(timeout) + " ms";
                hr = CO_E_SERVER_EXEC_FAILURE;
            }
        }
    }
    if (detail::current_connection() == c) sd_bus_slot_unref(slot);
    return hr;
}

}  // namespace

namespace detail {

HRESULT create_local_instance(const LocalRegistration& where, const IID& iid, void** object) {
    const BusInterface* table = find_bus_interface(iid);
    if (!table) return E_NOINTERFACE;
    HRESULT hr = S_OK;
    BusConnection* c = connection(&hr);
    if (!c) return hr == RPC_E_WRONG_THREAD ? hr : CO_E_SERVER_EXEC_FAILURE;

    std::string path;
    std::string server;
    // A second round for a server that ended between the look at its name and the call.
    for (int attempt = 0; attempt < 2; ++attempt) {
        hr = ensure_server(c, where);
        if (failed(hr)) return hr;
        sd_bus_message* m = nullptr;
        if (sd_bus_message_new_method_call(c->bus(), &m, where.bus_name.c_str(),
                                           bus_name_to_path(where.bus_name).c_str(),
                                           (where.bus_name + ".Factory").c_str(), "CreateInstance") < 0)
            return RPC_E_INVALID_DATA;
        sd_bus_message* reply = nullptr;
        hr = c->call(m, com_state().call_timeout_ms, &reply);
        sd_bus_message_unref(m);
        if (failed(hr)) return hr == RPC_E_TIMEOUT ? CO_E_SERVER_EXEC_FAILURE : hr;
        if (const sd_bus_error* error = sd_bus_message_get_error(reply)) {
            hr = hresult_of_error(error, where.bus_name);
            sd_bus_message_unref(reply);
            if (hr == RPC_E_DISCONNECTED && attempt == 0) continue;
            return hr;
        }
        BusValues values(reply);
        values.read_path(path);
        server = sd_bus_message_get_sender(reply) ? sd_bus_message_get_sender(reply) : "";
        sd_bus_message_unref(reply);
        if (!values.ok() || server.empty()) return RPC_E_INVALID_DATA;
        break;
    }
    if (path.empty()) return CO_E_SERVER_EXEC_FAILURE;
    // From here on the remote object holds the reference and gives it back when it goes.
    auto remote = std::make_shared<RemoteObject>(where.bus_name, server, path);
    IUnknown* proxy = table->make_proxy(remote);
    if (!proxy) return E_OUTOFMEMORY;
    hr = proxy->QueryInterface(iid, object);
    proxy->Release();
    return hr;
}

}  // namespace detail

RemoteObject::RemoteObject(std::string bus_name, std::string destination, std::string object_path)
    : bus_name_(std::move(bus_name)),
      destination_(std::move(destination)),
      object_path_(std::move(object_path)) {}

RemoteObject::~RemoteObject() {
    detail::BusConnection* c = detail::current_connection();
    if (!c || !c->on_owner_thread()) return;  // the server drops our references when we leave the bus
    sd_bus_message* m = nullptr;
    if (sd_bus_message_new_method_call(c->bus(), &m, destination_.c_str(),
                                       bus_name_to_path(bus_name_).c_str(), (bus_name_ + ".Factory").c_str(),
                                       "Release") < 0)
        return;
    sd_bus_message_set_expect_reply(m, 0);
    sd_bus_send(c->bus(), m, nullptr);
    sd_bus_message_unref(m);
    c->update_io();
}

HRESULT RemoteObject::call(const char* interface_name, const BusMethod& method,
                           const std::function<void(BusValues&)>& arguments,
                           const std::function<HRESULT(BusValues&)>& results) {
    HRESULT hr = S_OK;
    detail::BusConnection* c = detail::connection(&hr);
    if (!c) return hr;
    const std::string interface = bus_name_ + "." + interface_name;
    sd_bus_message* m = nullptr;
    if (sd_bus_message_new_method_call(c->bus(), &m, destination_.c_str(), object_path_.c_str(),
                                       interface.c_str(), method.member) < 0)
        return RPC_E_INVALID_DATA;
    BusValues in(m);
    if (arguments) arguments(in);
    if (!in.ok()) {
        sd_bus_message_unref(m);
        return E_INVALIDARG;
    }
    sd_bus_message* reply = nullptr;
    hr = c->call(m, com_state().call_timeout_ms, &reply);
    sd_bus_message_unref(m);
    if (failed(hr)) return hr;
    if (const sd_bus_error* error = sd_bus_message_get_error(reply)) {
        hr = hresult_of_error(error, bus_name_);
    } else if (!sd_bus_message_has_signature(reply, method.out_signature)) {
        detail::note_bus_error(
            "com.hox.Zor.Error.BadReply",
            (std::string(method.member) + " answered with signature '" +
             (sd_bus_message_get_signature(reply, 1) ? sd_bus_message_get_signature(reply, 1) : "") + "'")
                .c_str());
        hr = RPC_E_INVALID_DATA;
    } else {
        BusValues out(reply);
        hr = results ? results(out) : S_OK;
        if (succeeded(hr) && !out.ok()) hr = RPC_E_INVALID_DATA;
    }
    sd_bus_message_unref(reply);
    return hr;
}

}  // namespace platform::com
