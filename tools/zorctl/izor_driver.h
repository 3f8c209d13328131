// The Driver over the session bus: the class IZor made with co_create_instance (a local server;
// the COM layer starts the registered Zorrun when no process owns its bus name), its IIZor and
// IIZor2 proxies, and two windows of this process that hear the driver's broadcasts: one of the
// class "TZorStatusX" (status changes) and one of the class "TMethod_Editor" (a configuration was
// received). Main thread only.
#pragma once

#include <memory>
#include <string>

#include "tools/zorctl/driver.h"

namespace zorctl {

// Null with the reason in `error` when the class cannot be made. `interrupt_fd`, when not -1, is
// a signalfd of the signals that ask zorctl to stop: once it is readable, interrupted() is true
// and any wait for news ends.
std::unique_ptr<Driver> connect_driver(std::string& error, int interrupt_fd = -1);

}  // namespace zorctl
