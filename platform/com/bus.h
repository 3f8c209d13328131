// The session bus: how local servers and their clients talk, and how window messages reach
// windows of other processes.
//
// The model
// ---------
// A process joins the bus once (join_session_bus, or implicitly through co_create_instance and
// co_register_class_object). Joining connects to the session bus (DBUS_SESSION_BUS_ADDRESS),
// hooks the connection into the calling thread's message loop (an fd watch for the socket and a
// timerfd watch for the bus's own time-outs; before each wait the layer has told the loop which
// events and which deadline the bus wants, and after each wake it processes until nothing is
// pending), and installs the window layer's remote broadcaster.
//
// Incoming calls are never run inside the bus library's own callbacks: they are queued and run
// right after processing, on the loop's thread. So a call may run a nested modal loop, and calls
// that arrive meanwhile are served from inside it.
//
// An outgoing call (a proxy's method) is sent asynchronously; the caller waits in a nested loop
// of the window layer, so its own window messages and incoming calls go on being handled, for
// at most the call time-out. A server that dies before it answers gives RPC_E_DISCONNECTED; one
// that does not answer in time gives RPC_E_TIMEOUT. Nothing waits without a bound.
//
// Names on the bus, for a server of bus name N (e.g. "com.hox.Zorrun") and object name O ("IZor"):
//   factory object  /N-with-slashes (/com/hox/Zorrun), interface N.Factory:
//                   CreateInstance() -> o takes a reference for the calling connection,
//                   Release() gives one back; a connection's references go when it leaves the bus
//   the object      /com/hox/Zorrun/O, one interface N.<interface name> per interface table
//   failures        the error N.Error.Failed, message "<member> failed: HRESULT 0x80004005", followed by
//                   ": " and the failure's text when the object gave one (set_error_text)
// The object holds no state of its own, so one path serves every instance, and a stock client
// can call it without taking a reference.
//
// Window messages: broadcast_to_class() of the window layer also emits the signal
// Broadcast(s class, u message, t wparam, x lparam) on /com/hox/Zor/Window, interface
// com.hox.Zor.Window; every other joined process delivers it to its windows of that class
// (deliver_from_remote). A process does not receive its own broadcasts back.
// The foreground window: bring_window_of_class_to_front() of the window layer, when this
// process has no window of the class, asks the other joined processes one by one (method
// BringToFront on the same path and interface, each answer awaited at most
// window_foreground_timeout_ms) until one had such a window.
//
// Bus activation: a service file for a bus name (in $XDG_DATA_HOME/dbus-1/services) lets the bus
// start the program itself, when a call is addressed to the name or start_bus_service asks.
//
// Thread contract: main thread only. The thread that joins is the bus's thread; every function
// here must be called on it, except that broadcast_to_class may be called from any thread (the
// signal is then handed to the bus's thread and sent from there).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/bstr.h"
#include "platform/com/guid.h"
#include "platform/com/hresult.h"
#include "platform/com/unknown.h"

struct sd_bus_message;

namespace platform::com {

inline constexpr const char* window_signal_path = "/com/hox/Zor/Window";
inline constexpr const char* window_signal_interface = "com.hox.Zor.Window";
inline constexpr const char* window_signal_member = "Broadcast";
// Each joined process owns the name window_peer_prefix + its process id ("...Window.p4242") and
// answers BringToFront(s class) -> b on window_signal_path: it makes its first window of the
// class its foreground window and says whether it had one.
inline constexpr const char* window_peer_prefix = "com.hox.Zor.Window.p";
inline constexpr const char* window_foreground_member = "BringToFront";
inline constexpr unsigned window_foreground_timeout_ms = 2000;

// Connects this process to the session bus and to the calling thread's loop. S_OK when joined
// (also when it already was); RPC_E_DISCONNECTED when there is no session bus. Safe to call
// more than once.
HRESULT join_session_bus();
// Drops the connection: exported objects go, the bus name is released, waiting calls end with
// RPC_E_DISCONNECTED, the remote broadcaster is removed.
void leave_session_bus();
bool joined_session_bus();
// This connection's unique name (":1.42"); empty when not joined.
std::string bus_unique_name();
// One round trip to the bus daemon, waiting in a nested loop: everything that was sent to this
// process before it has been processed when it returns. S_OK, or the failure.
HRESULT bus_ping();

// Time-outs (milliseconds) of outgoing calls and of waiting for a started server's name.
void set_call_timeout_ms(unsigned ms);  // default 60000
unsigned call_timeout_ms();
void set_activation_timeout_ms(unsigned ms);  // default 15000
unsigned activation_timeout_ms();

// What a served method tells its caller about the failure it is about to return: the text the
// user would have been shown (Windows-1252), carried in the failure's message. Each served call
// starts without one; the last text set before the method returns counts. Outside a served call
// it is kept until the next one starts.
void set_error_text(std::string_view cp1252);
// The same for a text in UTF-8 (one that names a file by its own characters).
void set_error_text_utf8(std::string_view utf8);

// The D-Bus error name and message of the last failed call of this process ("" when none), for
// the error texts of clients.
std::string last_bus_error();

// ---------------------------------------------------------------------------------------------
// Arguments and results on the bus
// ---------------------------------------------------------------------------------------------

// The arguments of a call or the values of a reply, read or written in order. A failed read or
// append is remembered; ok() tells whether all went well. Strings are UTF-8 on the bus:
// read_text/append_text convert from and to the system's Windows-1252, read_bstr/append_bstr
// from and to UTF-16.
class BusValues {
  public:
    explicit BusValues(sd_bus_message* message) : m_(message) {}
    bool ok() const { return error_ == 0; }
    int error() const { return error_; }

    BusValues& read(std::int32_t& value);
    BusValues& read(std::uint32_t& value);
    BusValues& read(double& value);
    BusValues& read_text(std::string& cp1252);
    BusValues& read_bstr(BSTR* value);  // a new BSTR the caller owns
    BusValues& read_bytes(std::vector<std::uint8_t>& bytes);
    BusValues& read_path(std::string& path);

    BusValues& append(std::int32_t value);
    BusValues& append(std::uint32_t value);
    BusValues& append(double value);
    BusValues& append_text(std::string_view cp1252);
    BusValues& append_bstr(BSTR value);
    BusValues& append_bytes(std::span<const std::uint8_t> bytes);
    BusValues& append_path(std::string_view path);

    sd_bus_message* message() const { return m_; }

  private:
    BusValues& note(int r) {
        if (r < 0 && error_ == 0) error_ = r;
        return *this;
    }
    sd_bus_message* m_;
    int error_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Interface tables
// ---------------------------------------------------------------------------------------------

// One method of an interface on the bus. `serve` runs on the server: it reads the arguments
// from `in`, calls the method of `iface` (the object's interface of the table's iid) and, when
// that succeeded, appends the out values to `out`. Its result is the method's HRESULT; a
// failure becomes the error N.Error.Failed.
struct BusMethod {
    const char* member;
    const char* in_signature;
    const char* out_signature;
    HRESULT (*serve)(IUnknown* iface, BusValues& in, BusValues& out);
    // The arguments' names, which introspection shows: blank-separated, one per complete type
    // of the signature ("Rawname Methname Listname"). Null leaves the arguments unnamed; when
    // one side is named, the other must be too (as far as it has arguments).
    const char* in_names = nullptr;
    const char* out_names = nullptr;
};

class RemoteObject;

// One interface on the bus: its id, its name after the bus name ("IIZor" gives
// "com.hox.Zorrun.IIZor"), its methods in slot order, and the maker of its client proxy.
// `make_proxy` returns a new proxy (one reference) for the remote object, which answers at least
// this iid.
struct BusInterface {
    IID iid;
    const char* name;
    std::span<const BusMethod> methods;
    IUnknown* (*make_proxy)(std::shared_ptr<RemoteObject> remote);
};

// Makes an interface known to this process, for proxies (co_create_instance) and for serving
// (a registered class object whose object answers the iid is served under that interface).
// The tables live in the module that registers them (the program, or a library it loads), and
// must stay registered no longer than that module stays loaded: a library unregisters its tables
// before it is unloaded. When several modules register the same iid, the first registration
// that is still there is the one in effect; the others wait behind it. Registering the very
// same table again does nothing.
void register_bus_interface(const BusInterface& interface);
// Takes back a registration of the very same table (same iid, methods and proxy maker); the
// next one registered for the iid, if any, takes over. Proxies made through it must be gone.
void unregister_bus_interface(const BusInterface& interface);
const BusInterface* find_bus_interface(const IID& iid);

// A server object as a client sees it: where it is, and the reference this client holds. When
// the last proxy that shares it goes, the reference is given back (Factory.Release, not waited
// for).
class RemoteObject {
  public:
    RemoteObject(std::string bus_name, std::string destination, std::string object_path);
    ~RemoteObject();
    RemoteObject(const RemoteObject&) = delete;
    RemoteObject& operator=(const RemoteObject&) = delete;

    // Calls `method` of the interface `interface_name` (the table's name, "IIZor"): `arguments`
    // appends the in values, `results` reads the out values of a successful reply (its result
    // is the call's). Waits as the model says. S_OK or the failure: the server's HRESULT for
    // N.Error.Failed, RPC_E_DISCONNECTED, RPC_E_TIMEOUT, RPC_E_INVALID_DATA (a reply of another
    // shape), E_FAIL for any other bus error (see last_bus_error).
    HRESULT call(const char* interface_name, const BusMethod& method,
                 const std::function<void(BusValues&)>& arguments,
                 const std::function<HRESULT(BusValues&)>& results);

    const std::string& bus_name() const { return bus_name_; }
    const std::string& destination() const { return destination_; }  // the server's unique name
    const std::string& object_path() const { return object_path_; }

  private:
    std::string bus_name_;
    std::string destination_;
    std::string object_path_;
};

// ---------------------------------------------------------------------------------------------
// Server lifetime
// ---------------------------------------------------------------------------------------------

// Called on the bus's thread, once, when the connection to the bus is lost (the bus daemon
// ended). A server quits here: nobody can reach it any more.
void set_bus_lost_handler(std::function<void()> handler);

// References that clients hold on this process's served classes now (all connections).
long bus_reference_count();
// Called on the bus's thread each time that count falls to 0 (the last Release, or the last
// referencing client left the bus). A server started with "-Embedding" quits its loop here.
void set_last_reference_handler(std::function<void()> handler);

// ---------------------------------------------------------------------------------------------
// Bus names and paths
// ---------------------------------------------------------------------------------------------

// "com.hox.Zorrun" -> "/com/hox/Zorrun".
std::string bus_name_to_path(std::string_view bus_name);
// Whether the name has an owner now (one round trip to the daemon).
bool bus_name_has_owner(std::string_view bus_name);
// The process id of the name's owner; 0 when it has none.
pid_t bus_name_owner_pid(std::string_view bus_name);
// Has the bus start the program its service file names for `bus_name`, waiting (bounded, see
// set_activation_timeout_ms) until the name is owned. S_OK also when it already was;
// REGDB_E_CLASSNOTREG when the bus has no service file for the name; CO_E_SERVER_EXEC_FAILURE
// when the program could not be started or did not take the name (see last_bus_error);
// RPC_E_DISCONNECTED without a session bus.
HRESULT start_bus_service(std::string_view bus_name);

// Test support: leaves the bus, revokes every class object, forgets loaded libraries that can
// be unloaded, resets time-outs and the last error. The interface tables stay registered.
void reset_com_state_for_tests();

}  // namespace platform::com
