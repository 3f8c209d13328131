// zorhost's own client of Zorrun, for what a host waits for between the plug-in's calls.
#pragma once

#include <chrono>

namespace zorhost {

// Waits until the job Zorrun is carrying out (a clean-up, an upload, a syringe query) is done,
// at most `bound`. Zorrun ends when its last client lets go, and a job still queued then never
// reaches the instrument: a host that asked for one holds Zorrun until it is done. True when no
// job runs any more (or the instrument cannot be reached, so none ever will); false when Zorrun
// cannot be reached or the bound passed.
bool wait_for_driver_job(std::chrono::milliseconds bound);

}  // namespace zorhost
