// What the session does with the replies to its own commands: the handlers of the command
// table (core/instrument_commands.h). Each runs inside handle_reply, after the link has taken
// the reply and stopped its timer. Main thread only.
#pragma once

#include <string>

#include "core/instrument_commands.h"

namespace core {

// "@" to WAIT_SYNC_SIG: the sync signal was seen.
void sync_signal_seen();
// "@" to READ_BARCODE: the code is asked for, unless the read already failed.
void barcode_read();
// "|" to GET_SPL_ID: the bar code text (none: the label could not be read).
void take_sample_id();
// "|" to GET_FW_VERSION: the firmware version; it also ends an upload.
void take_firmware_version();
// "|" to GET_SYR: the mounted syringe.
void take_mounted_syringe();
// "|" to DLD_OBJ: the configuration goes on to the next object.
void object_downloaded();
// "|" to a command that needs nothing further.
void reply_needs_nothing();
// "|" to SET_BAUD: the host follows the instrument's new rate.
void follow_rate_9600();
void follow_rate_38400();
// A state reply to GET_STAT: "ERROR", "READY", "BUSY" or anything else.
AfterReply take_instrument_state(const std::string& reply);

}  // namespace core
