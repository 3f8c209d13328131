#include "plugin/bridge.h"

#include <chrono>
#include <cstdio>
#include <functional>

#include "driver/izor/izor.h"
#include "platform/com/bus.h"
#include "platform/window/window.h"
#include "utilities/message_boxes.h"

namespace zorsetup {

namespace com = platform::com;

namespace {

com::ComPtr<izor::IIZor2>& driver() {
    static com::ComPtr<izor::IIZor2> held;
    return held;
}

bool gone(com::HRESULT hr) {
    return hr == com::RPC_E_DISCONNECTED || hr == com::CO_E_SERVER_EXEC_FAILURE ||
           hr == com::RPC_E_INVALID_DATA;
}

// How long a syringe query waits for such a job (an upload at 38400 baud takes seconds), and
// how often it asks again meanwhile.
constexpr auto busy_wait_bound = std::chrono::seconds(60);
constexpr unsigned busy_retry_ms = 250;

// Why Zorrun refused the call: its own text from the bus error when the error is this call's,
// else the result code.
std::string failure_reason(const char* call, com::HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    std::string reason = "Zorrun refused " + std::string(call) + " (" + code + ")";
    const std::string error = com::last_bus_error();
    const std::string mark = std::string(call) + " failed: HRESULT " + code;
    const auto at = error.find(mark);
    if (at != std::string::npos && error.size() > at + mark.size() + 2)
        reason += error.substr(at + mark.size());
    return reason;
}

// Runs the call on the held interface; when Zorrun has gone away, connects again and repeats
// it once. A refusal ends the operation that asked, with the reason shown: the boxes of the
// connection, or Zorrun's own.
com::HRESULT call_driver(const char* name, const std::function<com::HRESULT(izor::IIZor2&)>& call) {
    if (!connect_driver()) return com::E_FAIL;
    com::HRESULT hr = call(*driver().get());
    if (gone(hr)) {
        driver().reset();
        if (!connect_driver()) return hr;
        hr = call(*driver().get());
    }
    if (com::failed(hr)) putils::show_error(failure_reason(name, hr));
    return hr;
}

}  // namespace

bool connect_driver() {
    if (driver()) return true;
    com::ComPtr<izor::IIZor> zor;
    com::HRESULT hr = com::co_create_instance(izor::CLSID_IZor, nullptr, com::CLSCTX_LOCAL_SERVER,
                                              izor::IID_IIZor, zor.put_void());
    if (com::succeeded(hr)) driver() = zor.query<izor::IIZor2>();
    if (!driver()) {
        putils::info_box("no interface to driver");
        putils::info_box("no connection to zor");
        return false;
    }
    if (com::failed(driver()->StartPolling())) putils::info_box("no connection to zor");
    return true;
}

com::HRESULT driver_set_tray_type(std::string_view tray, std::string_view type) {
    return call_driver("SetTrayType", [&](izor::IIZor2& z) {
        com::Bstr t(tray), y(type);
        return z.SetTrayType(t.get(), y.get());
    });
}

std::string driver_get_syringe() {
    std::string name;
    call_driver("GetSyringe", [&](izor::IIZor2& z) {
        const auto end = std::chrono::steady_clock::now() + busy_wait_bound;
        for (;;) {
            com::Bstr value;
            const com::HRESULT hr = z.GetSyringe(value.put());
            if (com::succeeded(hr)) name = value.text();
            if (hr != izor::ZOR_E_BUSY || std::chrono::steady_clock::now() >= end) return hr;
            // Messages go on meanwhile (the host's windows, Zorrun's broadcasts).
            platform::window::run_nested_loop_for([] { return false; }, busy_retry_ms);
        }
    });
    return name;
}

com::HRESULT driver_reset() {
    return call_driver("Reset", [](izor::IIZor2& z) { return z.Reset(); });
}

com::HRESULT driver_reload_configuration() {
    return call_driver("ReloadConfiguration", [](izor::IIZor2& z) {
        std::int32_t uploading = 0;
        com::HRESULT hr = z.Uploading(&uploading);
        if (com::failed(hr) || uploading != 0) return hr;
        return z.ReloadConfiguration();
    });
}

com::HRESULT driver_uploading(std::int32_t& uploading) {
    return call_driver("Uploading", [&](izor::IIZor2& z) { return z.Uploading(&uploading); });
}

com::HRESULT driver_change_ports(int port) {
    return call_driver("ChangePorts", [port](izor::IIZor2& z) { return z.ChangePorts(port); });
}

void release_driver() {
    driver().reset();
}

}  // namespace zorsetup
