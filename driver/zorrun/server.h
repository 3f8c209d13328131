// Zorrun as a local server: its registration in the registry store, and serving the class
// IZor on the session bus (bus name "com.hox.Zorrun", object "/com/hox/Zorrun/IZor").
#pragma once

#include <cstdint>
#include <string>

#include "platform/com/hresult.h"

namespace zorrun {

// Writes or removes the class keys (CLSID, LocalServer32 = program_path, ProgID) and the bus's
// service file for com.hox.Zorrun (service_file_path()), which names program_path: a call to the
// name, from any client, then has the bus start Zorrun. A Zorrun the bus starts gets no switch:
// it serves every client of the session until the bus ends or it is told to stop, so that
// successive short clients meet one server and its state. On failure `error` says what failed.
platform::com::HRESULT register_server(const std::string& program_path, std::string& error);
platform::com::HRESULT unregister_server(std::string& error);

// $XDG_DATA_HOME/dbus-1/services/com.hox.Zorrun.service, $XDG_DATA_HOME being ~/.local/share
// when unset or not absolute. Empty when neither it nor HOME is set.
std::string service_file_path();
// The text of that file for a program.
std::string service_file_text(const std::string& program_path);

// Joins the session bus and registers the class factory of TIZor (multiple use). S_OK, or the
// failure (no session bus, the name owned by another Zorrun).
platform::com::HRESULT start_serving();
void stop_serving();

// The absolute path of this program.
std::string own_program_path();

}  // namespace zorrun
