#include "tools/zorctl/izor_driver.h"

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include "driver/izor/izor.h"
#include "platform/com/com.h"
#include "platform/window/window.h"

namespace zorctl {

namespace {

namespace com = platform::com;
namespace window = platform::window;

using izor::CLSID_IZor;
using izor::IIZor;
using izor::IIZor2;

// Window message 1425: the driver's broadcast, wParam its instance number.
constexpr std::uint32_t status_message = window::WM_USER + 401;
constexpr window::WParam instance_number = 1;

// How a call went, with the bus's own words for a failure.
Outcome outcome(com::HRESULT hr) {
    Outcome o;
    o.hr = hr;
    if (com::failed(hr)) {
        o.error = com::last_bus_error();
        if (o.error.empty()) o.error = "HRESULT " + com::hresult_text(hr);
    }
    return o;
}

std::string text_of(const com::Bstr& b) {
    return com::utf8_from_bstr(b.get());
}
com::Bstr bstr_of(const std::string& utf8) {
    return com::Bstr::adopt(com::bstr_from_utf8(utf8));
}

std::string creation_failure(com::HRESULT hr) {
    const std::string code = " (HRESULT " + com::hresult_text(hr) + ")";
    if (hr == com::REGDB_E_CLASSNOTREG)
        return "the class IZor is not registered in this settings store (run \"Zorrun -RegServer\" with the "
               "same "
               "ZOR_REGISTRY)" +
               code;
    if (hr == com::CO_E_SERVER_EXEC_FAILURE)
        return "Zorrun could not be started, or did not take its bus name com.hox.Zorrun in time" + code;
    if (hr == com::RPC_E_DISCONNECTED) return "no session bus (is DBUS_SESSION_BUS_ADDRESS set?)" + code;
    const std::string bus = com::last_bus_error();
    return (bus.empty() ? std::string("the class IZor could not be made") : bus) + code;
}

class IzorDriver final : public Driver {
  public:
    IzorDriver(com::ComPtr<IIZor> iizor, com::ComPtr<IIZor2> iizor2, int interrupt_fd)
        : iizor_(std::move(iizor)), iizor2_(std::move(iizor2)) {
        if (interrupt_fd >= 0) {
            interrupt_watch_ = window::add_fd_watch(interrupt_fd, POLLIN, [this, interrupt_fd](short) {
                signalfd_siginfo info;
                while (::read(interrupt_fd, &info, sizeof info) == sizeof info) {
                }
                ++interrupts_;
            });
        }
        // The driver's broadcasts reach windows of these classes in every process on the bus.
        status_window_ = window::create_window(
            "TZorStatusX", 0, [this](window::Handle, std::uint32_t m, window::WParam w, window::LParam) {
                if (m == status_message && w == instance_number) news_ = true;
                return window::Result{0};
            });
        editor_window_ = window::create_window(
            "TMethod_Editor", 0, [this](window::Handle, std::uint32_t m, window::WParam w, window::LParam) {
                if (m == status_message && w == instance_number) {
                    ++configuration_notices_;
                    news_ = true;
                }
                return window::Result{0};
            });
    }
    ~IzorDriver() override {
        if (interrupt_watch_) window::remove_fd_watch(interrupt_watch_);
        window::destroy_window(status_window_);
        window::destroy_window(editor_window_);
    }

    Outcome get_status(std::int32_t& code) override { return outcome(iizor_->GetStatus(&code)); }
    Outcome initialize(std::int32_t& result) override { return outcome(iizor_->Initialize(&result)); }
    Outcome start_run(std::int32_t& result) override { return outcome(iizor_->StartRun(&result)); }
    Outcome stop_run(std::int32_t& result) override { return outcome(iizor_->StopRun(&result)); }
    Outcome prepare_for_run(const PrepareArguments& a, std::int32_t& result) override {
        const com::Bstr raw = bstr_of(a.raw_name), method = bstr_of(a.method_name),
                        list = bstr_of(a.list_name), vial = bstr_of(a.vial);
        return outcome(iizor_->PrepareForRun(raw.get(), method.get(), list.get(), a.row_index, a.start_mode,
                                             vial.get(), a.injection_volume, a.flags, &result));
    }
    Outcome instrument_has_stopped(std::int32_t& result) override {
        return outcome(iizor_->InstrumentHasStopped(0, &result));
    }
    Outcome read_barcode(const std::string& vial, std::string& code, std::int32_t& result) override {
        const com::Bstr v = bstr_of(vial);
        com::Bstr out;
        const Outcome o = outcome(iizor_->ReadBarCode(v.get(), out.put(), &result));
        code = text_of(out);
        return o;
    }
    Outcome atom_status(std::string& text) override {
        com::Bstr out;
        const Outcome o = outcome(iizor2_->AtomStatus(out.put()));
        text = text_of(out);
        return o;
    }
    Outcome reset() override { return outcome(iizor2_->Reset()); }
    Outcome reload_configuration() override { return outcome(iizor2_->ReloadConfiguration()); }
    Outcome uploading(std::int32_t& result) override { return outcome(iizor2_->Uploading(&result)); }
    Outcome start_polling() override { return outcome(iizor2_->StartPolling()); }
    Outcome get_syringe(std::string& syringe) override {
        com::Bstr out;
        const Outcome o = outcome(iizor2_->GetSyringe(out.put()));
        syringe = text_of(out);
        return o;
    }

    bool wait_for_news(unsigned ms) override {
        news_ = false;
        const int interrupts_before = interrupts_;
        window::run_nested_loop_for(
            [this, interrupts_before] { return news_ || interrupts_ != interrupts_before; }, ms);
        const bool arrived = news_;
        news_ = false;
        return arrived;
    }
    int configuration_notices() const override { return configuration_notices_; }
    int interrupts() const override { return interrupts_; }

  private:
    com::ComPtr<IIZor> iizor_;
    com::ComPtr<IIZor2> iizor2_;
    window::Handle status_window_ = 0;
    window::Handle editor_window_ = 0;
    bool news_ = false;
    int interrupts_ = 0;
    window::WatchId interrupt_watch_ = 0;
    int configuration_notices_ = 0;
};

}  // namespace

std::unique_ptr<Driver> connect_driver(std::string& error, int interrupt_fd) {
    izor::register_interfaces();
    // zorctl's calls are short, and one command builds on the state the one before left (the port
    // opened, the run prepared). When the bus can start Zorrun (its service file, written by
    // "Zorrun -RegServer"), the bus starts it: that server stays for the session. Otherwise the
    // COM layer starts the registered program with "-Embedding", which ends with this call.
    if (com::succeeded(com::join_session_bus()) && !com::bus_name_has_owner(izor::bus_name)) {
        const com::HRESULT started = com::start_bus_service(izor::bus_name);
        if (com::failed(started) && started != com::REGDB_E_CLASSNOTREG) {
            error = "the bus could not start Zorrun: " + com::last_bus_error() + " (HRESULT " +
                    com::hresult_text(started) + ")";
            return nullptr;
        }
    }
    com::ComPtr<IIZor> iizor;
    const com::HRESULT hr =
        com::co_create_instance(CLSID_IZor, nullptr, com::CLSCTX_LOCAL_SERVER, IIZor::iid, iizor.put_void());
    if (com::failed(hr)) {
        error = creation_failure(hr);
        return nullptr;
    }
    com::ComPtr<IIZor2> iizor2 = iizor.query<IIZor2>();
    if (!iizor2) {
        error = "the object answers IIZor but not IIZor2";
        return nullptr;
    }
    return std::make_unique<IzorDriver>(std::move(iizor), std::move(iizor2), interrupt_fd);
}

}  // namespace zorctl
