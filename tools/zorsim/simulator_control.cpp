// The control commands (see README.md): one line in, one answer line out.
#include <cstdlib>
#include <sstream>

#include "tools/zorsim/simulator.h"
#include "tools/zorsim/text_rules.h"

namespace zorsim {
namespace {

constexpr std::string_view help_text =
    "commands: silent on|off; drop|garble|junk|late RATE; late-any on|off; seed N; error-atom "
    "NAME[=CODE]|off; syringe NAME; "
    "barcode TRAY POS [CODE]; unreadable TRAY POS; barcode-error TRAY POS; atom-ms NAME=MS; default-atom-ms "
    "MS; busy N; stat-error N; sync; "
    "xoff-during-atom on|off; hold MS; unplug MS; pace on|off; baud 9600|38400; status; dump; quit";

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> w;
    for (std::string s; in >> s;) w.push_back(s);
    return w;
}

// Everything after the first n words, as written.
std::string rest_after(const std::string& line, std::size_t n) {
    std::size_t pos = 0;
    for (std::size_t i = 0; i < n; ++i) {
        pos = line.find_first_not_of(" \t", pos);
        pos = line.find_first_of(" \t", pos);
        if (pos == std::string::npos) return {};
    }
    const std::size_t start = line.find_first_not_of(" \t", pos);
    if (start == std::string::npos) return {};
    const std::size_t end = line.find_last_not_of(" \t");
    return line.substr(start, end - start + 1);
}

bool on_off(const std::string& word, bool& value) {
    if (word == "on") return value = true, true;
    if (word == "off") return value = false, true;
    return false;
}

bool rate_of(const std::string& word, double& rate) {
    char* end = nullptr;
    rate = std::strtod(word.c_str(), &end);
    return !word.empty() && *end == 0 && rate >= 0 && rate <= 1;
}

bool count_of(const std::string& word, int& value) {
    if (!is_integer_text(word) || word[0] == '-' || word.size() > 9) return false;
    value = std::atoi(word.c_str());
    return true;
}

std::string error(const std::string& text) {
    return "error: " + text;
}

}  // namespace

std::string Simulator::apply_control(const std::string& line) {
    const auto w = words(line);
    if (w.empty()) return error("empty command");
    const std::string& cmd = w[0];
    const std::size_t n = w.size();
    Instrument& in = *instrument_;

    if (cmd == "help") return "ok " + std::string(help_text);
    if (cmd == "quit" && n == 1) {
        stop_requested_ = true;
        return "ok bye";
    }
    if (cmd == "status" && n == 1) {
        const auto now = Clock::now();
        const std::string atom = in.running_atom(now);
        return "ok baud=" + std::to_string(in.baud()) + " silent=" + (silent_ ? "on" : "off") +
               " held=" + (output_.held() ? "on" : "off") + " syringe=" + in.syringe() +
               " atom=" + (atom.empty() ? "none" : atom) +
               " executed=" + std::to_string(in.executed().size()) +
               " received=" + std::to_string(stats_.frames_received) +
               " replies=" + std::to_string(stats_.replies) + " dropped=" + std::to_string(stats_.dropped) +
               " garbled=" + std::to_string(stats_.garbled) + " bad=" + std::to_string(stats_.bad_frames) +
               " ignored=" + std::to_string(stats_.ignored) + " resends=" + std::to_string(stats_.resends) +
               " late=" + std::to_string(stats_.late);
    }
    if (cmd == "dump" && n == 1) {
        const std::string e = write_reports_locked();
        return e.empty() ? "ok" : error(e);
    }
    if (cmd == "silent" && n == 2) {
        bool on = false;
        if (!on_off(w[1], on)) return error("silent takes on or off");
        silent_ = on;
        // "silent off" also ends a --silent-after count.
        if (!on) options_.silent_after = -1;
        return "ok";
    }
    if ((cmd == "drop" || cmd == "garble" || cmd == "junk" || cmd == "late") && n == 2) {
        double rate = 0;
        if (!rate_of(w[1], rate)) return error(cmd + " takes a rate from 0 to 1");
        (cmd == "drop"     ? faults_.rates().drop
         : cmd == "garble" ? faults_.rates().garble
         : cmd == "late"   ? faults_.rates().late
                           : faults_.rates().junk) = rate;
        return "ok";
    }
    if (cmd == "seed" && n == 2) {
        if (!is_integer_text(w[1]) || w[1][0] == '-' || w[1].size() > 19) return error("seed takes a number");
        faults_.reseed(std::strtoull(w[1].c_str(), nullptr, 10));
        return "ok";
    }
    if (cmd == "error-atom" && n == 2) {
        if (w[1] == "off") {
            in.clear_error_atoms();
            return "ok";
        }
        const std::size_t eq = w[1].find('=');
        const std::string name = w[1].substr(0, eq);
        if (name.empty()) return error("error-atom takes NAME[=CODE] or off");
        in.set_error_atom(name, eq == std::string::npos ? std::string() : w[1].substr(eq + 1));
        return "ok";
    }
    if (cmd == "syringe" && n >= 2) {
        in.set_syringe(rest_after(line, 1));
        return "ok";
    }
    if ((cmd == "barcode" && n >= 3) || ((cmd == "unreadable" || cmd == "barcode-error") && n == 3)) {
        int position = 0;
        if (!count_of(w[2], position) || position < 1) return error("the position is a vial number from 1");
        if (cmd == "unreadable") {
            in.set_unreadable(w[1], position);
        } else if (cmd == "barcode-error") {
            in.set_barcode_error(w[1], position);
        } else if (n == 3) {
            in.clear_barcode(w[1], position);
        } else {
            const std::string code = rest_after(line, 3);
            for (char c : code) {
                if (static_cast<unsigned char>(c) < 0x20)
                    return error("a bar code cannot hold control characters");
            }
            in.set_barcode(w[1], position, code);
        }
        return "ok";
    }
    if (cmd == "atom-ms" && n == 2) {
        const std::size_t eq = w[1].find('=');
        int ms = 0;
        if (eq == std::string::npos || eq == 0 || !count_of(w[1].substr(eq + 1), ms))
            return error("atom-ms takes NAME=MS");
        in.set_atom_ms(w[1].substr(0, eq), ms);
        return "ok";
    }
    if (cmd == "default-atom-ms" && n == 2) {
        int ms = 0;
        if (!count_of(w[1], ms)) return error("default-atom-ms takes a number of milliseconds");
        in.set_default_atom_ms(ms);
        return "ok";
    }
    if (cmd == "stat-error" && n == 2) {
        int count = 0;
        if (!count_of(w[1], count)) return error("stat-error takes a number of GET_STAT replies");
        in.force_error(count);
        return "ok";
    }
    if (cmd == "busy" && n == 2) {
        int count = 0;
        if (!count_of(w[1], count)) return error("busy takes a number of GET_STAT replies");
        in.force_busy(count);
        return "ok";
    }
    if (cmd == "sync" && n == 1) {
        return in.give_sync_signal() ? "ok" : error("no WAIT_SYNC_SIG is waiting");
    }
    if (cmd == "late-any" && n == 2) {
        if (!on_off(w[1], faults_.rates().late_any)) return error("late-any takes on or off");
        return "ok";
    }
    if (cmd == "xoff-during-atom" && n == 2) {
        if (!on_off(w[1], options_.xoff_during_atom)) return error("xoff-during-atom takes on or off");
        return "ok";
    }
    if (cmd == "unplug" && n == 2) {
        int ms = 0;
        if (!count_of(w[1], ms)) return error("unplug takes a number of milliseconds");
        if (terminal_.master() < 0) return error("already unplugged");
        // The line goes away as a USB adapter pulled out: the host's terminal hangs up and its
        // path is gone; the instrument goes on. After the pause a new terminal appears at the
        // same link.
        const auto now = Clock::now();
        transcript_.sent(now, "", "unplugged for " + std::to_string(ms) + " ms");
        terminal_.close();
        output_.clear();
        receiver_ = CommandReceiver();
        late_reply_.reset();
        replug_at_ = now + std::chrono::milliseconds(ms);
        return "ok";
    }
    if (cmd == "hold" && n == 2) {
        int ms = 0;
        if (!count_of(w[1], ms)) return error("hold takes a number of milliseconds");
        const auto now = Clock::now();
        output_.push_flow(XOFF);
        transcript_.sent(now, std::string(1, XOFF), "flow: hold");
        xon_at_ = now + std::chrono::milliseconds(ms);
        return "ok";
    }
    if (cmd == "pace" && n == 2) {
        bool on = false;
        if (!on_off(w[1], on)) return error("pace takes on or off");
        output_.set_pacing(on);
        input_.set_pacing(on);
        return "ok";
    }
    if (cmd == "baud" && n == 2) {
        if (w[1] != "9600" && w[1] != "38400") return error("baud takes 9600 or 38400");
        in.set_baud(std::atoi(w[1].c_str()));
        output_.set_baud(in.baud());
        input_.set_baud(in.baud());
        return "ok";
    }
    return error("unknown command \"" + line + "\" (try help)");
}

}  // namespace zorsim
