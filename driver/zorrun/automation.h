// The work behind the automation methods of IIZor and IIZor2, in the system's own text
// (Windows-1252). The COM object TIZor logs each call, converts its strings and turns every
// exception into a failure result; these functions only do the work and throw
// AutomationFailure (or anything else) when a call cannot give a sound answer.
//
// Every function acts on the one instrument core and the one status model: the automation
// object keeps no state of its own. Main thread only; a synchronous call (GetSyringe,
// ReadBarCode) runs a nested loop in which further calls and the port's events are served.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "driver/izor/izor.h"
#include "platform/com/hresult.h"

namespace zorrun {

using platform::com::HRESULT;

using izor::ZOR_E_BUSY;
using izor::ZOR_E_NO_ANSWER;
using izor::ZOR_E_NOT_CONNECTED;
using izor::ZOR_E_NOT_READY;

// A call that cannot do what was asked fails with its reason, the text the user would have
// been shown; the caller gets it with the failure.
struct AutomationFailure : std::runtime_error {
    // A text that names a file the client gave keeps the name's own characters: UTF-8, which
    // Windows-1252 (the other texts) cannot hold.
    enum Encoding { windows_1252_text, utf8_text };
    AutomationFailure(HRESULT code, const std::string& what, Encoding encoding = windows_1252_text)
        : std::runtime_error(what), hr(code), encoding(encoding) {}
    HRESULT hr;
    Encoding encoding;
};

// IIZor
std::int32_t get_status();
std::int32_t initialize();
std::int32_t start_run();
std::int32_t stop_run();
// `methname` is the document's path in UTF-8, the other texts Windows-1252.
std::int32_t prepare_for_run(std::string_view rawname, std::string_view methname, std::string_view listname,
                             std::int32_t row_ind, std::int32_t start_mode, std::string_view vial,
                             double inj_volume, std::int32_t flags);
std::int32_t instrument_has_stopped(std::int32_t device_type);
// "" when the storage's "Data" stream is readable, else "The ZOR Method is not readable".
std::string validate_method(std::string_view storage_bytes);
std::int32_t change_operating_mode(std::int32_t new_mode);
std::int32_t read_bar_code(std::string_view vial, std::string& bar_code);

// IIZor2
std::string atom_status();
void reset();
void reload_configuration();
void set_tray_type(std::string_view tray, std::string_view typ);
void clear_status();
std::int32_t uploading();
void start_polling();
void change_ports(std::int32_t port);
std::string get_syringe();

// How long a synchronous call waits at most, from the session's tick settings.
unsigned syringe_wait_bound_ms();
unsigned barcode_wait_bound_ms();

}  // namespace zorrun
