#include "serial/dispatch_log.h"

#include <sys/utsname.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "serial/base_component.h"
#include "serial/errors.h"
#include "serial/string_resource.h"
#include "serial/text_file.h"
#include "serial/tick_timer.h"
#include "serial/trace.h"

namespace serial {

namespace {

constexpr int kLineLimit = 78;
constexpr int kDataColumn = 45;  // data bytes start after the fixed columns

std::string Trim(std::string s) {
    auto first = s.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    auto last = s.find_last_not_of(' ');
    return s.substr(first, last - first + 1);
}

void PutU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t GetU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::string CompilerText() {
#if defined(__clang__)
    return std::string("Clang ") + __clang_version__;
#elif defined(__GNUC__)
    return std::string("GCC ") + __VERSION__;
#else
    return "C++ compiler";
#endif
}

// "Unknown" + major + "." + minor + " " + the system's name: this platform is none of the three
// the format names.
std::string OperatingSystemText() {
    utsname u{};
    if (::uname(&u) != 0) return "Unknown0.0 ";
    unsigned major = 0, minor = 0;
    std::sscanf(u.release, "%u.%u", &major, &minor);
    return "Unknown" + std::to_string(major) + "." + std::to_string(minor) + " " + u.sysname;
}

std::string DateTimeText() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%d/%m/%y, %H:%M:%S", &tm);
    return text;
}

}  // namespace

std::string LogTimeText(std::int32_t ms) {
    std::int64_t value = ms;
    bool negative = value < 0;
    if (negative) value = -value;
    char digits[24];
    std::snprintf(digits, sizeof digits, "%07lld", static_cast<long long>(value));
    std::string text = digits;
    // The point goes before the last three digits, so times of 10,000 s and more keep three decimals.
    text.insert(text.size() - 3, ".");
    return negative ? "-" + text : text;
}

std::string FormatLogEntry(const TSpDispatchLog::Entry& e, bool in_hex, bool all_hex) {
    const auto& table = ErrorStrings();
    std::string type_name = e.type <= dtUser ? table.GetString(idLogTypeBase + e.type) : std::string();
    std::string subtype_name = table.GetString(idLogSubtypeBase + e.subtype);
    char head[128];
    std::snprintf(head, sizeof head, "%8s  %-8s  %-12s  %08x  ", LogTimeText(e.time_ms).c_str(),
                  type_name.c_str(), subtype_name.c_str(), e.data);
    std::string line = head;
    if (e.bytes.empty()) {
        if (e.type == dtTelnet) {
            std::string option = e.data <= 42 ? table.GetString(idTelnetOptionBase + e.data) : std::string();
            line += " [" + Trim(option) + "]";
        }
    } else if ((e.type == dtTriggerAlloc || e.type == dtTriggerDispose) && e.subtype == dstStatusTrigger) {
        static constexpr const char* kKinds[] = {"(Not active)",         "(Modem status)",
                                                 "(Line status)",        "(Output buffer free)",
                                                 "(Output buffer used)", "(Output sent)"};
        if (e.bytes[0] < 6) line += kKinds[e.bytes[0]];
    } else {
        int column = kDataColumn;
        for (std::uint8_t b : e.bytes) {
            ByteDisplay d = (e.type == dtUser && all_hex)
                                ? ByteDisplay{std::string(1, static_cast<char>(b)), 1}
                                : DisplayByte(b, in_hex, all_hex);
            column += d.width;
            if (column > kLineLimit) {
                line += "\r\n" + std::string(44, ' ');
                column = d.width + kDataColumn;
            }
            line += d.text;
        }
    }
    if (e.subtype == dstModemStatus) {
        std::string bits;
        for (int bit = 0; bit < 8; ++bit)
            if (e.data & (1u << bit)) bits += table.GetString(idModemBitBase + bit);
        line += " (" + Trim(bits) + ")";
    }
    return line;
}

std::int32_t TSpDispatchLog::Init(std::uint32_t size) {
    if (size > kMaxLogBytes) return ecBadArgument;
    if (!ring_.empty())
        Clear();
    else {
        ring_.assign(size, 0);
        head_ = tail_ = 0;
        free_ = size;
    }
    MarkStart();
    active_ = !ring_.empty();
    return 0;
}

void TSpDispatchLog::Clear() {
    head_ = tail_ = 0;
    free_ = Size();
}

void TSpDispatchLog::Start() {
    active_ = !ring_.empty();
}
void TSpDispatchLog::Stop() {
    active_ = false;
}
void TSpDispatchLog::MarkStart() {
    start_ms_ = AdTimeGetTime();
}

void TSpDispatchLog::Free() {
    ring_.clear();
    ring_.shrink_to_fit();
    head_ = tail_ = free_ = 0;
    active_ = false;
}

void TSpDispatchLog::Put(const void* bytes, std::uint32_t count) {
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    const std::uint32_t size = Size();
    std::uint32_t first = std::min(count, size - head_);
    std::memcpy(ring_.data() + head_, p, first);
    std::memcpy(ring_.data(), p + first, count - first);
    head_ = (head_ + count) % size;
    free_ -= count;
}

void TSpDispatchLog::Get(std::uint32_t at, void* out, std::uint32_t count) const {
    auto* p = static_cast<std::uint8_t*>(out);
    const std::uint32_t size = Size();
    at %= size;
    std::uint32_t first = std::min(count, size - at);
    std::memcpy(p, ring_.data() + at, first);
    std::memcpy(p + first, ring_.data(), count - first);
}

void TSpDispatchLog::DropOldest() {
    std::uint8_t header[kLogHeaderSize];
    Get(tail_, header, kLogHeaderSize);
    std::uint32_t total = kLogHeaderSize + GetU32(header + 12);
    tail_ = (tail_ + total) % Size();
    free_ += total;
}

void TSpDispatchLog::AddEntry(std::uint8_t type, std::uint8_t subtype, std::uint32_t data, const void* bytes,
                              std::uint32_t count) {
    AddEntryAt(static_cast<std::int32_t>(AdTimeGetTime() - start_ms_), type, subtype, data, bytes, count);
}

void TSpDispatchLog::AddEntryAt(std::int32_t time_ms, std::uint8_t type, std::uint8_t subtype,
                                std::uint32_t data, const void* bytes, std::uint32_t count) {
    if (ring_.empty()) return;
    if (bytes == nullptr) count = 0;
    std::uint64_t total = std::uint64_t{kLogHeaderSize} + count;
    if (total >= Size()) return;  // could never fit beside anything
    while (free_ < total) DropOldest();
    std::uint8_t header[kLogHeaderSize] = {};
    header[0] = type;
    header[1] = subtype;
    PutU32(header + 4, static_cast<std::uint32_t>(time_ms));
    PutU32(header + 8, data);
    PutU32(header + 12, count);
    Put(header, kLogHeaderSize);
    if (count > 0) Put(bytes, count);
}

std::uint32_t TSpDispatchLog::EntryCount() const {
    std::uint32_t n = 0;
    std::uint32_t at = tail_;
    std::uint32_t used = Size() - free_;
    while (used > 0) {
        std::uint8_t header[kLogHeaderSize];
        Get(at, header, kLogHeaderSize);
        std::uint32_t total = kLogHeaderSize + GetU32(header + 12);
        at = (at + total) % Size();
        used -= total;
        ++n;
    }
    return n;
}

std::vector<TSpDispatchLog::Entry> TSpDispatchLog::Entries() const {
    std::vector<Entry> entries;
    if (ring_.empty()) return entries;
    std::uint32_t at = tail_;
    std::uint32_t used = Size() - free_;
    while (used > 0) {
        std::uint8_t header[kLogHeaderSize];
        Get(at, header, kLogHeaderSize);
        Entry e;
        e.type = header[0];
        e.subtype = header[1];
        e.time_ms = static_cast<std::int32_t>(GetU32(header + 4));
        e.data = GetU32(header + 8);
        std::uint32_t count = GetU32(header + 12);
        e.bytes.resize(count);
        if (count > 0) Get(at + kLogHeaderSize, e.bytes.data(), count);
        at = (at + kLogHeaderSize + count) % Size();
        used -= kLogHeaderSize + count;
        entries.push_back(std::move(e));
    }
    return entries;
}

std::int32_t TSpDispatchLog::Dump(const std::string& file_name, bool append, bool in_hex, bool all_hex,
                                  const std::string& device_name) {
    Stop();
    std::vector<Entry> entries = Entries();
    if (entries.empty()) {
        Free();
        return 0;
    }
    detail::DumpFile file;
    if (std::int32_t rc = file.Open(file_name, append); rc != 0) {
        Free();
        return rc;
    }
    const auto& table = ErrorStrings();
    auto line = [&](const std::string& text) {
        file.Write(text);
        file.LineEnd();
    };
    line("SERIAL " + std::string(kSpVersion));
    line("Compiler : " + CompilerText());
    line("Operating System : " + OperatingSystemText());
    line("Device: " + device_name);
    line("Date/time: " + DateTimeText());
    line(table.GetString(idLogColumns));
    line(table.GetString(idLogRule));
    for (const Entry& e : entries) line(FormatLogEntry(e, in_hex, all_hex));
    std::int32_t rc = file.Close();
    Free();
    return rc;
}

}  // namespace serial
