// Serving class objects on the bus: the factory object, the object's interfaces built from
// their tables, references per connection, and the last-reference notice.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/com/bus.h"
#include "platform/com/bus_connection.h"
#include "platform/com/com_state.h"
#include "platform/com/text.h"

namespace platform::com {

using detail::com_state;

namespace detail {

struct ServedInterface : std::enable_shared_from_this<ServedInterface> {
    std::weak_ptr<ServedClass> owner;
    BusInterface table;
    std::string dbus_name;
    std::vector<sd_bus_vtable> vtable;
    std::vector<std::string> argument_names;  // the vtable points into these
    ComPtr<IUnknown> iface;
    sd_bus_slot* slot = nullptr;

    void dispatch(sd_bus_message* call);
};

struct ServedClass : std::enable_shared_from_this<ServedClass> {
    LocalRegistration where;
    ComPtr<IClassFactory> factory;
    ComPtr<IUnknown> instance;
    std::string factory_path;
    std::string object_path;
    std::string factory_interface;
    std::string error_name;
    std::vector<sd_bus_vtable> factory_vtable;
    sd_bus_slot* factory_slot = nullptr;
    std::vector<std::shared_ptr<ServedInterface>> interfaces;
    std::map<std::string, long> references;  // by the client's unique name
    bool owns_name = false;
    std::uint64_t bus_serial = 0;

    void dispatch_factory(sd_bus_message* call);
};

namespace {

// The names of a method's arguments as the bus library wants them: each name ended by a NUL,
// the in names first, then the out names.
std::string nul_separated_names(const BusMethod& m) {
    std::string names;
    for (const char* list : {m.in_names, m.out_names}) {
        if (!list) continue;
        std::string_view rest = list;
        while (!rest.empty()) {
            const auto blank = rest.find(' ');
            const std::string_view name = rest.substr(0, blank);
            if (!name.empty()) names.append(name).push_back('\0');
            rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
        }
    }
    return names;
}

void reply_failure(sd_bus_message* call, const std::string& error_name, const char* member, HRESULT hr,
                   std::string_view text = {}) {
    std::string message = std::string(member ? member : "call") + " failed: HRESULT " + hresult_text(hr);
    if (!text.empty()) message += ": " + std::string(text);
    sd_bus_reply_method_errorf(call, error_name.c_str(), "%s", message.c_str());
}

void notify_last_reference() {
    // A copy: the handler may replace itself.
    const std::function<void()> handler = com_state().last_reference_handler;
    if (handler) handler();
}

// The bus library's handlers only queue the call; it runs after processing (see bus.h).
int on_interface_call(sd_bus_message* m, void* userdata, sd_bus_error*) {
    BusConnection* c = current_connection();
    if (!c) return 0;
    std::weak_ptr<ServedInterface> weak = static_cast<ServedInterface*>(userdata)->weak_from_this();
    sd_bus_message_ref(m);
    c->defer([weak, m] {
        if (auto served = weak.lock()) served->dispatch(m);
        sd_bus_message_unref(m);
    });
    return 1;
}

int on_factory_call(sd_bus_message* m, void* userdata, sd_bus_error*) {
    BusConnection* c = current_connection();
    if (!c) return 0;
    std::weak_ptr<ServedClass> weak = static_cast<ServedClass*>(userdata)->weak_from_this();
    sd_bus_message_ref(m);
    c->defer([weak, m] {
        if (auto served = weak.lock()) served->dispatch_factory(m);
        sd_bus_message_unref(m);
    });
    return 1;
}

int on_owner_changed(sd_bus_message* m, void*, sd_bus_error*) {
    const char* name = nullptr;
    const char* old_owner = nullptr;
    const char* new_owner = nullptr;
    if (sd_bus_message_read(m, "sss", &name, &old_owner, &new_owner) < 0) return 0;
    if (name && name[0] == ':' && (!new_owner || !*new_owner)) {
        if (BusConnection* c = current_connection()) {
            std::string gone = name;
            c->defer([gone] { on_name_vanished(gone); });
        }
    }
    return 0;
}

std::vector<ServedClass*> served_classes() {
    std::vector<ServedClass*> out;
    for (auto& [cookie, entry] : com_state().classes)
        if (entry.served) out.push_back(entry.served.get());
    return out;
}

}  // namespace

void ServedInterface::dispatch(sd_bus_message* call) {
    const char* member = sd_bus_message_get_member(call);
    auto cls = owner.lock();
    const std::string error_name = cls ? cls->error_name : std::string("com.hox.Zor.Error.Failed");
    const auto& methods = table.methods;
    const auto found = std::find_if(methods.begin(), methods.end(), [&](const BusMethod& m) {
        return member && std::string_view(m.member) == member;
    });
    if (found == methods.end()) {
        reply_failure(call, error_name, member, E_NOTIMPL);
        return;
    }
    sd_bus_message* reply = nullptr;
    if (sd_bus_message_new_method_return(call, &reply) < 0) return;
    BusValues in(call);
    BusValues out(reply);
    HRESULT hr;
    com_state().error_text.clear();
    try {
        hr = found->serve(iface.get(), in, out);
    } catch (...) {
        hr = E_FAIL;  // the object should have caught it; the client still gets an answer
    }
    if (succeeded(hr) && !in.ok()) hr = DISP_E_TYPEMISMATCH;
    if (succeeded(hr) && !out.ok()) hr = RPC_E_INVALID_DATA;
    if (failed(hr)) {
        reply_failure(call, error_name, member, hr, com_state().error_text);
    } else if (sd_bus_send(nullptr, reply, nullptr) < 0) {
        // The caller left meanwhile; nobody to tell.
    }
    sd_bus_message_unref(reply);
    if (BusConnection* c = current_connection()) c->update_io();
}

void ServedClass::dispatch_factory(sd_bus_message* call) {
    const std::string_view member = sd_bus_message_get_member(call) ? sd_bus_message_get_member(call) : "";
    const char* sender_text = sd_bus_message_get_sender(call);
    const std::string sender = sender_text ? sender_text : "";
    if (member == "CreateInstance") {
        if (!instance) {
            const HRESULT hr = factory->CreateInstance(nullptr, IUnknown::iid, instance.put_void());
            if (failed(hr)) {
                reply_failure(call, error_name, "CreateInstance", hr);
                return;
            }
        }
        ++references[sender];
        sd_bus_reply_method_return(call, "o", object_path.c_str());
    } else if (member == "Release") {
        auto it = references.find(sender);
        if (it == references.end()) {
            reply_failure(call, error_name, "Release", E_UNEXPECTED);
            return;
        }
        if (--it->second <= 0) references.erase(it);
        sd_bus_reply_method_return(call, "");
        if (BusConnection* c = current_connection()) c->update_io();
        if (bus_reference_count() == 0) notify_last_reference();
        return;
    } else {
        reply_failure(call, error_name, std::string(member).c_str(), E_NOTIMPL);
    }
    if (BusConnection* c = current_connection()) c->update_io();
}

void on_name_vanished(const std::string& unique_name) {
    bool dropped = false;
    for (ServedClass* served : served_classes())
        dropped = served->references.erase(unique_name) > 0 || dropped;
    if (dropped && bus_reference_count() == 0) notify_last_reference();
}

void stop_serving(const std::shared_ptr<ServedClass>& served) {
    BusConnection* c = current_connection();
    const bool same_bus = c && c->serial() == served->bus_serial;
    if (served->owns_name && same_bus) sd_bus_release_name(c->bus(), served->where.bus_name.c_str());
    served->owns_name = false;
    for (auto& si : served->interfaces)
        if (si->slot) si->slot = sd_bus_slot_unref(si->slot);
    served->interfaces.clear();
    if (served->factory_slot) served->factory_slot = sd_bus_slot_unref(served->factory_slot);
    served->references.clear();
    served->instance.reset();
    served->factory.reset();
    if (same_bus) c->update_io();
}

std::shared_ptr<ServedClass> serve_class(const LocalRegistration& where, IClassFactory* factory,
                                         HRESULT& hr) {
    BusConnection* c = connection(&hr);
    if (!c) return nullptr;
    for (ServedClass* other : served_classes()) {
        if (other->where.bus_name == where.bus_name) {
            hr = E_ALREADY_EXISTS;
            return nullptr;
        }
    }
    auto served = std::make_shared<ServedClass>();
    served->where = where;
    served->factory = ComPtr<IClassFactory>::share(factory);
    served->factory_path = bus_name_to_path(where.bus_name);
    served->object_path = served->factory_path + "/" + where.object_name;
    served->factory_interface = where.bus_name + ".Factory";
    served->error_name = where.bus_name + ".Error.Failed";
    served->bus_serial = c->serial();

    // One object serves every client, so it is made now and the path answers at once.
    hr = factory->CreateInstance(nullptr, IUnknown::iid, served->instance.put_void());
    if (failed(hr)) return nullptr;

    const auto fail = [&](int r) {
        hr = (r == -EEXIST) ? E_ALREADY_EXISTS : E_FAIL;
        note_bus_error("cannot serve the class", std::strerror(-r));
        stop_serving(served);
        return nullptr;
    };

    for (const BusInterface& table : com_state().interfaces) {
        // One table per iid: the one in effect.
        if (find_bus_interface(table.iid) != &table) continue;
        ComPtr<IUnknown> iface;
        if (failed(served->instance->QueryInterface(table.iid, iface.put_void()))) continue;
        auto si = std::make_shared<ServedInterface>();
        si->owner = served;
        si->table = table;
        si->dbus_name = where.bus_name + "." + table.name;
        si->iface = iface;
        si->vtable.push_back(SD_BUS_VTABLE_START(0));
        si->argument_names.reserve(table.methods.size());
        for (const BusMethod& m : table.methods) {
            sd_bus_vtable entry = SD_BUS_METHOD(m.member, m.in_signature, m.out_signature, on_interface_call,
                                                SD_BUS_VTABLE_UNPRIVILEGED);
            si->argument_names.push_back(nul_separated_names(m));
            if (!si->argument_names.back().empty()) entry.x.method.names = si->argument_names.back().c_str();
            si->vtable.push_back(entry);
        }
        si->vtable.push_back(SD_BUS_VTABLE_END);
        const int r = sd_bus_add_object_vtable(c->bus(), &si->slot, served->object_path.c_str(),
                                               si->dbus_name.c_str(), si->vtable.data(), si.get());
        if (r < 0) return fail(r);
        served->interfaces.push_back(si);
    }

    served->factory_vtable = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD("CreateInstance", "", "o", on_factory_call, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD("Release", "", "", on_factory_call, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_VTABLE_END,
    };
    int r = sd_bus_add_object_vtable(c->bus(), &served->factory_slot, served->factory_path.c_str(),
                                     served->factory_interface.c_str(), served->factory_vtable.data(),
                                     served.get());
    if (r < 0) return fail(r);

    if (!c->name_watch_installed) {
        sd_bus_slot* slot = nullptr;
        r = sd_bus_match_signal(c->bus(), &slot, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                "org.freedesktop.DBus", "NameOwnerChanged", on_owner_changed, nullptr);
        if (r < 0) return fail(r);
        c->keep_slot(slot);
        c->name_watch_installed = true;
    }

    // Last, so that no call arrives before the objects are there.
    r = sd_bus_request_name(c->bus(), where.bus_name.c_str(), 0);
    if (r == -EEXIST) {
        // The bus's own word for it ("File exists") tells a person nothing.
        hr = E_ALREADY_EXISTS;
        const std::string why =
            "the bus name " + where.bus_name +
            " is owned by another process on this bus (a server of this class already runs)";
        note_bus_error("cannot serve the class", why.c_str());
        stop_serving(served);
        return nullptr;
    }
    if (r < 0 && r != -EALREADY) return fail(r);
    served->owns_name = true;
    c->update_io();
    hr = S_OK;
    return served;
}

}  // namespace detail

void set_error_text(std::string_view cp1252) {
    com_state().error_text = utf8_from_cp1252(cp1252);
}
void set_error_text_utf8(std::string_view utf8) {
    com_state().error_text = std::string(utf8);
}

long bus_reference_count() {
    long total = 0;
    for (auto& [cookie, entry] : com_state().classes)
        if (entry.served)
            for (const auto& [name, count] : entry.served->references) total += count;
    return total;
}

void set_last_reference_handler(std::function<void()> handler) {
    com_state().last_reference_handler = std::move(handler);
}
void set_bus_lost_handler(std::function<void()> handler) {
    com_state().bus_lost_handler = std::move(handler);
}

namespace {
bool same_table(const BusInterface& a, const BusInterface& b) {
    return a.iid == b.iid && a.methods.data() == b.methods.data() && a.methods.size() == b.methods.size() &&
           a.make_proxy == b.make_proxy;
}
}  // namespace

void register_bus_interface(const BusInterface& interface) {
    auto& tables = com_state().interfaces;
    for (const BusInterface& t : tables)
        if (same_table(t, interface)) return;
    tables.push_back(interface);
}

void unregister_bus_interface(const BusInterface& interface) {
    std::erase_if(com_state().interfaces, [&](const BusInterface& t) { return same_table(t, interface); });
}

const BusInterface* find_bus_interface(const IID& iid) {
    for (const BusInterface& t : com_state().interfaces)
        if (t.iid == iid) return &t;
    return nullptr;
}

void leave_session_bus() {
    auto& state = com_state();
    for (auto it = state.classes.begin(); it != state.classes.end();) {
        if (it->second.served) {
            auto served = it->second.served;
            it = state.classes.erase(it);
            detail::stop_serving(served);
        } else {
            ++it;
        }
    }
    if (state.bus) {
        state.bus->detach_from_loop();
        state.bus.reset();
    }
}

void reset_com_state_for_tests() {
    leave_session_bus();
    auto& state = com_state();
    state.classes.clear();
    co_free_unused_libraries();
    state.last_reference_handler = {};
    state.bus_lost_handler = {};
    state.call_timeout_ms = 60000;
    state.activation_timeout_ms = 15000;
    state.last_error.clear();
}

}  // namespace platform::com
