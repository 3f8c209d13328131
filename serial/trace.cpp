#include "serial/trace.h"

#include <cstdio>

#include "serial/errors.h"
#include "serial/text_file.h"

namespace serial {

namespace {
constexpr int kLineLimit = 78;
}

ByteDisplay DisplayByte(std::uint8_t byte, bool in_hex, bool all_hex) {
    char text[8];
    if (all_hex) {
        std::snprintf(text, sizeof text, "[%02X]", byte);
        return {text, 4};
    }
    if (byte >= (in_hex ? '!' : ' ') && byte <= '~') return {std::string(1, static_cast<char>(byte)), 1};
    if (in_hex) {
        std::snprintf(text, sizeof text, "[%02X]", byte);
        return {text, 4};
    }
    std::snprintf(text, sizeof text, "[%u]", static_cast<unsigned>(byte));
    return {text, byte < 10 ? 3 : byte < 100 ? 4 : 5};
}

std::int32_t TSpTrace::Init(std::uint32_t size) {
    if (size > kMaxTraceEntries) return ecBadArgument;
    if (!buffer_.empty())
        Clear();
    else
        buffer_.assign(static_cast<std::size_t>(size) * 2, 0);
    active_ = true;
    return 0;
}

void TSpTrace::Clear() {
    head_ = 0;
    wrapped_ = false;
}

void TSpTrace::Start() {
    active_ = !buffer_.empty();
}
void TSpTrace::Stop() {
    active_ = false;
}

void TSpTrace::Add(char kind, std::uint8_t byte) {
    if (buffer_.empty()) return;
    buffer_[2 * static_cast<std::size_t>(head_)] = static_cast<std::uint8_t>(kind);
    buffer_[2 * static_cast<std::size_t>(head_) + 1] = byte;
    if (++head_ >= Size()) {
        head_ = 0;
        wrapped_ = true;
    }
}

void TSpTrace::Free() {
    buffer_.clear();
    buffer_.shrink_to_fit();
    head_ = 0;
    wrapped_ = false;
    active_ = false;
}

std::int32_t TSpTrace::Dump(const std::string& file_name, bool append, bool in_hex, bool all_hex) {
    Stop();
    if (buffer_.empty() || (!wrapped_ && head_ == 0)) {
        Free();
        return 0;
    }
    detail::DumpFile file;
    if (std::int32_t rc = file.Open(file_name, append); rc != 0) {
        Free();
        return rc;
    }
    const std::uint32_t size = Size();
    const std::uint32_t first = wrapped_ ? head_ : 0;
    const std::uint32_t count = wrapped_ ? size : head_;
    int column = 0;
    bool have_kind = false;
    char previous = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::size_t at = 2 * static_cast<std::size_t>((first + i) % size);
        char kind = static_cast<char>(buffer_[at]);
        std::uint8_t byte = buffer_[at + 1];
        if (!have_kind || kind != previous) {
            if (have_kind) {
                file.Write("\r\n");
                file.LineEnd();
                column = 0;
            }
            if (kind == kTraceSent)
                file.Write("Transmit: ");
            else if (kind == kTraceReceived)
                file.Write("Receive: ");
            else
                file.Write(std::string("Special-") + kind + ": ");
            file.LineEnd();
            previous = kind;
            have_kind = true;
        }
        ByteDisplay d = DisplayByte(byte, in_hex, all_hex);
        column += d.width;
        if (column > kLineLimit) {
            file.LineEnd();
            column = d.width;
        }
        file.Write(d.text);
    }
    std::int32_t rc = file.Close();
    Free();
    return rc;
}

}  // namespace serial
