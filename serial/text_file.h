// Internal to serial/: the dumps' text file (512-byte buffer, CR LF line ends, errors as negated
// I/O error numbers).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace serial::detail {

class DumpFile {
  public:
    DumpFile() = default;
    DumpFile(const DumpFile&) = delete;
    DumpFile& operator=(const DumpFile&) = delete;
    ~DumpFile();

    // 0, or the negated I/O error of the open. `name` is Windows-1252.
    std::int32_t Open(const std::string& name, bool append);
    void Write(std::string_view text);
    void LineEnd() { Write("\r\n"); }
    // 0, or the negated I/O error of a write or of the close.
    std::int32_t Close();

  private:
    std::FILE* file_ = nullptr;
    char buffer_[512];
    int error_ = 0;
};

}  // namespace serial::detail
