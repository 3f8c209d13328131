// The COM unit's state, in one place (internal).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/com/activation.h"
#include "platform/com/bus.h"
#include "platform/com/unknown.h"

namespace platform::com::detail {

class BusConnection;
struct ServedClass;

struct LoadedLibrary {
    void* handle = nullptr;
    DllGetClassObjectFn get_class_object = nullptr;
    DllCanUnloadNowFn can_unload_now = nullptr;
};

struct ClassEntry {
    CLSID clsid;
    ComPtr<IUnknown> factory;
    std::uint32_t context = 0;
    std::shared_ptr<ServedClass> served;  // set for a class served on the bus
};

struct ComState {
    // This module's counters (module_object_count and friends).
    std::atomic<long> objects{0};
    std::atomic<long> locks{0};

    // Class objects of this process, by cookie.
    std::map<std::uint32_t, ClassEntry> classes;
    std::uint32_t next_cookie = 1;

    // In-process server libraries, by path.
    std::map<std::string, LoadedLibrary> libraries;

    // The session bus connection; null when not joined.
    std::unique_ptr<BusConnection> bus;
    std::function<void()> last_reference_handler;
    std::function<void()> bus_lost_handler;
    unsigned call_timeout_ms = 60000;
    unsigned activation_timeout_ms = 15000;
    std::string last_error;
    // The text of the failure the served call now running is about to return (set_error_text),
    // in UTF-8.
    std::string error_text;

    // Interface tables (configuration, not state: reset_com_state_for_tests keeps them).
    std::vector<BusInterface> interfaces;

    ~ComState();
};

ComState& com_state();

}  // namespace platform::com::detail
