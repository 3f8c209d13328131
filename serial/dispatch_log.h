// The dispatch log of a dispatcher: its events with time stamps, in a byte ring, written to a text
// file on request.
//
// An entry is a 16-byte header and its data bytes, both stored with wrap-around:
//   0  1 byte   event type (0..19, LogType)
//   1  1 byte   subtype (0 = none, LogSubtype)
//   2  2 bytes  not used
//   4  4 bytes  time: milliseconds since the log was started (signed)
//   8  4 bytes  data (unsigned)
//  12  4 bytes  number of data bytes that follow
// An entry at least as large as the whole ring is dropped; otherwise the oldest entries are
// dropped until it fits.
//
// Dump writes, when entries exist, the header lines
//   "SERIAL v4.03" / "Compiler : ..." / "Operating System : ..." / "Device: " + name /
//   "Date/time: dd/mm/yy, hh:mm:ss" / text 15501 / text 15502
// and then one line per entry, oldest first:
//   Format("%8s  %-8s  %-12s  %08.8x  ", time text, type name, subtype name, data)
// followed by the entry's details (the data bytes, a status trigger's kind, the modem bits of a
// modem-status entry, or a telnet option name). The time text is seconds with three decimals
// ("0001.234"). Lines end with CR LF; continuation lines of data bytes start with 44 blanks.
//
// Thread contract: not locked; the owning dispatcher calls every operation under its general lock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace serial {

inline constexpr std::uint32_t kMaxLogBytes = 16'000'000;
inline constexpr std::uint32_t kLogHeaderSize = 16;

// Event types (names: error-table texts 15001 + type).
enum LogType : std::uint8_t {
    dtNone = 0,
    dtDispatch = 1,  // bytes received (subtype 1) and queued for sending (2)
    dtTrigger = 2,   // a trigger fired: avail 5, timer 6, data 7, status 8
    dtError = 3,
    dtThread = 4,
    dtTriggerAlloc = 5,           // a trigger was added (timer: subtype 14)
    dtTriggerDispose = 6,         // a trigger was removed (timer 6, data 7, status 15)
    dtTriggerHandlerAlloc = 7,    // a window handler was added (subtype 17)
    dtTriggerHandlerDispose = 8,  // a window handler was removed (subtype 17)
    dtTriggerDataChange = 9,      // a timer was armed or disarmed (14), the avail threshold changed (16)
    dtTelnet = 10,
    dtFax = 11,
    dtXModem = 12,
    dtYModem = 13,
    dtZModem = 14,
    dtKermit = 15,
    dtAscii = 16,
    dtBPlus = 17,
    dtPacket = 18,
    dtUser = 19,  // its data bytes are written as characters also in all-hex dumps
};

// The subtypes this layer writes (names: error-table texts 15100 + subtype).
enum LogSubtype : std::uint8_t {
    dstNone = 0,
    dstReadCom = 1,
    dstWriteCom = 2,
    dstLineStatus = 3,
    dstModemStatus = 4,  // data = modem status byte; the dump names its set bits
    dstAvail = 5,
    dstTimer = 6,
    dstData = 7,
    dstStatus = 8,
    dstTimerTrigger = 14,
    dstStatusTrigger = 15,  // with a type 5 or 6 entry: one data byte, the status trigger's kind
    dstAvailTrigger = 16,
    dstWndHandler = 17,
};

class TSpDispatchLog {
  public:
    // size above 16,000,000: -1002 and nothing changes. With a buffer: Clear(); else allocate
    // `size` bytes. The log's start time becomes now. Then active; 0.
    std::int32_t Init(std::uint32_t size);
    // Head = tail = 0, free = size.
    void Clear();
    // Active := true (only with a buffer) / false.
    void Start();
    void Stop();
    // The time entries count from (Init also sets it).
    void MarkStart();

    // Appends an entry with the time since the start; with no buffer, nothing. The caller checks
    // Active() first (the dispatcher logs only while active).
    void AddEntry(std::uint8_t type, std::uint8_t subtype, std::uint32_t data, const void* bytes = nullptr,
                  std::uint32_t count = 0);
    // The same with a time given in ms since the start (tests, replays).
    void AddEntryAt(std::int32_t time_ms, std::uint8_t type, std::uint8_t subtype, std::uint32_t data,
                    const void* bytes, std::uint32_t count);

    // Stops, writes the log (see above) to `file_name` (Windows-1252; appending when `append` is set
    // and the file exists, else creating it anew), frees the buffer. No entries: writes nothing (no
    // file is made) and gives 0. An open or write failure gives the negated I/O error code. The
    // buffer is freed in every case.
    std::int32_t Dump(const std::string& file_name, bool append, bool in_hex, bool all_hex,
                      const std::string& device_name);
    void Free();

    bool Allocated() const { return !ring_.empty(); }
    bool Active() const { return active_; }
    std::uint32_t Size() const { return static_cast<std::uint32_t>(ring_.size()); }
    std::uint32_t FreeSpace() const { return free_; }
    // Number of entries held now.
    std::uint32_t EntryCount() const;

    // One entry as read back from the ring (tests and Dump).
    struct Entry {
        std::uint8_t type = 0;
        std::uint8_t subtype = 0;
        std::int32_t time_ms = 0;
        std::uint32_t data = 0;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Entry> Entries() const;

  private:
    void Put(const void* bytes, std::uint32_t count);
    void Get(std::uint32_t at, void* out, std::uint32_t count) const;
    void DropOldest();

    std::vector<std::uint8_t> ring_;
    std::uint32_t head_ = 0;
    std::uint32_t tail_ = 0;
    std::uint32_t free_ = 0;
    std::uint32_t start_ms_ = 0;
    bool active_ = false;
};

// The time text of an entry: the milliseconds as seconds with three decimals, at least 4 digits
// before the point ("0001.234", "12345.678").
std::string LogTimeText(std::int32_t ms);
// One formatted entry line without the line end (the dump's per-entry format).
std::string FormatLogEntry(const TSpDispatchLog::Entry& entry, bool in_hex, bool all_hex);

}  // namespace serial
