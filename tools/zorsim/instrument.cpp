#include "tools/zorsim/instrument.h"

#include <algorithm>
#include <cstdio>

#include "tools/zorsim/command_check.h"
#include "tools/zorsim/frame_codec.h"
#include "tools/zorsim/text_rules.h"

namespace zorsim {
namespace {

// What the instrument reports while an atom runs. None of these may read as a reply code
// ("READY", "BUSY", "ERROR", "|", "@...") or as "Barcode unreadable", which the host treats apart.
constexpr struct {
    std::string_view atom;
    std::string_view text;
} progress_texts[] = {
    {"MOVE_TO_VIAL", "Moving to vial"},
    {"MOVE_TO", "Moving"},
    {"ASPIRATE", "Aspirating"},
    {"DISPENSE", "Dispensing"},
    {"INJECT", "Injecting"},
    {"WASH", "Washing"},
    {"SET_TEMP", "Setting temperature"},
    {"SET_OUTPUT", "Switching output"},
    {"WAIT", "Waiting"},
    {"READ_BARCODE", "Reading barcode"},
    {"CLEANUP", "Cleaning up"},
    {"WAIT_SYNC_SIG", "Waiting for sync signal"},
};

Reply reply(std::string payload, std::string note = {}) {
    Reply r;
    r.payload = std::move(payload);
    r.note = std::move(note);
    return r;
}

Reply data_reply(const std::string& line) {
    return reply(reply_payload({line}, "|"));
}

Reply refused(int code, std::string why) {
    return reply("@" + std::to_string(code), "refused: " + why);
}

bool starts_with_text(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && same_text(text.substr(0, prefix.size()), prefix);
}

std::string default_barcode(const std::string& tray, int position) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%03d", position);
    return tray + "-" + digits;
}

}  // namespace

bool is_data_query(std::string_view command) {
    for (std::string_view query : {"GET_CONFIG", "GET_FW_VERSION", "GET_SYR", "GET_SPL_ID"})
        if (same_text(command, query)) return true;
    return false;
}

bool Instrument::answers_bare(std::string_view command) const {
    return std::any_of(settings_.bare_replies.begin(), settings_.bare_replies.end(),
                       [command](const std::string& query) { return same_text(query, command); });
}

std::string progress_text(std::string_view atom_name, int percent) {
    std::string text;
    for (const auto& p : progress_texts) {
        if (same_text(p.atom, atom_name)) text = std::string(p.text);
    }
    if (text.empty()) text = "Running " + std::string(atom_name);
    return text + " " + std::to_string(std::clamp(percent, 0, 99)) + "%";
}

Instrument::Instrument(ConfigText config, InstrumentSettings settings)
    : config_(std::move(config)), settings_(std::move(settings)) {
    mounted_syringe_ = settings_.syringe;
    if (mounted_syringe_.empty()) {
        const auto syringes = config_.object_names_of_class("SYRINGE");
        mounted_syringe_ = syringes.empty() ? "None" : syringes.front();
    }
}

Reply Instrument::handle(char digit, std::string_view command, Clock::time_point now) {
    // The host resends a command with the same digit when its reply was lost. The one exception
    // to answering it unchanged: after "Barcode unreadable" the host lets its reply timer run out
    // on purpose and asks again, expecting the atom to be over by then.
    if (have_last_ && digit == last_digit_ && command == last_command_ &&
        !(same_text(command, "GET_ATOM_INFO") && same_text(last_reply_.payload, "Barcode unreadable"))) {
        Reply again = last_reply_;
        again.resend = true;
        again.atom_started = false;
        again.note = "resend: answered again, not executed";
        return again;
    }
    Reply r = execute(command, now);
    have_last_ = true;
    last_digit_ = digit;
    last_command_ = std::string(command);
    last_reply_ = r;
    return r;
}

Reply Instrument::execute(std::string_view command, Clock::time_point now) {
    if (command == "GET_STAT") {
        if (forced_error_ > 0) {
            --forced_error_;
            return reply("ERROR");
        }
        if (forced_busy_ > 0) {
            --forced_busy_;
            return reply("BUSY");
        }
        return reply(atom_busy(now) || now < busy_until_ ? "BUSY" : "READY");
    }
    if (command == "GET_ATOM_INFO") return atom_info(now);
    if (command == "CANCEL") {
        if (atom_ && now < atom_->end && !atom_->cancelled) {
            atom_->cancelled = true;
            return reply("|", "cancelled " + atom_->line);
        }
        busy_until_ = now;
        return reply("|", "nothing to cancel");
    }
    if (is_data_query(command) && answers_bare(command)) return reply("|", "bare reply");
    if (command == "GET_CONFIG") return reply(reply_payload(config_.lines(), "|"));
    if (starts_with_text(command, "SET_BAUD ")) {
        const std::string rate(command.substr(9));
        if (rate != "9600" && rate != "38400") return refused(error_bad_baud, "no line rate " + rate);
        Reply r = reply("|");
        r.baud_after = integer_value(rate);
        return r;
    }
    if (command == "GET_FW_VERSION") return data_reply(settings_.firmware);
    if (command == "GET_SYR") return data_reply(mounted_syringe_);
    if (command == "GET_SPL_ID") return data_reply(last_barcode_);
    if (command == "POS_STAT") return reply("|");
    if (starts_with_text(command, "DLD_OBJ ")) {
        const std::string line(command.substr(8));
        const std::string why = config_.download_object(line);
        if (!why.empty()) return refused(error_bad_download, why);
        downloads_.push_back(line);
        return reply("|", "object taken");
    }

    const CommandLine line = split_command(command);
    if (const AtomDef* atom = config_.find_atom(line.name)) {
        if (settings_.validate) {
            const CheckResult check = check_atom_command(config_, *atom, line);
            if (check.code != 0) return refused(check.code, check.reason);
        }
        if (atom_busy(now) || now < busy_until_) {
            return refused(error_atom_running, "an atom still runs: " + running_atom(now));
        }
        return start_atom(*atom, command, now);
    }
    if (same_text(line.name, "READ_BARCODE")) return read_barcode_at_once(command);
    if (same_text(line.name, "CLEANUP")) {
        // Not an atom of this configuration: the instrument just stays busy for a while.
        busy_until_ = now + duration_of("CLEANUP");
        executed_.emplace_back(command);
        return reply("|", "clean-up started");
    }
    return reply("|", "not a command of this instrument; acknowledged");
}

Reply Instrument::start_atom(const AtomDef& atom, std::string_view command, Clock::time_point now) {
    RunningAtom a;
    a.name = atom.name;
    a.line = std::string(command);
    a.start = now;
    a.end = now + duration_of(atom.name);
    if (same_text(atom.name, "WAIT_SYNC_SIG")) a.kind = AtomKind::sync;
    if (same_text(atom.name, "READ_BARCODE")) {
        a.kind = AtomKind::barcode;
        std::string tray;
        int position = 0;
        locate_vial(command, tray, position);
        const auto code = barcode_of(tray, position);
        a.unreadable = !code.has_value();
        const InstrumentSettings::Vial* vial = vial_of(tray, position);
        a.error_end = a.unreadable && vial && vial->error_end;
        last_barcode_ = code.value_or("Unreadable");
    }
    for (const auto& e : settings_.error_atoms) {
        if (same_text(e.name, atom.name)) a.error_code = e.value;
    }
    atom_ = a;
    executed_.push_back(a.line);
    Reply r = reply("|");
    r.atom_started = true;
    return r;
}

Reply Instrument::atom_info(Clock::time_point now) {
    if (!atom_) return reply("|");
    RunningAtom& a = *atom_;
    if (a.cancelled) {
        atom_.reset();
        return reply("|", "cancelled atom reported done");
    }
    if (a.kind == AtomKind::sync) {
        const bool seen = a.sync_given || (!settings_.manual_sync && now >= a.end);
        if (!seen) return reply(progress_text(a.name, 0));
        const std::string code = a.error_code;
        atom_.reset();
        return code.empty() ? reply("@", "sync signal seen") : reply("@" + code, "atom failed");
    }
    if (now < a.end) {
        const auto total = std::chrono::duration_cast<std::chrono::milliseconds>(a.end - a.start).count();
        const auto done = std::chrono::duration_cast<std::chrono::milliseconds>(now - a.start).count();
        return reply(progress_text(a.name, total > 0 ? static_cast<int>(done * 100 / total) : 0));
    }
    if (!a.error_code.empty()) {
        const std::string code = a.error_code;
        atom_.reset();
        return reply("@" + code, "atom failed");
    }
    if (a.kind == AtomKind::barcode) {
        if (a.unreadable && !a.unreadable_told) {
            a.unreadable_told = true;
            return reply("Barcode unreadable");
        }
        const bool readable = !a.unreadable;
        const bool error_end = a.error_end;
        atom_.reset();
        if (readable) return reply("@", "bar code read");
        return error_end ? reply("@", "bar code error") : reply("|");
    }
    atom_.reset();
    return reply("|");
}

Reply Instrument::read_barcode_at_once(std::string_view command) {
    std::string tray;
    int position = 0;
    if (!locate_vial(command, tray, position)) {
        return refused(error_malformed, "READ_BARCODE needs (tray,position)");
    }
    const auto code = barcode_of(tray, position);
    last_barcode_ = code.value_or("Unreadable");
    executed_.emplace_back(command);
    return reply("@", code ? "bar code read" : "bar code unreadable");
}

bool Instrument::locate_vial(std::string_view command, std::string& tray, int& position) const {
    const CommandLine line = split_command(command);
    if (!line.well_formed || line.args.size() < 2 || !is_integer_text(line.args[1])) return false;
    tray = line.args[0];
    position = integer_value(line.args[1]);
    return true;
}

bool Instrument::atom_busy(Clock::time_point now) const {
    if (!atom_ || atom_->cancelled) return false;
    if (atom_->kind == AtomKind::sync)
        return !atom_->sync_given && (settings_.manual_sync || now < atom_->end);
    return now < atom_->end;
}

std::string Instrument::running_atom(Clock::time_point now) const {
    return atom_busy(now) ? atom_->line : std::string();
}

Clock::duration Instrument::duration_of(std::string_view name) const {
    int ms = settings_.default_atom_ms;
    for (const auto& d : settings_.atom_ms) {
        if (same_text(d.name, name)) ms = integer_value(d.value);
    }
    return std::chrono::milliseconds(std::max(ms, 0));
}

const InstrumentSettings::Vial* Instrument::vial_of(const std::string& tray, int position) const {
    for (auto it = settings_.barcodes.rbegin(); it != settings_.barcodes.rend(); ++it) {
        if (same_text(it->tray, tray) && it->position == position) return &*it;
    }
    return nullptr;
}

std::optional<std::string> Instrument::barcode_of(const std::string& tray, int position) const {
    if (const InstrumentSettings::Vial* vial = vial_of(tray, position)) {
        if (vial->code.empty()) return std::nullopt;
        return vial->code;
    }
    return default_barcode(tray, position);
}

void Instrument::put_vial(const std::string& tray, int position, std::optional<std::string> code,
                          bool error_end) {
    auto& list = settings_.barcodes;
    list.erase(std::remove_if(list.begin(), list.end(),
                              [&](const InstrumentSettings::Vial& v) {
                                  return same_text(v.tray, tray) && v.position == position;
                              }),
               list.end());
    if (code) list.push_back({tray, position, *code, error_end});
}

void Instrument::set_barcode(const std::string& tray, int position, std::string code) {
    put_vial(tray, position, std::move(code));
}

void Instrument::set_unreadable(const std::string& tray, int position) {
    put_vial(tray, position, std::string());
}

void Instrument::set_barcode_error(const std::string& tray, int position) {
    put_vial(tray, position, std::string(), true);
}

void Instrument::clear_barcode(const std::string& tray, int position) {
    put_vial(tray, position, std::nullopt);
}

void Instrument::set_error_atom(std::string name, std::string code) {
    auto& list = settings_.error_atoms;
    list.erase(std::remove_if(list.begin(), list.end(),
                              [&](const NamedValue& e) { return same_text(e.name, name); }),
               list.end());
    list.push_back({std::move(name), code.empty() ? std::string(default_error_code) : std::move(code)});
}

void Instrument::set_atom_ms(std::string name, int ms) {
    settings_.atom_ms.push_back({std::move(name), std::to_string(ms)});
}

bool Instrument::give_sync_signal() {
    if (!atom_ || atom_->kind != AtomKind::sync || atom_->cancelled) return false;
    atom_->sync_given = true;
    return true;
}

}  // namespace zorsim
