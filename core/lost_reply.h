// A lost reply: what the session does when the link's reply time-out expires. Main thread
// only.
#pragma once

namespace core {

// A reply time-out: resend the outstanding command with the same sequence digit, run the baud
// probe after start, report the loss through the hooks. A data query the instrument keeps
// answering with an empty "|" takes that as its answer once its resends have run out, and an
// upload whose configuration reply cannot be read is given up.
void resend_after_timeout();

}  // namespace core
