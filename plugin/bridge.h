// The bridge to Zorrun: one IIZor2 held for the library, made by activation (Zorrun is
// started when it is not running). A call that finds Zorrun gone (disconnected, or its bus
// name without owner) drops the interface, connects again (which starts a new Zorrun) and
// repeats the call once, so a driver that died does not leave the plug-in without one until
// it is unloaded. Every routine returns the call's result; a failure has been shown by then,
// as the connection's boxes ("no interface to driver", "no connection to zor") or as an error
// box with Zorrun's reason, and ends the operation that asked. A syringe query that Zorrun
// refuses because another job runs (right after a reload) is asked again until that job ends,
// for at most a minute. Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/com/hresult.h"

namespace zorsetup {

bool connect_driver();
platform::com::HRESULT driver_set_tray_type(std::string_view tray, std::string_view type);
// The mounted syringe; "" when not connected or the call failed.
std::string driver_get_syringe();
platform::com::HRESULT driver_reset();
platform::com::HRESULT driver_reload_configuration();
// Uploading: 1 while Zorrun receives the configuration from the instrument.
platform::com::HRESULT driver_uploading(std::int32_t& uploading);
platform::com::HRESULT driver_change_ports(int port);
// Gives the interface back (library unload, the utility form's creation).
void release_driver();

}  // namespace zorsetup
