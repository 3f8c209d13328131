#include "tools/zorctl/commands.h"

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <system_error>

namespace zorctl {

namespace {

// What AtomStatus answers whenever no run is active, whatever the status code says.
constexpr const char* idle_answer = "The Zor is idle";

struct Status {
    std::int32_t code = -1;
    std::string text;
    bool operator==(const Status&) const = default;
};

// What the driver's own failure codes mean for the user.
std::string hint(std::int32_t hr) {
    switch (static_cast<std::uint32_t>(hr)) {
        case 0x80070015u:
            return " (the driver's port is not open: \"zorctl initialize\" opens it)";
        case 0x800705B4u:
            return " (the instrument did not answer)";
        default:
            return "";
    }
}

int call_failed(std::ostream& err, const char* what, const Outcome& o) {
    err << "zorctl: " << what << " failed: " << o.error << hint(o.hr) << "\n";
    return exit_call_failed;
}

// The code, and the text the driver holds for it. While no run is active the driver answers
// its idle text; the code's own text is shown then, so that a refusal reads as one.
Outcome read_status(Driver& driver, Status& status) {
    Outcome o = driver.get_status(status.code);
    if (!o.ok()) return o;
    o = driver.atom_status(status.text);
    if (!o.ok()) return o;
    if (status.text == idle_answer && status.code != 1) {
        const std::string own = standard_status_text(status.code);
        status.text = own.empty() ? "(no text while no run is active)" : own;
    }
    return o;
}

void print_status(std::ostream& out, const Status& s) {
    out << "status " << s.code << ": " << s.text << "\n";
    out.flush();
}

std::string volume_text(double v) {
    std::ostringstream s;
    s << v;
    return s.str();
}

unsigned milliseconds_left(const Clock& clock, std::chrono::steady_clock::time_point deadline, unsigned cap) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock()).count();
    if (left <= 0) return 0;
    return static_cast<unsigned>(std::min<long long>(left, cap));
}

std::chrono::steady_clock::time_point deadline_after(const Clock& clock, double seconds) {
    return clock() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                         std::chrono::duration<double>(std::max(0.0, seconds)));
}

// The document as the driver must find it: an absolute path, since the driver runs elsewhere.
bool document_path(const std::string& document, std::string& path, std::ostream& err) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(document, ec);
    if (ec || !std::filesystem::is_regular_file(absolute, ec)) {
        err << "zorctl: no method document " << document << "\n";
        return false;
    }
    path = absolute.lexically_normal().string();
    return true;
}

Outcome call_prepare(Driver& driver, const RunOptions& options, const std::string& path, std::int32_t& result,
                     std::ostream& out) {
    PrepareArguments a;
    a.method_name = path;
    a.start_mode = options.start_mode;
    a.vial = options.vial;
    a.injection_volume = options.volume;
    const Outcome o = driver.prepare_for_run(a, result);
    if (o.ok())
        out << "PrepareForRun " << path << " vial " << options.vial << " volume "
            << volume_text(options.volume) << " start mode " << options.start_mode << ": " << result << "\n";
    return o;
}

// Ctrl-C during a run: the run must not go on without anyone following it. While the driver
// still prepares it (status 3, no run active yet) a stop would be lost, so the stop waits until
// the run has begun or the preparation ended; a second Ctrl-C leaves at once.
int stop_interrupted_run(Driver& driver, const RunOptions& options, const Clock& clock, std::ostream& out,
                         std::ostream& err) {
    const auto deadline = deadline_after(clock, options.timeout_s);
    for (;;) {
        std::int32_t code = 0, stopped = 0;
        const Outcome status = driver.get_status(code);
        const Outcome active = status.ok() ? driver.instrument_has_stopped(stopped) : status;
        if (!active.ok()) {
            call_failed(err, "interrupted; reading the status", active);
            return exit_interrupted;
        }
        if (code != 3 || !stopped) break;
        const unsigned wait = milliseconds_left(clock, deadline, options.poll_ms);
        if (wait == 0 || driver.interrupts() > 1) {
            err << "zorctl: interrupted while Zorrun was still preparing the run; it was not stopped\n";
            return exit_interrupted;
        }
        driver.wait_for_news(wait);
    }
    std::int32_t result = 0;
    if (const Outcome o = driver.stop_run(result); !o.ok()) {
        err << "zorctl: interrupted, and StopRun failed: " << o.error << "\n";
        return exit_interrupted;
    }
    out << "StopRun: " << result << "\n";
    err << "zorctl: interrupted: the run was stopped (it ends through its METHOD EXIT part)\n";
    return exit_interrupted;
}

}  // namespace

Clock steady_clock() {
    return [] { return std::chrono::steady_clock::now(); };
}

std::string standard_status_text(std::int32_t code) {
    switch (code) {
        case 0:
            return "The Zor is Idle";
        case 1:
            return "The Zor is idle";
        case 3:
            return "Zor starting method";
        case 4:
            return "Waiting for start";
        case 5:
            return "Waiting for contact closure";
        case 6:
            return "Zor continuing method";
        case 9:
            return "The Zor is busy";
        case 10:
            return "The Zor is disconnected";
        default:
            return "";  // 8 has several texts, set only while a run is being prepared
    }
}

int show_status(Driver& driver, std::ostream& out, std::ostream& err) {
    Status s;
    if (const Outcome o = read_status(driver, s); !o.ok()) return call_failed(err, "GetStatus", o);
    std::int32_t stopped = 1;
    if (const Outcome o = driver.instrument_has_stopped(stopped); !o.ok())
        return call_failed(err, "InstrumentHasStopped", o);
    print_status(out, s);
    out << "run active: " << (stopped ? "no" : "yes") << "\n";
    return exit_ok;
}

int prepare(Driver& driver, const RunOptions& options, std::ostream& out, std::ostream& err) {
    std::string path;
    if (!document_path(options.document, path, err)) return exit_failed;
    std::int32_t result = 0;
    if (const Outcome o = call_prepare(driver, options, path, result, out); !o.ok())
        return call_failed(err, "PrepareForRun", o);
    Status s;
    if (const Outcome o = read_status(driver, s); !o.ok()) return call_failed(err, "GetStatus", o);
    print_status(out, s);
    if (result == 0) {
        // The driver gives its reasons with a failure; a bare 0 says only that nothing was taken.
        err << "zorctl: Zorrun did not take the run of " << path << " (result 0)\n";
        return exit_failed;
    }
    if (s.code == 8) {
        err << "zorctl: Zorrun refused the run (status 8: " << s.text << ")\n";
        return exit_failed;
    }
    return exit_ok;
}

int start(Driver& driver, std::ostream& out, std::ostream& err) {
    std::int32_t result = 0;
    if (const Outcome o = driver.start_run(result); !o.ok()) return call_failed(err, "StartRun", o);
    out << "StartRun: " << result << "\n";
    return show_status(driver, out, err);
}

int stop(Driver& driver, std::ostream& out, std::ostream& err) {
    std::int32_t result = 0;
    if (const Outcome o = driver.stop_run(result); !o.ok()) return call_failed(err, "StopRun", o);
    out << "StopRun: " << result << "\n";
    return show_status(driver, out, err);
}

int barcode(Driver& driver, const std::string& vial, std::ostream& out, std::ostream& err) {
    std::string code;
    std::int32_t state = 0;
    if (const Outcome o = driver.read_barcode(vial, code, state); !o.ok())
        return call_failed(err, "ReadBarCode", o);
    const char* meaning = state == 1   ? "read"
                          : state == 2 ? "unreadable"
                          : state == 3 ? "error reply"
                                       : "not read";
    out << vial << ": " << code << " (" << state << " " << meaning << ")\n";
    return state == 1 ? exit_ok : exit_failed;
}

int syringe(Driver& driver, std::ostream& out, std::ostream& err) {
    std::string name;
    if (const Outcome o = driver.get_syringe(name); !o.ok()) return call_failed(err, "GetSyringe", o);
    out << name << "\n";
    return exit_ok;
}

int reset(Driver& driver, std::ostream& out, std::ostream& err) {
    if (const Outcome o = driver.reset(); !o.ok()) return call_failed(err, "Reset", o);
    out << "Reset: requested\n";
    return show_status(driver, out, err);
}

int initialize(Driver& driver, std::ostream& out, std::ostream& err) {
    std::int32_t result = 0;
    if (const Outcome o = driver.initialize(result); !o.ok()) return call_failed(err, "Initialize", o);
    out << "Initialize: " << result << "\n";
    return show_status(driver, out, err);
}

int reload(Driver& driver, const WaitOptions& options, const Clock& clock, std::ostream& out,
           std::ostream& err) {
    const auto deadline = deadline_after(clock, options.timeout_s);
    const int notices_before = driver.configuration_notices();
    // The port must be open for the upload's commands to go out.
    if (const Outcome o = driver.start_polling(); !o.ok()) return call_failed(err, "StartPolling", o);
    if (const Outcome o = driver.reload_configuration(); !o.ok())
        return call_failed(err, "ReloadConfiguration", o);
    out << "ReloadConfiguration: requested\n";
    bool seen_uploading = false;
    for (;;) {
        std::int32_t uploading = 0;
        if (const Outcome o = driver.uploading(uploading); !o.ok()) return call_failed(err, "Uploading", o);
        if (uploading && !seen_uploading) out << "Uploading: 1\n";
        seen_uploading = seen_uploading || uploading != 0;
        const bool received = driver.configuration_notices() > notices_before;
        if (!uploading && received) {
            out << "Uploading: 0\nthe configuration was received\n";
            return exit_ok;
        }
        if (!uploading && seen_uploading) {
            // The upload is over, but the driver did not take the text: its status says why.
            out << "Uploading: 0\n";
            err << "zorctl: the upload ended without a configuration that the driver took";
            Status status;
            if (read_status(driver, status).ok() && status.code == 8) err << ": " << status.text;
            err << "\n";
            return exit_failed;
        }
        const unsigned wait = milliseconds_left(clock, deadline, options.poll_ms);
        if (wait == 0) {
            err << "zorctl: time-out: the configuration upload did not end within " << options.timeout_s
                << " s\n";
            return exit_timed_out;
        }
        driver.wait_for_news(wait);
    }
}

int run_method(Driver& driver, const RunOptions& options, const Clock& clock, std::ostream& out,
               std::ostream& err) {
    std::string path;
    if (!document_path(options.document, path, err)) return exit_failed;
    const auto deadline = deadline_after(clock, options.timeout_s);

    std::int32_t result = 0;
    if (const Outcome o = driver.initialize(result); !o.ok()) return call_failed(err, "Initialize", o);
    Status last;
    if (const Outcome o = read_status(driver, last); !o.ok()) return call_failed(err, "GetStatus", o);
    print_status(out, last);
    if (last.code != 1)
        err << "zorctl: Zorrun is not ready after Initialize (status " << last.code
            << "): is its \"Method Folder\" setting made?\n";

    if (driver.interrupts() > 0) {
        err << "zorctl: interrupted before the run was prepared\n";
        return exit_interrupted;
    }
    if (const Outcome o = call_prepare(driver, options, path, result, out); !o.ok())
        return call_failed(err, "PrepareForRun", o);
    if (result == 0) {
        // The driver gives its reasons with a failure; a bare 0 says only that nothing was taken.
        err << "zorctl: Zorrun did not take the run of " << path << " (result 0)\n";
        return exit_failed;
    }

    bool started = false;
    for (;;) {
        if (driver.interrupts() > 0) return stop_interrupted_run(driver, options, clock, out, err);
        Status now;
        if (const Outcome o = read_status(driver, now); !o.ok()) return call_failed(err, "GetStatus", o);
        if (!(now == last)) print_status(out, now);
        last = now;
        if (now.code == 8) {
            err << "zorctl: the run failed: status 8" << (now.text.empty() ? "" : ": " + now.text) << "\n";
            return exit_failed;
        }
        if (now.code == 4 && !started) {
            // The method waits for the data system: this is the start the host would give.
            if (const Outcome o = driver.start_run(result); !o.ok()) return call_failed(err, "StartRun", o);
            out << "StartRun: " << result << "\n";
            started = true;
            continue;
        }
        if (now.code == 1) {
            out << (started ? "the method has ended\n"
                            : "the method has ended without waiting for its start\n");
            return exit_ok;
        }
        const unsigned wait = milliseconds_left(clock, deadline, options.poll_ms);
        if (wait == 0) {
            err << "zorctl: time-out: the run did not end within " << options.timeout_s << " s (status "
                << now.code << ": " << now.text << "); stopping it\n";
            std::int32_t ignored = 0;
            driver.stop_run(ignored);
            return exit_timed_out;
        }
        driver.wait_for_news(wait);
    }
}

}  // namespace zorctl
