// The byte trace of a dispatcher: every byte sent and received, in a ring, written to a text file
// on request.
//
// An entry is a kind ('T' sent, 'R' received, anything else a special kind) and the byte. The ring
// holds `size` entries (at most 4,000,000); when it is full the oldest entries are overwritten.
// Dump writes the entries oldest first: a header line at every change of kind ("Transmit: ",
// "Receive: ", "Special-" + kind + ": "), an empty line before every header but the first, and the
// bytes in lines of at most 78 columns:
//   all hex:            "[" + 2 uppercase hex digits + "]"
//   printable byte:     the character (from the blank, or from "!" with the in-hex option, to "~")
//   other, in hex:      "[" + 2 hex digits + "]"
//   other, not in hex:  "[" + decimal value + "]"
// Lines end with CR LF.
//
// Thread contract: not locked; the owning dispatcher calls every operation under its general lock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace serial {

inline constexpr std::uint32_t kMaxTraceEntries = 4'000'000;
inline constexpr char kTraceSent = 'T';
inline constexpr char kTraceReceived = 'R';

class TSpTrace {
  public:
    // size above 4,000,000: -1002 and nothing changes. With a buffer: Clear(); else allocate `size`
    // zeroed entries. Then active; 0.
    std::int32_t Init(std::uint32_t size);
    // Head 0, not wrapped.
    void Clear();
    // Active := true (only with a buffer) / false.
    void Start();
    void Stop();
    // With a buffer (active or not, as the dispatcher only calls it while active): store the entry
    // at the head, advance it; at the end of the ring, head 0 and wrapped.
    void Add(char kind, std::uint8_t byte);
    // Stops, writes the entries to `file_name` (Windows-1252; appending when `append` is set and
    // the file exists, else creating it anew), frees the buffer. Nothing recorded: writes nothing
    // (no file is made) and gives 0. An open or write failure gives the negated I/O error code
    // (2 no such folder, 5 access denied, 101 disk full ...). The buffer is freed in every case.
    std::int32_t Dump(const std::string& file_name, bool append, bool in_hex, bool all_hex);
    // Frees the buffer without writing (tracing switched off).
    void Free();

    bool Allocated() const { return !buffer_.empty(); }
    bool Active() const { return active_; }
    std::uint32_t Size() const { return static_cast<std::uint32_t>(buffer_.size() / 2); }
    std::uint32_t Head() const { return head_; }
    bool Wrapped() const { return wrapped_; }

  private:
    std::vector<std::uint8_t> buffer_;  // 2 bytes per entry: kind, byte
    std::uint32_t head_ = 0;
    bool wrapped_ = false;
    bool active_ = false;
};

// Shared by both dumps: the text of one byte and its width in columns.
struct ByteDisplay {
    std::string text;
    int width = 0;
};
ByteDisplay DisplayByte(std::uint8_t byte, bool in_hex, bool all_hex);

// errno of a failed file operation as the I/O error number a dump returns (negated by the caller).
std::int32_t IoErrorFromErrno(int error_number);

}  // namespace serial
