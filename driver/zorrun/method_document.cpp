#include "driver/zorrun/method_document.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "core/line_files.h"
#include "driver/zorrun/run_preparation.h"
#include "platform/com/hresult.h"
#include "utilities/message_boxes.h"

namespace zorrun {

namespace com = platform::com;
namespace stg = platform::storage;

namespace {

constexpr unsigned char compound_file_signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

bool has_signature(std::string_view bytes) {
    return bytes.size() >= sizeof compound_file_signature &&
           std::memcmp(bytes.data(), compound_file_signature, sizeof compound_file_signature) == 0;
}

// The storage layer keeps one "damaged" code; callers of the documents tell bytes that are no
// compound file at all (invalid header) from a damaged one, as the structured-storage codes do.
com::HRESULT storage_code(stg::StgError error, bool signature_present) {
    switch (error) {
        case stg::StgError::ok: return com::S_OK;
        case stg::StgError::file_not_found:
        case stg::StgError::not_found: return com::STG_E_FILENOTFOUND;
        case stg::StgError::path_not_found: return com::STG_E_PATHNOTFOUND;
        case stg::StgError::access_denied: return com::STG_E_ACCESSDENIED;
        case stg::StgError::share_violation: return com::STG_E_SHAREVIOLATION;
        case stg::StgError::invalid_header: return com::STG_E_INVALIDHEADER;
        case stg::StgError::file_corrupt:
            return signature_present ? com::STG_E_DOCFILECORRUPT : com::STG_E_INVALIDHEADER;
        case stg::StgError::read_fault: return com::STG_E_READFAULT;
        default: return com::E_FAIL;
    }
}

bool file_has_signature(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char head[sizeof compound_file_signature] = {};
    in.read(head, sizeof head);
    return has_signature(std::string_view(head, static_cast<std::size_t>(in.gcount())));
}

// A method document is a regular file. Anything else (a FIFO, a device, a folder) could block
// the open or the reads, so it is refused before the storage layer opens it: the open here
// never waits. "" when the path may be opened, else why not.
std::string not_a_regular_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return {};  // the storage layer opens it again and says why it cannot
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return regular ? std::string() : "not a regular file";
}

std::string describe_failure(const std::string& shown, const std::string& path, const std::string& reason) {
    return shown + " (" + path + (reason.empty() ? "" : ": " + reason) + ")";
}

}  // namespace

std::int32_t read_method_stream(const stg::Storage& storage, std::string_view name, std::vector<std::string>& lines,
                                std::string* shown) {
    lines.clear();
    const auto fail = [&](com::HRESULT hr, const std::string& text) {
        putils::show_error(text);
        if (shown) *shown = text;
        return hr;
    };
    auto stream = storage.open_stream(name);
    if (!stream) {
        const com::HRESULT hr = storage_code(stream.error(), true);
        return fail(hr, "cant open " + std::string(name) + " stream: " + hresult_text(hr));
    }
    // The whole stream: a method cut at some length would run without its end.
    const std::uint64_t size = stream->size();
    if (size > method_stream_limit) {
        const com::HRESULT hr = com::STG_E_DOCFILETOOLARGE;
        return fail(hr, "cant read " + std::string(name) + " stream: " + hresult_text(hr) + " (" +
                            std::to_string(size) + " bytes; a method holds at most " +
                            std::to_string(method_stream_limit) + ")");
    }
    std::string bytes(static_cast<std::size_t>(size), '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const std::size_t n = stream->read(bytes.data() + got, bytes.size() - got);
        if (n == 0) break;
        got += n;
    }
    bytes.resize(got);
    lines = split_stream_text(bytes);
    return 0;
}

std::int32_t read_document_method(std::string_view file_name, std::vector<std::string>& lines,
                                  std::string* failure_text) {
    lines.clear();
    const std::string path = core::file_name_to_utf8(file_name);
    const auto fail = [&](com::HRESULT hr, const std::string& shown, const std::string& reason) {
        putils::show_error(shown);
        if (failure_text) *failure_text = describe_failure(shown, std::string(file_name), reason);
        return hr;
    };
    if (const std::string why = not_a_regular_file(path); !why.empty())
        return fail(com::STG_E_ACCESSDENIED, "cant open storage: " + hresult_text(com::STG_E_ACCESSDENIED), why);
    auto file = stg::CompoundFile::open(path, stg::Mode::read_only);
    if (!file) {
        const com::HRESULT hr = storage_code(file.error(), file_has_signature(path));
        return fail(hr, "cant open storage: " + hresult_text(hr), file.result().message());
    }
    auto zor = file->root().open_storage("Zor");
    if (!zor) {
        const com::HRESULT hr = storage_code(zor.error(), true);
        return fail(hr, "cant open Zor substorage: " + hresult_text(hr), zor.result().message());
    }
    std::string shown;
    const std::int32_t hr = read_method_stream(*zor, "Data", lines, &shown);
    if (hr != 0 && failure_text) *failure_text = describe_failure(shown, std::string(file_name), "");
    return hr;
}

bool read_storage_bytes_method(std::string_view bytes, std::vector<std::string>& lines) {
    lines.clear();
    auto file = stg::CompoundFile::open_bytes(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    if (!file) return false;
    return read_method_stream(file->root(), "Data", lines) == 0;
}

}  // namespace zorrun
