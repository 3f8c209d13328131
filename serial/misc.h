// Small helpers of the serial layer: one-message pump, flag test, pointer offset, file test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace serial {

// Handles at most one pending message of the calling thread's queue (the sent messages waiting
// for this thread are served on the way). WM_QUIT is posted again, so the owner's loop still sees
// it. Returns 0 when no message was pending, else the message number in the low 16 bits with
// bit 16 set (so that a handled message is never 0). Must run on the thread that owns the
// windows it serves.
std::uint32_t PumpOneMessage();

// True when flags AND mask is not 0.
constexpr bool FlagIsSet(std::uint32_t flags, std::uint32_t mask) {
    return (flags & mask) != 0;
}

// `pointer` advanced by `count` bytes.
inline void* AddOffset(void* pointer, std::ptrdiff_t count) {
    return static_cast<std::uint8_t*>(pointer) + count;
}
inline const void* AddOffset(const void* pointer, std::ptrdiff_t count) {
    return static_cast<const std::uint8_t*>(pointer) + count;
}

// True when a file (not a folder) of that name exists. The name is Windows-1252.
bool ExistFile(const std::string& name);

}  // namespace serial
