#include "driver/zorrun/tizor.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "driver/zorrun/automation.h"
#include "driver/zorrun/status_model.h"
#include "platform/com/bus.h"
#include "platform/com/text.h"
#include "platform/registry/registry.h"

namespace zorrun {

namespace com = platform::com;

namespace {

// The log line, then the work; anything that raises becomes a failure result.
template <class Body>
HRESULT guarded(const std::string& log_text, Body&& body) {
    log_automation_call(log_text);
    std::string why;
    bool why_in_utf8 = false;
    HRESULT hr = com::E_FAIL;
    try {
        // Without its settings no answer would be sound: the caller hears which file is at fault.
        if (!platform::registry::store_available())
            throw AutomationFailure(com::E_FAIL, platform::registry::last_store_error(),
                                    AutomationFailure::utf8_text);
        body();
        return com::S_OK;
    } catch (const AutomationFailure& failure) {
        hr = failure.hr;
        why = failure.what();
        why_in_utf8 = failure.encoding == AutomationFailure::utf8_text;
    } catch (const std::exception& e) {
        why = e.what();
    } catch (...) {
        why = "unknown exception";
    }
    // The log is Windows-1252 text: a file name there keeps "?" for what it cannot hold.
    log_automation_call(log_text + " failed: " + (why_in_utf8 ? com::cp1252_from_utf8(why) : why));
    // The caller gets the reason with the failure, as the user would have read it.
    if (why_in_utf8)
        com::set_error_text_utf8(why);
    else
        com::set_error_text(why);
    std::fprintf(stderr, "Zorrun: %s failed (%s): %s\n", log_text.c_str(), com::hresult_text(hr).c_str(),
                 why.c_str());
    return hr;
}

void need(const void* out) {
    if (!out) throw AutomationFailure(com::E_POINTER, "an out value has no place");
}

void put_text(BSTR* out, const std::string& text) {
    com::sys_free_string(*out);
    *out = com::bstr_from_text(text);
}

std::string text(BSTR s) {
    return com::text_from_bstr(s);
}

}  // namespace

// ---- IIZor --------------------------------------------------------------------------------

HRESULT TIZor::GetStatus(std::int32_t* Value) {
    const std::int32_t code = get_status();
    return guarded("GetStatus " + std::to_string(code), [&] {
        need(Value);
        *Value = code;
    });
}

HRESULT TIZor::Initialize(std::int32_t* result) {
    return guarded("Initialize", [&] {
        need(result);
        *result = initialize();
    });
}

HRESULT TIZor::StartRun(std::int32_t* result) {
    return guarded("StartRun", [&] {
        need(result);
        *result = start_run();
    });
}

HRESULT TIZor::StopRun(std::int32_t* result) {
    return guarded("StopRun", [&] {
        need(result);
        *result = stop_run();
    });
}

HRESULT TIZor::PrepareForRun(BSTR Rawname, BSTR Methname, BSTR Listname, std::int32_t RowInd,
                             std::int32_t StartMode, BSTR Vial, double InjVolume, std::int32_t Flags,
                             std::int32_t* result) {
    return guarded("PrepareForRun", [&] {
        need(result);
        // The document's name goes to the file system whole, never through Windows-1252.
        *result = prepare_for_run(text(Rawname), com::utf8_from_bstr(Methname), text(Listname), RowInd,
                                  StartMode, text(Vial), InjVolume, Flags);
    });
}

HRESULT TIZor::Lock(std::int32_t* result) {
    return guarded("Lock", [&] {
        need(result);
        *result = 1;
    });
}

HRESULT TIZor::Unlock(std::int32_t* result) {
    return guarded("Unlock", [&] {
        need(result);
        *result = 1;
    });
}

HRESULT TIZor::InstrumentHasStopped(std::int32_t DeviceType, std::int32_t* result) {
    return guarded("InstrumentHasStopped", [&] {
        need(result);
        *result = instrument_has_stopped(DeviceType);
    });
}

HRESULT TIZor::ValidateMethod(com::IUnknown* StorageUnknown, BSTR* reason) {
    return guarded("ValidateMethod", [&] {
        need(reason);
        std::vector<std::uint8_t> bytes;
        if (!StorageUnknown || com::failed(izor::compound_file_bytes_of(StorageUnknown, bytes))) {
            put_text(reason, validate_method(""));  // nothing that holds a compound file
            return;
        }
        put_text(reason, validate_method(std::string(bytes.begin(), bytes.end())));
    });
}

HRESULT TIZor::ChangeOperatingMode(std::int32_t NewMode, std::int32_t* result) {
    return guarded("ChangeOperatingMode" + std::to_string(NewMode), [&] {
        need(result);
        *result = change_operating_mode(NewMode);
    });
}

HRESULT TIZor::ReadBarCode(BSTR Vial, BSTR* BarCode, std::int32_t* result) {
    return guarded("ReadBarcode", [&] {
        need(BarCode);
        need(result);
        std::string code;
        const std::int32_t state = read_bar_code(text(Vial), code);
        put_text(BarCode, code);
        *result = state;
    });
}

// ---- IIZor2 -------------------------------------------------------------------------------

HRESULT TIZor::AtomStatus(BSTR* status) {
    return guarded("AtomStatus", [&] {
        need(status);
        put_text(status, atom_status());
    });
}

HRESULT TIZor::Reset() {
    return guarded("Reset", [] { reset(); });
}

HRESULT TIZor::ReloadConfiguration() {
    return guarded("ReloadConfiguration", [] { reload_configuration(); });
}

HRESULT TIZor::SetTrayType(BSTR tray, BSTR typ) {
    return guarded("SetTrayType", [&] { set_tray_type(text(tray), text(typ)); });
}

HRESULT TIZor::ClearStatus() {
    return guarded("ClearStatus", [] { clear_status(); });
}

HRESULT TIZor::Uploading(std::int32_t* result) {
    return guarded("Uploading", [&] {
        need(result);
        *result = uploading();
    });
}

HRESULT TIZor::StartPolling() {
    return guarded("StartPolling", [] { start_polling(); });
}

HRESULT TIZor::ChangePorts(std::int32_t port) {
    return guarded("ChangePorts", [&] { change_ports(port); });
}

HRESULT TIZor::ChooseVials(BSTR options, BSTR* vials, std::int32_t*) {
    return guarded("ChooseVials " + text(options) + (vials ? text(*vials) : std::string()), [] {
        // The vial-selection dialog belongs to the setup library; the driver has none.
        throw AutomationFailure(com::E_NOTIMPL, "ChooseVials: the driver has no vial selection");
    });
}

HRESULT TIZor::GetSyringe(BSTR* syringe) {
    return guarded("GetSyringe", [&] {
        need(syringe);
        put_text(syringe, get_syringe());
    });
}

com::ComPtr<com::IClassFactory> make_tizor_factory() {
    return com::make_class_factory<TIZor>();
}

}  // namespace zorrun
