// The instrument's commands: one table of every command the session itself sends or reacts
// to, with its word, what its answer carries, its time-out, its role in the session and what
// its reply codes do.
//
// Method lines (atoms) come from the configuration and are not in the table; the session sends
// them as the method gives them. Every other command text in the program comes from here.
//
// The reply dispatcher (core/reply_dispatcher.h) walks the table in its order: for a reply
// code, the first row that recognizes the last command and has a handler for that code wins.
// The order is therefore the precedence between rows. Main thread only.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace core {

// The command words (with their fixed arguments where the session always sends the same).
namespace command_word {
inline constexpr char get_stat[] = "GET_STAT";
inline constexpr char get_atom_info[] = "GET_ATOM_INFO";
inline constexpr char cancel[] = "CANCEL";
inline constexpr char wait_sync_sig[] = "WAIT_SYNC_SIG";
inline constexpr char read_barcode[] = "READ_BARCODE";
inline constexpr char get_spl_id[] = "GET_SPL_ID";
inline constexpr char get_fw_version[] = "GET_FW_VERSION";
inline constexpr char get_syr[] = "GET_SYR";
inline constexpr char get_config[] = "GET_CONFIG";
inline constexpr char dld_obj[] = "DLD_OBJ";
inline constexpr char pos_stat[] = "POS_STAT";
inline constexpr char set_baud_9600[] = "SET_BAUD 9600";
inline constexpr char set_baud_38400[] = "SET_BAUD 38400";
inline constexpr char cleanup[] = "CLEANUP(Wash1,1,1,1,1,1,1,1)";
}  // namespace command_word

enum class CommandRole : std::uint8_t {
    poll,         // asks the idle instrument's state
    atom,         // runs or follows a running atom (its progress, its cancel)
    upload_step,  // a step of the configuration upload or of the object download
    query,        // asks for data the session keeps
    method_step,  // a method line the session itself reacts to
    job_step,     // a job the session queues on its own
};

// Which reply time-out the command's frame waits with.
enum class ReplyTimeout : std::uint8_t { normal, configuration };

// How the dispatcher recognizes the command in the last command sent: by its name (the text
// up to "(", without regard to case) or as the text's beginning.
enum class CommandMatch : std::uint8_t { name, prefix };

// What comes after a reply's handler: the session's next command, or nothing (the handler has
// armed the timer or sent itself).
enum class AfterReply : std::uint8_t { next_command, nothing };

struct InstrumentCommand {
    std::string_view word;
    CommandMatch match;
    // The answer is data lines before the "|" (an empty "|" alone is no answer yet).
    bool answer_is_data;
    ReplyTimeout timeout;
    CommandRole role;
    // What "@" (acknowledged) does; nullptr: nothing of its own.
    void (*on_acknowledged)();
    // What "|" (done) does; nullptr: the row does not take part.
    void (*on_done)();
    // What any other code (a state, an error) does, before instrument errors are looked at.
    AfterReply (*on_status)(const std::string& reply);
};

// Every row, in the dispatcher's order.
std::span<const InstrumentCommand> instrument_commands();

// Whether the row recognizes the command text (by its CommandMatch).
bool command_matches(const InstrumentCommand& row, std::string_view text);
// The row whose word is the whole text (without regard to case); nullptr when none.
const InstrumentCommand* command_of_text(std::string_view text);
// The text is a query whose answer is data lines.
bool answer_is_data(std::string_view text);
// The text waits for its reply with the configuration's long time-out.
bool waits_for_configuration(std::string_view text);

}  // namespace core
