// What zorctl needs of the run-time driver, as one small interface: the calls of IIZor and
// IIZor2 that its commands make, each giving an Outcome, and a way to wait for the driver's news.
//
// The real one (izor_driver.h) goes over the session bus through the driver's proxies; the unit
// tests put a scripted one in its place, so the run logic is tested without any process.
#pragma once

#include <cstdint>
#include <string>

namespace zorctl {

// How a call went: the HRESULT, and for a failure the text to show ("com.hox.Zorrun.Error.Failed:
// PrepareForRun failed: HRESULT 0x80004005", or what the COM layer knows).
struct Outcome {
    std::int32_t hr = 0;
    std::string error;
    bool ok() const { return hr >= 0; }
};

struct PrepareArguments {
    std::string raw_name;     // the raw-data file; the driver does not use it
    std::string method_name;  // the method document, an absolute path
    std::string list_name;    // the sample list; not used
    std::int32_t row_index = 0;
    std::int32_t start_mode = 0;
    std::string vial;
    double injection_volume = 0;
    std::int32_t flags = 0;
};

class Driver {
  public:
    virtual ~Driver() = default;

    // IIZor
    virtual Outcome get_status(std::int32_t& code) = 0;
    virtual Outcome initialize(std::int32_t& result) = 0;
    virtual Outcome start_run(std::int32_t& result) = 0;
    virtual Outcome stop_run(std::int32_t& result) = 0;
    virtual Outcome prepare_for_run(const PrepareArguments& arguments, std::int32_t& result) = 0;
    virtual Outcome instrument_has_stopped(std::int32_t& result) = 0;
    virtual Outcome read_barcode(const std::string& vial, std::string& code, std::int32_t& result) = 0;
    // IIZor2
    virtual Outcome atom_status(std::string& text) = 0;
    virtual Outcome reset() = 0;
    virtual Outcome reload_configuration() = 0;
    virtual Outcome uploading(std::int32_t& result) = 0;
    virtual Outcome start_polling() = 0;
    virtual Outcome get_syringe(std::string& syringe) = 0;

    // Lets the driver's news in for at most `ms` milliseconds: returns as soon as one of its
    // broadcasts for our instance number has arrived (message 1425 to "TZorStatusX": the status
    // changed; to "TMethod_Editor": a configuration was received), true then.
    virtual bool wait_for_news(unsigned ms) = 0;
    // How many times the driver has said that it received a configuration (message 1425 to
    // "TMethod_Editor") since this driver was made.
    virtual int configuration_notices() const = 0;
    // How many times the user asked zorctl to stop (Ctrl-C, SIGTERM); each request also ends a
    // wait_for_news at once.
    virtual int interrupts() const { return 0; }
};

}  // namespace zorctl
