// A run client on the session bus, written against the bus contract itself (sd-bus, none of
// the COM layer's proxies), so that a mistake shared by both sides of the COM layer cannot
// hide: object /com/hox/Zorrun/IZor, interfaces com.hox.Zorrun.IIZor and .IIZor2, the factory
// /com/hox/Zorrun (com.hox.Zorrun.Factory). Calls block the calling thread, each for at most
// its time-out. Strings are plain ASCII in these tests (the bus carries UTF-8).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct sd_bus;

namespace zorrun_test {

struct CallResult {
    bool ok = false;
    std::string error_name;     // "com.hox.Zorrun.Error.Failed", "org.freedesktop.DBus.Error.NoReply"...
    std::string error_message;  // "GetSyringe failed: HRESULT 0x800705B4"
    std::int32_t result = 0;    // the [out, retval] long, or the only integer out value
    std::string text;           // the string out value
};

class BusClient {
  public:
    BusClient();  // a connection of its own to the session bus
    ~BusClient();
    BusClient(const BusClient&) = delete;
    BusClient& operator=(const BusClient&) = delete;

    bool connected() const { return bus_ != nullptr; }
    // Whether com.hox.Zorrun has an owner now.
    bool zorrun_on_bus();
    void set_timeout_ms(unsigned ms) { timeout_us_ = std::uint64_t(ms) * 1000; }

    // IIZor
    CallResult GetStatus();
    CallResult Initialize();
    CallResult StartRun();
    CallResult StopRun();
    CallResult PrepareForRun(const std::string& rawname, const std::string& methname,
                             const std::string& listname, std::int32_t row_ind, std::int32_t start_mode,
                             const std::string& vial, double inj_volume, std::int32_t flags);
    CallResult Lock();
    CallResult Unlock();
    CallResult InstrumentHasStopped(std::int32_t device_type);
    CallResult ValidateMethod(const std::vector<std::uint8_t>& storage);
    CallResult ChangeOperatingMode(std::int32_t mode);
    CallResult ReadBarCode(const std::string& vial);  // text: the code, result: the state
    // IIZor2
    CallResult AtomStatus();
    CallResult Reset();
    CallResult ReloadConfiguration();
    CallResult SetTrayType(const std::string& tray, const std::string& typ);
    CallResult ClearStatus();
    CallResult Uploading();
    CallResult StartPolling();
    CallResult ChangePorts(std::int32_t port);
    CallResult ChooseVials(const std::string& options, const std::string& vials);
    CallResult GetSyringe();
    // Factory
    CallResult CreateInstance();  // text: the object path
    CallResult Release();

  private:
    CallResult call(const char* interface, const char* member, const char* in_sig, const char* out_sig, ...);
    sd_bus* bus_ = nullptr;
    std::uint64_t timeout_us_ = 60'000'000;
};

inline constexpr const char* failed_error = "com.hox.Zorrun.Error.Failed";

}  // namespace zorrun_test
