// Layout constants of compound files and little-endian field access (internal).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace platform::storage::format {

inline constexpr std::uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

inline constexpr std::size_t kHeaderSize = 512;
inline constexpr std::size_t kSectorSize = 512;  // what we write
inline constexpr std::size_t kMiniSectorSize = 64;
inline constexpr std::uint32_t kMiniCutoff = 4096;
inline constexpr std::size_t kDirEntrySize = 128;
inline constexpr std::size_t kHeaderDifatEntries = 109;
inline constexpr std::uint16_t kMinorVersion = 0x003E;
inline constexpr std::uint16_t kByteOrderMark = 0xFFFE;

// Special sector ids.
inline constexpr std::uint32_t kMaxRegSect = 0xFFFFFFFA;
inline constexpr std::uint32_t kDifSect = 0xFFFFFFFC;
inline constexpr std::uint32_t kFatSect = 0xFFFFFFFD;
inline constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
inline constexpr std::uint32_t kFreeSect = 0xFFFFFFFF;
inline constexpr std::uint32_t kNoStream = 0xFFFFFFFF;

// Header field offsets.
inline constexpr std::size_t kOffMinor = 0x18;
inline constexpr std::size_t kOffMajor = 0x1A;
inline constexpr std::size_t kOffByteOrder = 0x1C;
inline constexpr std::size_t kOffSectorShift = 0x1E;
inline constexpr std::size_t kOffMiniShift = 0x20;
inline constexpr std::size_t kOffDirSectors = 0x28;
inline constexpr std::size_t kOffFatSectors = 0x2C;
inline constexpr std::size_t kOffFirstDir = 0x30;
inline constexpr std::size_t kOffMiniCutoff = 0x38;
inline constexpr std::size_t kOffFirstMiniFat = 0x3C;
inline constexpr std::size_t kOffMiniFatSectors = 0x40;
inline constexpr std::size_t kOffFirstDifat = 0x44;
inline constexpr std::size_t kOffDifatSectors = 0x48;
inline constexpr std::size_t kOffDifat = 0x4C;

// Directory entry field offsets.
inline constexpr std::size_t kEntName = 0x00;
inline constexpr std::size_t kEntNameLen = 0x40;
inline constexpr std::size_t kEntType = 0x42;
inline constexpr std::size_t kEntColour = 0x43;
inline constexpr std::size_t kEntLeft = 0x44;
inline constexpr std::size_t kEntRight = 0x48;
inline constexpr std::size_t kEntChild = 0x4C;
inline constexpr std::size_t kEntClsid = 0x50;
inline constexpr std::size_t kEntState = 0x60;
inline constexpr std::size_t kEntCreated = 0x64;
inline constexpr std::size_t kEntModified = 0x6C;
inline constexpr std::size_t kEntStart = 0x74;
inline constexpr std::size_t kEntSize = 0x78;

inline constexpr std::uint8_t kTypeUnused = 0;
inline constexpr std::uint8_t kTypeStorage = 1;
inline constexpr std::uint8_t kTypeStream = 2;
inline constexpr std::uint8_t kTypeRoot = 5;
inline constexpr std::uint8_t kRed = 0;
inline constexpr std::uint8_t kBlack = 1;

inline std::uint16_t get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t get64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(get32(p)) | (static_cast<std::uint64_t>(get32(p + 4)) << 32);
}
inline void put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void put64(std::uint8_t* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace platform::storage::format
