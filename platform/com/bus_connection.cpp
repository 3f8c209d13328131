// The session bus connection in the window layer's loop, the window broadcast signal, and the
// values of calls and replies.
#include "platform/com/bus_connection.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/com/bus.h"
#include "platform/com/com_state.h"
#include "platform/com/text.h"

namespace platform::com {

namespace detail {

namespace {

std::uint64_t next_serial = 0;

int on_reply(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* p = static_cast<PendingCall*>(userdata);
    p->reply = sd_bus_message_ref(m);
    p->done = true;
    return 1;
}

std::string errno_text(int r) {
    return std::strerror(r < 0 ? -r : r);
}

const sd_bus_vtable window_vtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD(window_foreground_member, "s", "b", &BusConnection::on_bring_to_front,
                  SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

}  // namespace

void note_bus_error(const char* name, const char* message) {
    std::string text = name ? name : "";
    if (message && *message) text += std::string(text.empty() ? "" : ": ") + message;
    com_state().last_error = text;
}

std::unique_ptr<BusConnection> BusConnection::open(std::string& error) {
    sd_bus* bus = nullptr;
    int r = sd_bus_open_user(&bus);
    if (r < 0) {
        error = "cannot connect to the session bus: " + errno_text(r);
        return nullptr;
    }
    const char* unique = nullptr;
    r = sd_bus_get_unique_name(bus, &unique);
    if (r < 0 || !unique) {
        error = "cannot connect to the session bus: " + errno_text(r);
        sd_bus_flush_close_unref(bus);
        return nullptr;
    }
    std::unique_ptr<BusConnection> c(new BusConnection());
    c->bus_ = bus;
    c->unique_name_ = unique;
    c->owner_ = kernel::current_thread_id();
    c->serial_ = ++next_serial;
    c->timer_fd_ = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    c->outbox_ = std::make_shared<Outbox>();
    c->outbox_->eventfd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    c->outbox_->owner = c->owner_;
    if (c->timer_fd_ < 0 || c->outbox_->eventfd < 0) {
        error = "cannot make the bus's timer or wake-up fd: " + errno_text(errno);
        return nullptr;
    }

    sd_bus_slot* slot = nullptr;
    r = sd_bus_match_signal(bus, &slot, nullptr, window_signal_path, window_signal_interface,
                            window_signal_member, &BusConnection::on_window_signal, c.get());
    if (r < 0) {
        error = "cannot subscribe to window broadcasts: " + errno_text(r);
        return nullptr;
    }
    c->keep_slot(slot);

    // Found by the other processes when they look for a window of theirs here.
    slot = nullptr;
    r = sd_bus_add_object_vtable(bus, &slot, window_signal_path, window_signal_interface, window_vtable,
                                 c.get());
    if (r < 0) {
        error = "cannot serve window requests: " + errno_text(r);
        return nullptr;
    }
    c->keep_slot(slot);
    c->peer_name_ = window_peer_prefix + std::to_string(::getpid());
    r = sd_bus_request_name(bus, c->peer_name_.c_str(), 0);
    if (r < 0 && r != -EALREADY) {
        error = "cannot take the bus name " + c->peer_name_ + ": " + errno_text(r);
        return nullptr;
    }

    BusConnection* self = c.get();
    c->timer_watch_ = window::add_fd_watch(c->timer_fd_, POLLIN, [self](short) {
        std::uint64_t expirations;
        [[maybe_unused]] const ssize_t n = ::read(self->timer_fd_, &expirations, sizeof expirations);
        self->timer_set_usec_.reset();  // fired: no longer armed
        self->service();
    });
    c->outbox_watch_ =
        window::add_fd_watch(c->outbox_->eventfd, POLLIN, [self](short) { self->drain_outbox(); });
    c->attached_ = true;

    std::weak_ptr<Outbox> weak_outbox = c->outbox_;
    window::set_remote_broadcaster([weak_outbox](std::string_view class_name, std::uint32_t message,
                                                 window::WParam wparam, window::LParam lparam) {
        auto outbox = weak_outbox.lock();
        if (!outbox) return;
        if (kernel::current_thread_id() == outbox->owner) {
            BusConnection* conn = current_connection();
            if (conn && conn->outbox_ == outbox)
                conn->emit_window_broadcast(class_name, message, wparam, lparam);
            return;
        }
        std::lock_guard lock(outbox->lock);
        if (!outbox->open) return;
        outbox->items.push_back({std::string(class_name), message, static_cast<std::uint64_t>(wparam),
                                 static_cast<std::int64_t>(lparam)});
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(outbox->eventfd, &one, sizeof one);
    });
    window::set_remote_foreground([weak_outbox](std::string_view class_name) {
        auto outbox = weak_outbox.lock();
        BusConnection* conn = current_connection();
        if (!outbox || !conn || conn->outbox_ != outbox || !conn->on_owner_thread()) return false;
        return conn->bring_to_front_elsewhere(class_name);
    });
    c->update_io();
    return c;
}

BusConnection::~BusConnection() {
    *alive_ = false;
    for (PendingCall* p : pending_) {
        if (p->slot) p->slot = sd_bus_slot_unref(p->slot);
        p->done = true;
    }
    for (sd_bus_slot* s : kept_slots_) sd_bus_slot_unref(s);
    if (bus_) sd_bus_flush_close_unref(bus_);
    if (timer_fd_ >= 0) ::close(timer_fd_);
    if (outbox_) {
        std::lock_guard lock(outbox_->lock);
        outbox_->open = false;
        if (outbox_->eventfd >= 0) ::close(outbox_->eventfd);
        outbox_->eventfd = -1;
    }
}

void BusConnection::detach_from_loop() {
    if (attached_) {
        if (fd_watch_) window::remove_fd_watch(fd_watch_);
        if (timer_watch_) window::remove_fd_watch(timer_watch_);
        if (outbox_watch_) window::remove_fd_watch(outbox_watch_);
        fd_watch_ = timer_watch_ = outbox_watch_ = 0;
        watched_events_ = 0;
        window::set_remote_broadcaster({});
        window::set_remote_foreground({});
        attached_ = false;
    }
    if (outbox_) {
        std::lock_guard lock(outbox_->lock);
        outbox_->open = false;
    }
    for (PendingCall* p : pending_) {
        if (p->slot) p->slot = sd_bus_slot_unref(p->slot);
        p->done = true;
    }
    pending_.clear();
}

void BusConnection::mark_broken(int error) {
    if (broken_) return;
    broken_ = true;
    note_bus_error("the session bus connection was lost", errno_text(error).c_str());
    detach_from_loop();
    // A copy: the handler may replace itself.
    const std::function<void()> handler = com_state().bus_lost_handler;
    if (handler) handler();
}

void BusConnection::defer(std::function<void()> work) {
    const bool was_empty = deferred_.empty();
    deferred_.push_back(std::move(work));
    // Make the loop come back at once, in case nobody is processing right now.
    if (was_empty && !servicing_) set_timer(1);
}

void BusConnection::set_timer(std::uint64_t usec) {
    if (timer_fd_ < 0 || timer_set_usec_ == usec) return;
    itimerspec when{};
    if (usec != UINT64_MAX) {
        when.it_value.tv_sec = static_cast<time_t>(usec / 1'000'000);
        when.it_value.tv_nsec = static_cast<long>((usec % 1'000'000) * 1000);
    }
    timerfd_settime(timer_fd_, TFD_TIMER_ABSTIME, &when, nullptr);
    timer_set_usec_ = usec;
}

void BusConnection::update_io() {
    if (broken_ || !attached_) return;
    const int events = sd_bus_get_events(bus_);
    if (events < 0) {
        mark_broken(events);
        return;
    }
    if (fd_watch_ == 0 || static_cast<short>(events) != watched_events_) {
        if (fd_watch_) window::remove_fd_watch(fd_watch_);
        BusConnection* self = this;
        fd_watch_ = window::add_fd_watch(sd_bus_get_fd(bus_), static_cast<short>(events),
                                         [self](short) { self->service(); });
        watched_events_ = static_cast<short>(events);
    }
    std::uint64_t usec = UINT64_MAX;
    if (sd_bus_get_timeout(bus_, &usec) < 0) usec = UINT64_MAX;
    if (!deferred_.empty()) usec = 0;
    // An absolute time already past fires at once; {0, 0} would disarm instead.
    set_timer(usec == 0 ? 1 : usec);
}

void BusConnection::service() {
    if (broken_) return;
    servicing_ = true;
    for (;;) {
        const int r = sd_bus_process(bus_, nullptr);
        if (r < 0) {
            mark_broken(r);
            break;
        }
        if (r == 0) break;
    }
    servicing_ = false;
    const std::weak_ptr<bool> alive = alive_;
    run_deferred();
    if (alive.expired()) return;
    update_io();
}

void BusConnection::run_deferred() {
    const std::weak_ptr<bool> alive = alive_;
    while (!alive.expired() && !deferred_.empty()) {
        std::function<void()> work = std::move(deferred_.front());
        deferred_.pop_front();
        work();
    }
}

void BusConnection::drain_outbox() {
    std::vector<Outbox::Item> items;
    {
        std::lock_guard lock(outbox_->lock);
        std::uint64_t count;
        [[maybe_unused]] const ssize_t n = ::read(outbox_->eventfd, &count, sizeof count);
        items.swap(outbox_->items);
    }
    for (const Outbox::Item& item : items)
        emit_window_broadcast(item.class_name, item.message, item.wparam, item.lparam);
}

void BusConnection::emit_window_broadcast(std::string_view class_name_cp1252, std::uint32_t message,
                                          std::uint64_t wparam, std::int64_t lparam) {
    if (broken_) return;
    const std::string name = utf8_from_cp1252(class_name_cp1252);
    sd_bus_emit_signal(bus_, window_signal_path, window_signal_interface, window_signal_member, "sutx",
                       name.c_str(), message, wparam, lparam);
    update_io();
}

int BusConnection::on_window_signal(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* self = static_cast<BusConnection*>(userdata);
    const char* sender = sd_bus_message_get_sender(m);
    if (sender && self->unique_name_ == sender)
        return 0;  // our own broadcast: its windows were posted to already
    const char* class_name = nullptr;
    std::uint32_t message = 0;
    std::uint64_t wparam = 0;
    std::int64_t lparam = 0;
    if (sd_bus_message_read(m, "sutx", &class_name, &message, &wparam, &lparam) < 0) return 0;
    window::deliver_from_remote(cp1252_from_utf8(class_name), message, static_cast<window::WParam>(wparam),
                                static_cast<window::LParam>(lparam));
    return 0;
}

int BusConnection::on_bring_to_front(sd_bus_message* m, void*, sd_bus_error*) {
    const char* class_name = nullptr;
    if (sd_bus_message_read(m, "s", &class_name) < 0) return sd_bus_reply_method_return(m, "b", 0);
    const std::vector<window::Handle> found = window::find_windows_of_class(cp1252_from_utf8(class_name));
    const bool brought = !found.empty() && window::set_foreground_window(found.front());
    return sd_bus_reply_method_return(m, "b", brought ? 1 : 0);
}

bool BusConnection::bring_to_front_elsewhere(std::string_view class_name_cp1252) {
    const std::weak_ptr<bool> alive = alive_;
    // The other processes, in the order of their names.
    sd_bus_message* m = nullptr;
    if (sd_bus_message_new_method_call(bus_, &m, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                       "org.freedesktop.DBus", "ListNames") < 0)
        return false;
    sd_bus_message* reply = nullptr;
    HRESULT hr = call(m, window_foreground_timeout_ms, &reply);
    sd_bus_message_unref(m);
    if (failed(hr) || alive.expired()) return false;
    std::vector<std::string> peers;
    char** names = nullptr;
    if (!sd_bus_message_get_error(reply) && sd_bus_message_read_strv(reply, &names) >= 0 && names) {
        for (char** n = names; *n; ++n) {
            const std::string name = *n;
            if (name.starts_with(window_peer_prefix) && name != peer_name_) peers.push_back(name);
            std::free(*n);
        }
        std::free(names);
    }
    sd_bus_message_unref(reply);
    std::sort(peers.begin(), peers.end());

    const std::string class_name = utf8_from_cp1252(class_name_cp1252);
    for (const std::string& peer : peers) {
        if (sd_bus_message_new_method_call(bus_, &m, peer.c_str(), window_signal_path,
                                           window_signal_interface, window_foreground_member) < 0)
            return false;
        sd_bus_message_append(m, "s", class_name.c_str());
        hr = call(m, window_foreground_timeout_ms, &reply);
        sd_bus_message_unref(m);
        if (alive.expired()) return false;
        if (failed(hr)) continue;  // gone meanwhile, or not answering: the next one
        int brought = 0;
        const bool ok = !sd_bus_message_get_error(reply) && sd_bus_message_read(reply, "b", &brought) >= 0;
        sd_bus_message_unref(reply);
        if (ok && brought) return true;
    }
    return false;
}

void BusConnection::wait_directly(const std::function<bool()>& done, const kernel::Deadline& deadline) {
    const std::weak_ptr<bool> alive = alive_;
    while (!alive.expired() && !broken_ && !done() && !deadline.expired()) {
        const int events = sd_bus_get_events(bus_);
        pollfd fds[2] = {{sd_bus_get_fd(bus_), static_cast<short>(events < 0 ? POLLIN : events), 0},
                         {timer_fd_, POLLIN, 0}};
        // Slices of at most 100 ms, so the deadline is met even if the bus goes quiet.
        const int slice = static_cast<int>(std::min(deadline.remaining_ms(), 100u));
        if (::poll(fds, 2, slice) < 0 && errno != EINTR) break;
        if (fds[1].revents & POLLIN) {
            std::uint64_t expirations;
            [[maybe_unused]] const ssize_t n = ::read(timer_fd_, &expirations, sizeof expirations);
            timer_set_usec_.reset();  // fired: no longer armed
        }
        service();
    }
}

bool BusConnection::wait_for(const std::function<bool()>& done, unsigned timeout_ms) {
    const std::weak_ptr<bool> alive = alive_;
    const kernel::Deadline deadline(timeout_ms);
    if (done()) return true;
    window::run_nested_loop_for(done, timeout_ms);
    // The nested loop also ends when the thread's loop is quitting; the answer may still come.
    if (!done() && !alive.expired() && !deadline.expired()) wait_directly(done, deadline);
    return done();
}

HRESULT BusConnection::call(sd_bus_message* m, unsigned timeout_ms, sd_bus_message** reply) {
    *reply = nullptr;
    if (broken_) return RPC_E_DISCONNECTED;
    PendingCall p;
    // The bus's own time-out comes later than ours, so ours decides and is told apart from a
    // server that went away.
    const std::uint64_t usec = (std::uint64_t{timeout_ms} + 2000) * 1000;
    const int r = sd_bus_call_async(bus_, &p.slot, m, on_reply, &p, usec);
    if (r < 0) {
        note_bus_error("cannot send the call", errno_text(r).c_str());
        return (r == -ENOTCONN || r == -ECONNRESET || r == -EPIPE) ? RPC_E_DISCONNECTED : RPC_E_INVALID_DATA;
    }
    pending_.insert(&p);
    update_io();
    const std::weak_ptr<bool> alive = alive_;
    wait_for([&] { return p.done; }, timeout_ms);
    if (!alive.expired()) {
        pending_.erase(&p);
        if (p.slot) p.slot = sd_bus_slot_unref(p.slot);
    }
    if (!p.done) {
        note_bus_error("com.hox.Zor.Error.Timeout",
                       ("no answer within " + std::to_string(timeout_ms) + " ms").c_str());
        return RPC_E_TIMEOUT;
    }
    if (!p.reply) {
        note_bus_error("com.hox.Zor.Error.Disconnected",
                       "the connection to the bus was lost during the call");
        return RPC_E_DISCONNECTED;
    }
    *reply = p.reply;
    return S_OK;
}

BusConnection* current_connection() {
    auto& bus = com_state().bus;
    return bus && !bus->broken() ? bus.get() : nullptr;
}

BusConnection* connection(HRESULT* why) {
    auto& state = com_state();
    if (state.bus && state.bus->broken()) {
        state.bus->detach_from_loop();
        state.bus.reset();
    }
    if (!state.bus) {
        std::string error;
        state.bus = BusConnection::open(error);
        if (!state.bus) {
            state.last_error = error;
            if (why) *why = RPC_E_DISCONNECTED;
            return nullptr;
        }
    }
    if (!state.bus->on_owner_thread()) {
        state.last_error = "the session bus belongs to another thread";
        if (why) *why = RPC_E_WRONG_THREAD;
        return nullptr;
    }
    return state.bus.get();
}

}  // namespace detail

using detail::com_state;

// ---------------------------------------------------------------------------------------------

HRESULT join_session_bus() {
    HRESULT why = S_OK;
    return detail::connection(&why) ? S_OK : why;
}

bool joined_session_bus() {
    return detail::current_connection() != nullptr;
}

std::string bus_unique_name() {
    const detail::BusConnection* c = detail::current_connection();
    return c ? c->unique_name() : std::string();
}

HRESULT bus_ping() {
    HRESULT why = S_OK;
    detail::BusConnection* c = detail::connection(&why);
    if (!c) return why;
    sd_bus_message* m = nullptr;
    if (sd_bus_message_new_method_call(c->bus(), &m, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                       "org.freedesktop.DBus", "GetId") < 0)
        return RPC_E_INVALID_DATA;
    sd_bus_message* reply = nullptr;
    HRESULT hr = c->call(m, com_state().call_timeout_ms, &reply);
    sd_bus_message_unref(m);
    if (reply) {
        if (sd_bus_message_is_method_error(reply, nullptr)) hr = E_FAIL;
        sd_bus_message_unref(reply);
    }
    return hr;
}

void set_call_timeout_ms(unsigned ms) {
    com_state().call_timeout_ms = ms;
}
unsigned call_timeout_ms() {
    return com_state().call_timeout_ms;
}
void set_activation_timeout_ms(unsigned ms) {
    com_state().activation_timeout_ms = ms;
}
unsigned activation_timeout_ms() {
    return com_state().activation_timeout_ms;
}
std::string last_bus_error() {
    return com_state().last_error;
}

std::string bus_name_to_path(std::string_view bus_name) {
    std::string path = "/";
    for (char c : bus_name) path += (c == '.') ? '/' : c;
    return path;
}

namespace {

// A short synchronous question to the bus daemon, which always answers at once.
sd_bus_message* ask_daemon(const char* member, const char* name) {
    detail::BusConnection* c = detail::connection();
    if (!c) return nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    const int r = sd_bus_call_method(c->bus(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                     "org.freedesktop.DBus", member, &error, &reply, "s", name);
    sd_bus_error_free(&error);
    // The call may have read other messages; have the loop process them.
    c->update_io();
    return r < 0 ? nullptr : reply;
}

}  // namespace

bool bus_name_has_owner(std::string_view bus_name) {
    const std::string name(bus_name);
    sd_bus_message* reply = ask_daemon("NameHasOwner", name.c_str());
    if (!reply) return false;
    int owned = 0;
    if (sd_bus_message_read(reply, "b", &owned) < 0) owned = 0;
    sd_bus_message_unref(reply);
    return owned != 0;
}

HRESULT start_bus_service(std::string_view bus_name) {
    HRESULT hr = S_OK;
    detail::BusConnection* c = detail::connection(&hr);
    if (!c) return hr;
    sd_bus_message* m = nullptr;
    if (sd_bus_message_new_method_call(c->bus(), &m, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                       "org.freedesktop.DBus", "StartServiceByName") < 0)
        return E_OUTOFMEMORY;
    const std::string name(bus_name);
    if (sd_bus_message_append(m, "su", name.c_str(), 0u) < 0) {
        sd_bus_message_unref(m);
        return E_OUTOFMEMORY;
    }
    sd_bus_message* reply = nullptr;
    hr = c->call(m, com_state().activation_timeout_ms, &reply);
    sd_bus_message_unref(m);
    if (failed(hr)) return hr == RPC_E_TIMEOUT ? CO_E_SERVER_EXEC_FAILURE : hr;
    if (const sd_bus_error* error = sd_bus_message_get_error(reply)) {
        detail::note_bus_error(error->name, error->message);
        const bool unknown =
            error->name && std::string_view(error->name) == "org.freedesktop.DBus.Error.ServiceUnknown";
        sd_bus_message_unref(reply);
        return unknown ? REGDB_E_CLASSNOTREG : CO_E_SERVER_EXEC_FAILURE;
    }
    sd_bus_message_unref(reply);
    return S_OK;
}

pid_t bus_name_owner_pid(std::string_view bus_name) {
    const std::string name(bus_name);
    sd_bus_message* reply = ask_daemon("GetConnectionUnixProcessID", name.c_str());
    if (!reply) return 0;
    std::uint32_t pid = 0;
    if (sd_bus_message_read(reply, "u", &pid) < 0) pid = 0;
    sd_bus_message_unref(reply);
    return static_cast<pid_t>(pid);
}

// ---------------------------------------------------------------------------------------------
// BusValues

BusValues& BusValues::read(std::int32_t& value) {
    return note(sd_bus_message_read_basic(m_, 'i', &value));
}
BusValues& BusValues::read(std::uint32_t& value) {
    return note(sd_bus_message_read_basic(m_, 'u', &value));
}
BusValues& BusValues::read(double& value) {
    return note(sd_bus_message_read_basic(m_, 'd', &value));
}

BusValues& BusValues::read_text(std::string& cp1252) {
    const char* s = nullptr;
    note(sd_bus_message_read_basic(m_, 's', &s));
    cp1252 = s ? cp1252_from_utf8(s) : std::string();
    return *this;
}

BusValues& BusValues::read_bstr(BSTR* value) {
    const char* s = nullptr;
    note(sd_bus_message_read_basic(m_, 's', &s));
    *value = s ? bstr_from_utf8(s) : nullptr;
    return *this;
}

BusValues& BusValues::read_bytes(std::vector<std::uint8_t>& bytes) {
    const void* data = nullptr;
    std::size_t size = 0;
    note(sd_bus_message_read_array(m_, 'y', &data, &size));
    const auto* p = static_cast<const std::uint8_t*>(data);
    bytes.assign(p, p + (data ? size : 0));
    return *this;
}

BusValues& BusValues::read_path(std::string& path) {
    const char* s = nullptr;
    note(sd_bus_message_read_basic(m_, 'o', &s));
    path = s ? s : "";
    return *this;
}

BusValues& BusValues::append(std::int32_t value) {
    return note(sd_bus_message_append_basic(m_, 'i', &value));
}
BusValues& BusValues::append(std::uint32_t value) {
    return note(sd_bus_message_append_basic(m_, 'u', &value));
}
BusValues& BusValues::append(double value) {
    return note(sd_bus_message_append_basic(m_, 'd', &value));
}

BusValues& BusValues::append_text(std::string_view cp1252) {
    const std::string s = utf8_from_cp1252(cp1252);
    return note(sd_bus_message_append_basic(m_, 's', s.c_str()));
}

BusValues& BusValues::append_bstr(BSTR value) {
    // A BSTR may hold a 0 unit, which a bus string cannot: the text ends there.
    std::string s = utf8_from_bstr(value);
    s.resize(std::strlen(s.c_str()));
    return note(sd_bus_message_append_basic(m_, 's', s.c_str()));
}

BusValues& BusValues::append_bytes(std::span<const std::uint8_t> bytes) {
    static const std::uint8_t none = 0;
    return note(sd_bus_message_append_array(m_, 'y', bytes.empty() ? &none : bytes.data(), bytes.size()));
}

BusValues& BusValues::append_path(std::string_view path) {
    const std::string s(path);
    return note(sd_bus_message_append_basic(m_, 'o', s.c_str()));
}

}  // namespace platform::com
