#include "driver/zorrun/method_document.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "core/line_files.h"
#include "driver/zorrun/run_preparation.h"
#include "platform/com/text.h"
#include "utilities/message_boxes.h"

namespace zorrun {

namespace com = platform::com;

namespace {

// Larger files are not method documents of this system; they are not read into memory.
constexpr off_t largest_document = 64 * 1024 * 1024;

// The whole file, opened read-only and locked against other writers while it is read.
com::HRESULT read_file(std::string_view file_name, std::string& bytes) {
    bytes.clear();
    const std::string path = core::file_name_to_utf8(file_name);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM) return com::STG_E_ACCESSDENIED;
        if (errno == ENOTDIR) return com::STG_E_PATHNOTFOUND;
        return com::STG_E_FILENOTFOUND;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return com::STG_E_SHAREVIOLATION;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return com::STG_E_FILENOTFOUND;
    if (info.st_size > largest_document) return com::STG_E_DOCFILECORRUPT;
    bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return com::STG_E_READFAULT;
        done += static_cast<std::size_t>(n);
    }
    return com::S_OK;
}

}  // namespace

std::int32_t read_method_stream(const CompoundFile& file, CompoundFile::Storage storage, std::string_view name,
                                std::vector<std::string>& lines) {
    lines.clear();
    std::uint32_t stream = 0;
    com::HRESULT hr = file.find_stream(storage, com::utf16_from_cp1252(name), stream);
    if (com::failed(hr)) {
        putils::show_error("cant open " + std::string(name) + " stream: " + hresult_text(hr));
        return hr;
    }
    std::string bytes;
    hr = file.read_stream(stream, method_stream_limit, bytes);
    if (com::failed(hr)) {
        putils::show_error("cant read " + std::string(name) + " stream: " + hresult_text(hr));
        return hr;
    }
    lines = split_stream_text(bytes);
    return 0;
}

std::int32_t read_document_method(std::string_view file_name, std::vector<std::string>& lines) {
    lines.clear();
    std::string bytes;
    CompoundFile file;
    com::HRESULT hr = read_file(file_name, bytes);
    if (com::succeeded(hr)) hr = file.open(std::move(bytes));
    if (com::failed(hr)) {
        putils::show_error("cant open storage: " + hresult_text(hr));
        return hr;
    }
    CompoundFile::Storage zor;
    hr = file.open_storage(file.root(), u"Zor", zor);
    if (com::failed(hr)) {
        putils::show_error("cant open Zor substorage: " + hresult_text(hr));
        return hr;
    }
    return read_method_stream(file, zor, "Data", lines);
}

bool read_storage_bytes_method(std::string_view bytes, std::vector<std::string>& lines) {
    lines.clear();
    CompoundFile file;
    if (com::failed(file.open(std::string(bytes)))) return false;
    return read_method_stream(file, file.root(), "Data", lines) == 0;
}

}  // namespace zorrun
