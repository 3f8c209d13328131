#include "tools/zorsim/options.h"

#include <cstdlib>

#include "tools/zorsim/text_rules.h"

namespace zorsim {
namespace {

bool parse_rate(const std::string& text, double& rate) {
    char* end = nullptr;
    rate = std::strtod(text.c_str(), &end);
    return !text.empty() && end != nullptr && *end == 0 && rate >= 0 && rate <= 1;
}

bool parse_count(const std::string& text, long& value) {
    if (!is_integer_text(text) || text[0] == '-' || text.size() > 9) return false;
    value = std::atol(text.c_str());
    return true;
}

bool split_pair(const std::string& text, char separator, std::string& left, std::string& right) {
    const std::size_t at = text.find(separator);
    if (at == std::string::npos) return false;
    left = text.substr(0, at);
    right = text.substr(at + 1);
    return !left.empty();
}

// TRAY:POS
bool parse_vial(const std::string& text, std::string& tray, int& position) {
    std::string pos;
    long value = 0;
    if (!split_pair(text, ':', tray, pos) || !parse_count(pos, value) || value < 1) return false;
    position = static_cast<int>(value);
    return true;
}

}  // namespace

std::string usage() {
    return "usage: zorsim [options]\n"
           "  --config FILE          configuration text to serve (default: the built-in sample)\n"
           "  --link FILE            make FILE a symbolic link to the terminal\n"
           "  --control PATH         control socket (or an existing FIFO) for run-time commands\n"
           "  --transcript FILE      every frame received and sent, one line each\n"
           "  --executed FILE        the atom commands carried out, written at the end and on \"dump\"\n"
           "  --downloads FILE       the object lines taken by DLD_OBJ, written likewise\n"
           "  --syringe NAME         the mounted syringe (default: the first SYRINGE object)\n"
           "  --fw-version TEXT      the GET_FW_VERSION answer (default ZR1.0.0150)\n"
           "  --bare-reply QUERY     answer GET_CONFIG, GET_FW_VERSION, GET_SYR or GET_SPL_ID with a\n"
           "                         bare \"|\", no data line (repeatable)\n"
           "  --atom-ms NAME=MS      how long an atom runs (repeatable)\n"
           "  --default-atom-ms MS   how long other atoms run (default 1000)\n"
           "  --error-atom NAME[=CODE]  the atom fails with \"@CODE\" (default code 17; repeatable)\n"
           "  --barcode TRAY:POS=CODE   the bar code of a vial (others read TRAY-NNN; repeatable)\n"
           "  --unreadable TRAY:POS  the vial's bar code cannot be read (repeatable)\n"
           "  --barcode-error TRAY:POS  unreadable, and the read then ends with @ (repeatable)\n"
           "  --manual-sync          WAIT_SYNC_SIG waits for the control command \"sync\"\n"
           "  --no-validate          take atom commands without checking their values\n"
           "  --baud RATE            the rate the instrument starts at: 9600 (default) or 38400\n"
           "  --pace                 send and hear at the current rate, 10 bit times per byte\n"
           "  --strict-baud          ignore frames while the terminal's rate differs from ours\n"
           "  --seed N               seed of the fault generator (default 1)\n"
           "  --drop RATE            share of replies not sent (0..1)\n"
           "  --garble RATE          share of replies sent with a bad length, checksum or byte\n"
           "  --junk RATE            share of replies with noise before their STX\n"
           "  --late RATE            share of replies held until the host resends, then sent with\n"
           "                         the resend's reply\n"
           "  --late-any             late replies also to resends and SET_BAUD; one the host did\n"
           "                         not wait for goes out just before the next frame's reply\n"
           "  --xoff-during-atom     send XOFF while each atom runs, XON later\n"
           "  --xoff-hold-ms MS      how long that XOFF holds the host (default 1500)\n"
           "  --silent-after N       answer N frames, then nothing (until \"silent off\")\n"
           "  --verbose              also log every frame to standard error\n"
           "  --check-config FILE    check a configuration text, report its problems, exit\n"
           "  --tell PATH COMMAND... send one command to a running zorsim, print the answer\n"
           "  --help\n";
}

std::string parse_options(const std::vector<std::string>& args, Options& o) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) -> bool {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        std::string v;
        auto missing = [&] { return a + " needs a value"; };
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--tell") {
            if (!value(o.tell_path) || i + 1 >= args.size()) return "--tell needs a path and a command";
            for (++i; i < args.size(); ++i) o.tell_line += (o.tell_line.empty() ? "" : " ") + args[i];
        } else if (a == "--pace") {
            o.pace = true;
        } else if (a == "--strict-baud") {
            o.strict_baud = true;
        } else if (a == "--xoff-during-atom") {
            o.xoff_during_atom = true;
        } else if (a == "--late-any") {
            o.faults.late_any = true;
        } else if (a == "--manual-sync") {
            o.instrument.manual_sync = true;
        } else if (a == "--no-validate") {
            o.instrument.validate = false;
        } else if (a == "--verbose") {
            o.verbose = true;
        } else if (!value(v)) {
            if (a.rfind("--", 0) == 0) return missing();
            return "unexpected argument: " + a;
        } else if (a == "--config") {
            o.config_path = v;
        } else if (a == "--check-config") {
            o.check_config_path = v;
        } else if (a == "--link") {
            o.link_path = v;
        } else if (a == "--control") {
            o.control_path = v;
        } else if (a == "--transcript") {
            o.transcript_path = v;
        } else if (a == "--executed") {
            o.executed_path = v;
        } else if (a == "--downloads") {
            o.downloads_path = v;
        } else if (a == "--syringe") {
            o.instrument.syringe = v;
        } else if (a == "--fw-version") {
            o.instrument.firmware = v;
        } else if (a == "--bare-reply") {
            if (!is_data_query(v))
                return "--bare-reply takes GET_CONFIG, GET_FW_VERSION, GET_SYR or GET_SPL_ID, not " + v;
            o.instrument.bare_replies.push_back(v);
        } else if (a == "--atom-ms") {
            std::string name, ms;
            long n = 0;
            if (!split_pair(v, '=', name, ms) || !parse_count(ms, n))
                return "--atom-ms needs NAME=MS, not " + v;
            o.instrument.atom_ms.push_back({name, std::to_string(n)});
        } else if (a == "--default-atom-ms") {
            long n = 0;
            if (!parse_count(v, n)) return "--default-atom-ms needs a number of milliseconds, not " + v;
            o.instrument.default_atom_ms = static_cast<int>(n);
        } else if (a == "--error-atom") {
            std::string name = v, code;
            if (v.find('=') != std::string::npos) split_pair(v, '=', name, code);
            if (name.empty()) return "--error-atom needs NAME[=CODE]";
            o.instrument.error_atoms.push_back({name, code.empty() ? std::string(default_error_code) : code});
        } else if (a == "--barcode") {
            std::string vial, code, tray;
            int pos = 0;
            if (!split_pair(v, '=', vial, code) || !parse_vial(vial, tray, pos) || code.empty()) {
                return "--barcode needs TRAY:POS=CODE, not " + v;
            }
            o.instrument.barcodes.push_back({tray, pos, code});
        } else if (a == "--unreadable") {
            std::string tray;
            int pos = 0;
            if (!parse_vial(v, tray, pos)) return "--unreadable needs TRAY:POS, not " + v;
            o.instrument.barcodes.push_back({tray, pos, ""});
        } else if (a == "--barcode-error") {
            std::string tray;
            int pos = 0;
            if (!parse_vial(v, tray, pos)) return "--barcode-error needs TRAY:POS, not " + v;
            o.instrument.barcodes.push_back({tray, pos, "", true});
        } else if (a == "--baud") {
            if (v != "9600" && v != "38400") return "--baud takes 9600 or 38400, not " + v;
            o.baud = std::atoi(v.c_str());
        } else if (a == "--seed") {
            if (!is_integer_text(v) || v[0] == '-' || v.size() > 19) return "--seed needs a number, not " + v;
            o.seed = std::strtoull(v.c_str(), nullptr, 10);
        } else if (a == "--drop" || a == "--garble" || a == "--junk" || a == "--late") {
            double rate = 0;
            if (!parse_rate(v, rate)) return a + " needs a rate from 0 to 1, not " + v;
            (a == "--drop"     ? o.faults.drop
             : a == "--garble" ? o.faults.garble
             : a == "--late"   ? o.faults.late
                               : o.faults.junk) = rate;
        } else if (a == "--xoff-hold-ms") {
            long n = 0;
            if (!parse_count(v, n)) return "--xoff-hold-ms needs a number of milliseconds, not " + v;
            o.xoff_hold_ms = static_cast<int>(n);
        } else if (a == "--silent-after") {
            if (!parse_count(v, o.silent_after)) return "--silent-after needs a number of frames, not " + v;
        } else {
            return "unknown option: " + a;
        }
    }
    return {};
}

}  // namespace zorsim
