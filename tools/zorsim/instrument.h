// The Zor as its host sees it: one command in, one reply out. No I/O and no clock of its own; the
// simulator hands in each command with the time it arrived and sends what comes back.
//
// What it answers:
//   GET_STAT        "READY", or "BUSY" while an atom or a clean-up runs (or "busy N" asked for it)
//   GET_ATOM_INFO   a progress text while the atom runs, then "|" when it is done ("@code" when it
//                   failed, "@" for a sync signal seen or a bar code read, "Barcode unreadable"
//                   once for an unreadable vial); "|" when no atom runs
//   CANCEL          "|"; the running atom stops at once and reports "|" at the next GET_ATOM_INFO
//   GET_CONFIG      every configuration line followed by CR, then "|"
//   SET_BAUD n      "|", and the line changes to n once that reply is out (9600 or 38400)
//   GET_FW_VERSION, GET_SYR, GET_SPL_ID   one data line, then "|"
//   (any of these four asked for with --bare-reply: "|" alone)
//   READ_BARCODE(t,p)  as an atom when the configuration has one of that name, else "@" at once
//   DLD_OBJ line    "|" and the configuration takes the object line; "@21" when it is refused
//   an atom line    "|" (started), after checking its values against the configuration
//   anything else   "|" (the host sends method lines that are no atoms as they stand)
//
// A frame that repeats the previous one's sequence digit and text is the host's resend after a
// lost reply: it gets the previous reply again and executes nothing.
//
// Thread contract: none; the simulator serializes every call.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/zorsim/config_text.h"

namespace zorsim {

using Clock = std::chrono::steady_clock;

struct NamedValue {
    std::string name;
    std::string value;
};

struct InstrumentSettings {
    std::string syringe;  // the mounted syringe; empty: the first SYRINGE object
    std::string firmware = "ZR1.0.0150";
    std::vector<NamedValue> atom_ms;  // duration per atom name, in ms
    int default_atom_ms = 1000;
    std::vector<NamedValue> error_atoms;  // atom name, error code
    struct Vial {
        std::string tray;
        int position = 0;
        std::string code;  // empty: the vial's label cannot be read
        // The reader reports "Barcode unreadable" and then ends the read with "@" as if it had
        // read one (the host takes that for a bar-code error).
        bool error_end = false;
    };
    std::vector<Vial> barcodes;  // codes of particular vials; others get tray-NNN
    bool validate = true;        // check atom commands against the configuration
    // Queries answered with a bare "|" instead of their data line(s): an instrument with an
    // empty configuration, or one that has no version or syringe to tell.
    std::vector<std::string> bare_replies;
    bool manual_sync = false;  // WAIT_SYNC_SIG waits for the control command "sync"
};

struct Reply {
    std::string payload;
    int baud_after = 0;         // switch the line to this rate once the reply is out
    bool resend = false;        // the answer to a repeated frame
    bool atom_started = false;  // an atom began with this command
    std::string note;           // why something was refused or what happened, for the transcript
};

inline constexpr std::string_view default_error_code = "17";

// GET_CONFIG, GET_FW_VERSION, GET_SYR and GET_SPL_ID (any case): the queries answered with data
// lines before the "|".
bool is_data_query(std::string_view command);

class Instrument {
  public:
    Instrument(ConfigText config, InstrumentSettings settings);

    Reply handle(char digit, std::string_view command, Clock::time_point now);

    // Run-time changes, from the control channel.
    void set_syringe(std::string name) { mounted_syringe_ = std::move(name); }
    void set_barcode(const std::string& tray, int position, std::string code);
    void set_unreadable(const std::string& tray, int position);
    void set_barcode_error(const std::string& tray, int position);
    void clear_barcode(const std::string& tray, int position);
    void set_error_atom(std::string name, std::string code);
    void clear_error_atoms() { settings_.error_atoms.clear(); }
    void set_atom_ms(std::string name, int ms);
    void set_default_atom_ms(int ms) { settings_.default_atom_ms = ms; }
    void force_busy(int replies) { forced_busy_ = replies; }
    void force_error(int replies) { forced_error_ = replies; }
    bool give_sync_signal();  // false when no WAIT_SYNC_SIG waits
    void set_manual_sync(bool on) { settings_.manual_sync = on; }
    void set_baud(int baud) { baud_ = baud; }

    int baud() const { return baud_; }
    const std::string& syringe() const { return mounted_syringe_; }
    // The atom commands carried out, in order, each once.
    const std::vector<std::string>& executed() const { return executed_; }
    // The object lines taken by DLD_OBJ, in order.
    const std::vector<std::string>& downloads() const { return downloads_; }
    const ConfigText& config() const { return config_; }
    // The command line of the atom running now, or "".
    std::string running_atom(Clock::time_point now) const;

  private:
    bool answers_bare(std::string_view command) const;

    enum class AtomKind { plain, sync, barcode };
    struct RunningAtom {
        std::string name;
        std::string line;
        AtomKind kind = AtomKind::plain;
        Clock::time_point start;
        Clock::time_point end;
        bool cancelled = false;
        bool sync_given = false;
        std::string error_code;   // empty: the atom succeeds
        bool unreadable = false;  // bar code atom on an unreadable vial
        bool unreadable_told = false;
        bool error_end = false;  // after "Barcode unreadable" the read ends with "@"
    };

    Reply execute(std::string_view command, Clock::time_point now);
    Reply atom_info(Clock::time_point now);
    Reply start_atom(const AtomDef& atom, std::string_view command, Clock::time_point now);
    Reply read_barcode_at_once(std::string_view command);
    bool atom_busy(Clock::time_point now) const;
    Clock::duration duration_of(std::string_view name) const;
    // The code of a vial, or nothing when it cannot be read; remembered for GET_SPL_ID.
    std::optional<std::string> barcode_of(const std::string& tray, int position) const;
    void put_vial(const std::string& tray, int position, std::optional<std::string> code,
                  bool error_end = false);
    const InstrumentSettings::Vial* vial_of(const std::string& tray, int position) const;
    bool locate_vial(std::string_view command, std::string& tray, int& position) const;

    ConfigText config_;
    InstrumentSettings settings_;
    std::string mounted_syringe_;
    int baud_ = 9600;
    std::optional<RunningAtom> atom_;
    Clock::time_point busy_until_{};
    int forced_busy_ = 0;
    int forced_error_ = 0;
    std::string last_barcode_ = "Unreadable";
    std::vector<std::string> executed_;
    std::vector<std::string> downloads_;

    bool have_last_ = false;
    char last_digit_ = 0;
    std::string last_command_;
    Reply last_reply_;
};

// The text shown while an atom runs, by atom name.
std::string progress_text(std::string_view atom_name, int percent);

}  // namespace zorsim
