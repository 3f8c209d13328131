// The session bus connection hooked into a thread's message loop (internal).
//
// Processing rule: sd_bus_process runs only from service(), and the bus library's callbacks
// only note what happened or queue work (defer). The queued work runs after processing, on
// the loop's thread, where it may run nested loops; those call service() again, which is safe
// because no sd-bus callback is active then.
//
// Thread contract: main thread only (the thread that opened it).
#pragma once

#include <systemd/sd-bus.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/com/hresult.h"
#include "platform/com/registration.h"
#include "platform/com/unknown.h"
#include "platform/kernel/kernel.h"
#include "platform/window/window.h"

namespace platform::com::detail {

// A call waiting for its reply.
struct PendingCall {
    bool done = false;
    sd_bus_message* reply = nullptr;  // null when the connection broke
    sd_bus_slot* slot = nullptr;
};

// Broadcasts handed over from other threads; shared with the window layer's broadcaster, which
// may outlive the connection.
struct Outbox {
    std::mutex lock;
    struct Item {
        std::string class_name;
        std::uint32_t message;
        std::uint64_t wparam;
        std::int64_t lparam;
    };
    std::vector<Item> items;
    int eventfd = -1;
    kernel::ThreadId owner = 0;
    bool open = true;
};

class BusConnection {
  public:
    // Connects to the session bus; null with `error` set when there is none.
    static std::unique_ptr<BusConnection> open(std::string& error);
    ~BusConnection();
    BusConnection(const BusConnection&) = delete;
    BusConnection& operator=(const BusConnection&) = delete;

    sd_bus* bus() const { return bus_; }
    const std::string& unique_name() const { return unique_name_; }
    bool broken() const { return broken_; }
    bool on_owner_thread() const { return kernel::current_thread_id() == owner_; }
    std::uint64_t serial() const { return serial_; }

    // Queues work to run after the current processing (or at the next loop iteration).
    void defer(std::function<void()> work);
    // Tells the loop what the bus waits for now: fd events and its next time-out.
    void update_io();
    // Sends `call` and waits for its reply in a nested loop, at most timeout_ms. S_OK with
    // *reply set (possibly an error reply, which the caller interprets), RPC_E_TIMEOUT, or
    // RPC_E_DISCONNECTED when the connection broke.
    HRESULT call(sd_bus_message* call, unsigned timeout_ms, sd_bus_message** reply);
    // Runs nested loops until `done` or the time runs out; true when done. Also when the loop
    // is quitting: then it waits on the bus alone.
    bool wait_for(const std::function<bool()>& done, unsigned timeout_ms);
    // Emits the window broadcast signal.
    void emit_window_broadcast(std::string_view class_name_cp1252, std::uint32_t message,
                               std::uint64_t wparam, std::int64_t lparam);
    // Asks the other joined processes, one by one, to bring their first window of the class to
    // the front; true when one did.
    bool bring_to_front_elsewhere(std::string_view class_name_cp1252);
    // Serves BringToFront for the other processes.
    static int on_bring_to_front(sd_bus_message* m, void* userdata, sd_bus_error* error);
    // Removes the loop watches and the broadcaster; fails waiting calls. Done before the
    // destructor when leaving the bus deliberately (the destructor alone, at process exit,
    // touches nothing of the window layer).
    void detach_from_loop();

    // Slots that live as long as the connection.
    void keep_slot(sd_bus_slot* slot) { kept_slots_.push_back(slot); }
    bool name_watch_installed = false;

  private:
    BusConnection() = default;
    void service();
    void run_deferred();
    void mark_broken(int error);
    void wait_directly(const std::function<bool()>& done, const kernel::Deadline& deadline);
    void drain_outbox();
    void set_timer(std::uint64_t usec);
    static int on_window_signal(sd_bus_message* m, void* userdata, sd_bus_error* error);

    sd_bus* bus_ = nullptr;
    std::string unique_name_;
    std::string peer_name_;  // window_peer_prefix + the process id
    kernel::ThreadId owner_ = 0;
    std::uint64_t serial_ = 0;
    bool broken_ = false;
    bool attached_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);  // weak copies see the end

    int timer_fd_ = -1;
    // What timer_fd_ was last set to (microseconds of CLOCK_MONOTONIC; UINT64_MAX: disarmed), so
    // that a call that changes nothing costs no system call; unset until the first setting.
    std::optional<std::uint64_t> timer_set_usec_;
    // Inside service(): deferred work runs when processing ends, so defer() need not wake the loop.
    bool servicing_ = false;
    window::WatchId fd_watch_ = 0;
    window::WatchId timer_watch_ = 0;
    window::WatchId outbox_watch_ = 0;
    short watched_events_ = 0;

    std::deque<std::function<void()>> deferred_;
    std::set<PendingCall*> pending_;
    std::vector<sd_bus_slot*> kept_slots_;
    std::shared_ptr<Outbox> outbox_;
};

// The joined connection, or null when it cannot be had (com_state().last_error says why, and
// *why gets RPC_E_DISCONNECTED or RPC_E_WRONG_THREAD). Joins when not yet joined.
BusConnection* connection(HRESULT* why = nullptr);
// The joined connection, or null; never joins.
BusConnection* current_connection();

// Records "name: message" of an error reply or sd_bus_error as the last bus error.
void note_bus_error(const char* name, const char* message);

// Served classes (bus_server.cpp).
struct ServedClass;
std::shared_ptr<ServedClass> serve_class(const LocalRegistration& where, IClassFactory* factory, HRESULT& hr);
void stop_serving(const std::shared_ptr<ServedClass>& served);
void on_name_vanished(const std::string& unique_name);

}  // namespace platform::com::detail
