// zorctl's commands over a Driver: each writes what it learned to `out`, its complaints to `err`,
// and returns the exit code.
//
// The whole run (run_method) follows the driver as the data system does: Initialize,
// PrepareForRun, then the status until the method waits for its start (4), StartRun, and the
// status until the method has ended (back to 1). Every change of status code or text is one line
// of `out`: "status 6: Zor continuing method". The status is read at least every poll interval
// and at once when the driver broadcasts a change.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

#include "tools/zorctl/driver.h"

namespace zorctl {

enum ExitCode : int {
    exit_ok = 0,
    exit_failed = 1,         // the driver refused the work or the run failed
    exit_usage = 2,          // a bad command line
    exit_timed_out = 3,      // the driver did not get there in time
    exit_call_failed = 4,    // a call failed, or the driver could not be reached
    exit_interrupted = 130,  // Ctrl-C or SIGTERM (a run in progress was stopped first)
};

using Clock = std::function<std::chrono::steady_clock::time_point()>;
Clock steady_clock();

// The texts the driver sets with each status code, for the codes whose text the driver does not
// report while no run is active ("" for an unknown code).
std::string standard_status_text(std::int32_t code);

struct RunOptions {
    std::string document;  // the method document (made absolute before it is handed over)
    std::string vial;      // "Tray2:5"
    double volume = 1.0;   // µl
    std::int32_t start_mode = 0;
    double timeout_s = 300;
    unsigned poll_ms = 50;
};

struct WaitOptions {
    double timeout_s = 60;
    unsigned poll_ms = 50;
};

int show_status(Driver& driver, std::ostream& out, std::ostream& err);
int prepare(Driver& driver, const RunOptions& options, std::ostream& out, std::ostream& err);
int start(Driver& driver, std::ostream& out, std::ostream& err);
int stop(Driver& driver, std::ostream& out, std::ostream& err);
int barcode(Driver& driver, const std::string& vial, std::ostream& out, std::ostream& err);
int syringe(Driver& driver, std::ostream& out, std::ostream& err);
int reset(Driver& driver, std::ostream& out, std::ostream& err);
int initialize(Driver& driver, std::ostream& out, std::ostream& err);
// StartPolling, ReloadConfiguration, then waits until the upload is over: the driver said it
// received the configuration, or Uploading was seen at 1 and then at 0.
int reload(Driver& driver, const WaitOptions& options, const Clock& clock, std::ostream& out,
           std::ostream& err);
// Interrupted (Driver::interrupted) after PrepareForRun was accepted, it calls StopRun, so the
// run ends on the instrument through its METHOD EXIT part, before it returns exit_interrupted.
int run_method(Driver& driver, const RunOptions& options, const Clock& clock, std::ostream& out,
               std::ostream& err);

}  // namespace zorctl
