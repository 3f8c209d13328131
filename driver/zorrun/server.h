// Zorrun as a local server: its registration in the registry store, and serving the class
// IZor on the session bus (bus name "com.hox.Zorrun", object "/com/hox/Zorrun/IZor").
#pragma once

#include <cstdint>
#include <string>

#include "platform/com/hresult.h"

namespace zorrun {

// Writes or removes the class keys (CLSID, LocalServer32 = program_path, ProgID).
platform::com::HRESULT register_server(const std::string& program_path);
platform::com::HRESULT unregister_server();

// Joins the session bus and registers the class factory of TIZor (multiple use). S_OK, or the
// failure (no session bus, the name owned by another Zorrun).
platform::com::HRESULT start_serving();
void stop_serving();

// The absolute path of this program.
std::string own_program_path();

}  // namespace zorrun
