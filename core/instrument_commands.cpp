#include "core/instrument_commands.h"

#include "core/command_replies.h"
#include "core/command_text.h"
#include "utilities/text.h"

namespace core {

namespace {

using enum CommandMatch;
using enum CommandRole;
using enum ReplyTimeout;

// The order is the dispatcher's precedence: within each reply code, the first row that
// recognizes the last command wins.
constexpr InstrumentCommand commands[] = {
    {command_word::wait_sync_sig, name, false, normal, method_step, sync_signal_seen, nullptr, nullptr},
    {command_word::read_barcode, name, false, normal, method_step, barcode_read, nullptr, nullptr},
    {command_word::get_spl_id, name, true, normal, query, nullptr, take_sample_id, nullptr},
    {command_word::get_fw_version, name, true, normal, upload_step, nullptr, take_firmware_version, nullptr},
    {command_word::get_syr, name, true, normal, query, nullptr, take_mounted_syringe, nullptr},
    {command_word::dld_obj, prefix, false, normal, upload_step, nullptr, object_downloaded, nullptr},
    {command_word::pos_stat, name, false, normal, query, nullptr, reply_needs_nothing, nullptr},
    {command_word::set_baud_9600, prefix, false, normal, upload_step, nullptr, follow_rate_9600, nullptr},
    {command_word::set_baud_38400, prefix, false, normal, upload_step, nullptr, follow_rate_38400, nullptr},
    {command_word::get_stat, name, false, normal, poll, nullptr, nullptr, take_instrument_state},
    {command_word::get_atom_info, name, false, normal, atom, nullptr, nullptr, nullptr},
    {command_word::cancel, name, false, normal, atom, nullptr, nullptr, nullptr},
    {command_word::get_config, name, true, configuration, upload_step, nullptr, nullptr, nullptr},
    {command_word::cleanup, prefix, false, normal, job_step, nullptr, nullptr, nullptr},
};

}  // namespace

std::span<const InstrumentCommand> instrument_commands() {
    return commands;
}

bool command_matches(const InstrumentCommand& row, std::string_view text) {
    if (row.match == prefix) return putils::starts_with_text(text, row.word);
    return putils::same_text(command_name(text), row.word);
}

const InstrumentCommand* command_of_text(std::string_view text) {
    for (const InstrumentCommand& row : commands)
        if (putils::same_text(text, row.word)) return &row;
    return nullptr;
}

bool answer_is_data(std::string_view text) {
    const InstrumentCommand* row = command_of_text(text);
    return row && row->answer_is_data;
}

bool waits_for_configuration(std::string_view text) {
    const InstrumentCommand* row = command_of_text(text);
    return row && row->timeout == configuration;
}

}  // namespace core
