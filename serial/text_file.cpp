#include "serial/text_file.h"

#include <cerrno>

#include "serial/ansi.h"
#include "serial/trace.h"

namespace serial {

std::int32_t IoErrorFromErrno(int e) {
    switch (e) {
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG:
            return 3;  // the folder of the file is missing
        case EMFILE:
        case ENFILE:
            return 4;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return 5;
        case ENOMEM:
            return 8;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return 101;
        case EIO:
            return 160;
        default:
            return 5;
    }
}

namespace detail {

DumpFile::~DumpFile() {
    if (file_) std::fclose(file_);
}

std::int32_t DumpFile::Open(const std::string& name, bool append) {
    file_ = std::fopen(AnsiToUtf8(name).c_str(), append ? "ab" : "wb");
    if (!file_) return -IoErrorFromErrno(errno);
    std::setvbuf(file_, buffer_, _IOFBF, sizeof buffer_);
    return 0;
}

void DumpFile::Write(std::string_view text) {
    if (!file_ || error_ != 0 || text.empty()) return;
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) error_ = errno ? errno : EIO;
}

std::int32_t DumpFile::Close() {
    if (!file_) return 0;
    if (std::fflush(file_) != 0 && error_ == 0) error_ = errno ? errno : EIO;
    if (std::fclose(file_) != 0 && error_ == 0) error_ = errno ? errno : EIO;
    file_ = nullptr;
    return error_ != 0 ? -IoErrorFromErrno(error_) : 0;
}

}  // namespace detail
}  // namespace serial
