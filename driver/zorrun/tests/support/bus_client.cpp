#include "driver/zorrun/tests/support/bus_client.h"

#include <systemd/sd-bus.h>

#include <cstdarg>
#include <cstring>

namespace zorrun_test {

namespace {

constexpr const char* service = "com.hox.Zorrun";
constexpr const char* object_path = "/com/hox/Zorrun/IZor";
constexpr const char* factory_path = "/com/hox/Zorrun";
constexpr const char* iizor = "com.hox.Zorrun.IIZor";
constexpr const char* iizor2 = "com.hox.Zorrun.IIZor2";
constexpr const char* factory = "com.hox.Zorrun.Factory";

}  // namespace

BusClient::BusClient() {
    if (sd_bus_open_user(&bus_) < 0) bus_ = nullptr;
}

BusClient::~BusClient() {
    if (bus_) sd_bus_flush_close_unref(bus_);
}

bool BusClient::zorrun_on_bus() {
    if (!bus_) return false;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int has = 0;
    const int r = sd_bus_call_method(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                     "org.freedesktop.DBus", "NameHasOwner", &error, &reply, "s", service);
    if (r >= 0) sd_bus_message_read(reply, "b", &has);
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    return r >= 0 && has;
}

// The in values follow as the signature says (strings as const char*, "ay" as a pointer and a
// size); the out values are read by the signature: "i" result, "s" text, "si" text and result.
CallResult BusClient::call(const char* interface, const char* member, const char* in_sig, const char* out_sig,
                           ...) {
    CallResult out;
    if (!bus_) {
        out.error_name = "no bus";
        return out;
    }
    const bool object_call = std::strcmp(interface, factory) != 0;
    sd_bus_message* m = nullptr;
    if (sd_bus_message_new_method_call(bus_, &m, service, object_call ? object_path : factory_path, interface,
                                       member) < 0) {
        out.error_name = "cannot build the call";
        return out;
    }
    va_list ap;
    va_start(ap, out_sig);
    int r = 0;
    if (std::strcmp(in_sig, "ay") == 0) {
        const void* data = va_arg(ap, const void*);
        const std::size_t size = va_arg(ap, std::size_t);
        r = sd_bus_message_append_array(m, 'y', data, size);
    } else if (*in_sig) {
        r = sd_bus_message_appendv(m, in_sig, ap);
    }
    va_end(ap);
    if (r < 0) {
        sd_bus_message_unref(m);
        out.error_name = "cannot append the arguments";
        return out;
    }
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    r = sd_bus_call(bus_, m, timeout_us_, &error, &reply);
    sd_bus_message_unref(m);
    if (r < 0) {
        out.error_name = error.name ? error.name : "call failed";
        out.error_message = error.message ? error.message : std::strerror(-r);
        sd_bus_error_free(&error);
        return out;
    }
    out.ok = true;
    const char* text = nullptr;
    if (std::strcmp(out_sig, "i") == 0) {
        out.ok = sd_bus_message_read(reply, "i", &out.result) >= 0;
    } else if (std::strcmp(out_sig, "s") == 0 || std::strcmp(out_sig, "o") == 0) {
        out.ok = sd_bus_message_read(reply, out_sig, &text) >= 0;
    } else if (std::strcmp(out_sig, "si") == 0) {
        out.ok = sd_bus_message_read(reply, "si", &text, &out.result) >= 0;
    }
    if (text) out.text = text;
    if (!out.ok) out.error_name = "reply of another shape";
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    return out;
}

CallResult BusClient::GetStatus() {
    return call(iizor, "GetStatus", "", "i");
}
CallResult BusClient::Initialize() {
    return call(iizor, "Initialize", "", "i");
}
CallResult BusClient::StartRun() {
    return call(iizor, "StartRun", "", "i");
}
CallResult BusClient::StopRun() {
    return call(iizor, "StopRun", "", "i");
}
CallResult BusClient::PrepareForRun(const std::string& rawname, const std::string& methname,
                                    const std::string& listname, std::int32_t row_ind,
                                    std::int32_t start_mode, const std::string& vial, double inj_volume,
                                    std::int32_t flags) {
    return call(iizor, "PrepareForRun", "sssiisdi", "i", rawname.c_str(), methname.c_str(), listname.c_str(),
                row_ind, start_mode, vial.c_str(), inj_volume, flags);
}
CallResult BusClient::Lock() {
    return call(iizor, "Lock", "", "i");
}
CallResult BusClient::Unlock() {
    return call(iizor, "Unlock", "", "i");
}
CallResult BusClient::InstrumentHasStopped(std::int32_t device_type) {
    return call(iizor, "InstrumentHasStopped", "i", "i", device_type);
}
CallResult BusClient::ValidateMethod(const std::vector<std::uint8_t>& storage) {
    return call(iizor, "ValidateMethod", "ay", "s", static_cast<const void*>(storage.data()), storage.size());
}
CallResult BusClient::ChangeOperatingMode(std::int32_t mode) {
    return call(iizor, "ChangeOperatingMode", "i", "i", mode);
}
CallResult BusClient::ReadBarCode(const std::string& vial) {
    return call(iizor, "ReadBarCode", "s", "si", vial.c_str());
}

CallResult BusClient::AtomStatus() {
    return call(iizor2, "AtomStatus", "", "s");
}
CallResult BusClient::Reset() {
    return call(iizor2, "Reset", "", "");
}
CallResult BusClient::ReloadConfiguration() {
    return call(iizor2, "ReloadConfiguration", "", "");
}
CallResult BusClient::SetTrayType(const std::string& tray, const std::string& typ) {
    return call(iizor2, "SetTrayType", "ss", "", tray.c_str(), typ.c_str());
}
CallResult BusClient::ClearStatus() {
    return call(iizor2, "ClearStatus", "", "");
}
CallResult BusClient::Uploading() {
    return call(iizor2, "Uploading", "", "i");
}
CallResult BusClient::StartPolling() {
    return call(iizor2, "StartPolling", "", "");
}
CallResult BusClient::ChangePorts(std::int32_t port) {
    return call(iizor2, "ChangePorts", "i", "", port);
}
CallResult BusClient::ChooseVials(const std::string& options, const std::string& vials) {
    return call(iizor2, "ChooseVials", "ss", "si", options.c_str(), vials.c_str());
}
CallResult BusClient::GetSyringe() {
    return call(iizor2, "GetSyringe", "", "s");
}

CallResult BusClient::CreateInstance() {
    return call(factory, "CreateInstance", "", "o");
}
CallResult BusClient::Release() {
    return call(factory, "Release", "", "");
}

}  // namespace zorrun_test
