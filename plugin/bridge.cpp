#include "plugin/bridge.h"

#include <functional>

#include "driver/izor/izor.h"
#include "utilities/message_boxes.h"

namespace zorsetup {

namespace com = platform::com;

namespace {

com::ComPtr<izor::IIZor2>& driver() {
    static com::ComPtr<izor::IIZor2> held;
    return held;
}

bool gone(com::HRESULT hr) {
    return hr == com::RPC_E_DISCONNECTED || hr == com::CO_E_SERVER_EXEC_FAILURE || hr == com::RPC_E_INVALID_DATA;
}

// Runs the call on the held interface; when Zorrun has gone away, connects again and repeats
// it once.
com::HRESULT call_driver(const std::function<com::HRESULT(izor::IIZor2&)>& call) {
    if (!connect_driver()) return com::E_FAIL;
    com::HRESULT hr = call(*driver().get());
    if (!gone(hr)) return hr;
    driver().reset();
    if (!connect_driver()) return hr;
    return call(*driver().get());
}

}  // namespace

bool connect_driver() {
    if (driver()) return true;
    com::ComPtr<izor::IIZor> zor;
    com::HRESULT hr =
        com::co_create_instance(izor::CLSID_IZor, nullptr, com::CLSCTX_LOCAL_SERVER, izor::IID_IIZor, zor.put_void());
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
    return call_driver([&](izor::IIZor2& z) {
        com::Bstr t(tray), y(type);
        return z.SetTrayType(t.get(), y.get());
    });
}

std::string driver_get_syringe() {
    std::string name;
    call_driver([&](izor::IIZor2& z) {
        com::Bstr value;
        const com::HRESULT hr = z.GetSyringe(value.put());
        if (com::succeeded(hr)) name = value.text();
        return hr;
    });
    return name;
}

com::HRESULT driver_reset() {
    return call_driver([](izor::IIZor2& z) { return z.Reset(); });
}

com::HRESULT driver_reload_configuration() {
    return call_driver([](izor::IIZor2& z) {
        std::int32_t uploading = 0;
        com::HRESULT hr = z.Uploading(&uploading);
        if (com::failed(hr) || uploading != 0) return hr;
        return z.ReloadConfiguration();
    });
}

com::HRESULT driver_change_ports(int port) {
    return call_driver([port](izor::IIZor2& z) { return z.ChangePorts(port); });
}

void release_driver() { driver().reset(); }
bool driver_held() { return static_cast<bool>(driver()); }

}  // namespace zorsetup
