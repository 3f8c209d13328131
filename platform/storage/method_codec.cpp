#include "platform/storage/method_codec.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/storage/cfb_text.h"

namespace platform::storage {

std::vector<std::string> method_stream_lines(std::span<const std::uint8_t> bytes) {
    return utf16le_lines(bytes);
}

std::vector<std::uint8_t> method_stream_bytes(const std::vector<std::string>& lines) {
    return utf16le_from_lines(lines);
}

com::HRESULT write_stream_line(IStream& stream, std::string_view line) {
    const std::vector<std::uint8_t> bytes = utf16le_from_lines({std::string(line)});
    std::uint32_t written = 0;
    const com::HRESULT hr = stream.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written);
    if (com::failed(hr)) return hr;
    return written == bytes.size() ? com::S_OK : com::STG_E_MEDIUMFULL;
}

com::HRESULT read_stream_bytes(IStream& stream, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    std::uint8_t chunk[40000];
    for (;;) {
        std::uint32_t got = 0;
        const com::HRESULT hr = stream.Read(chunk, sizeof chunk, &got);
        if (com::failed(hr)) return hr;
        if (got == 0) return com::S_OK;
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
}

bool take_syringe_line(std::vector<std::string>& lines, std::string& syringe) {
    if (lines.empty()) return false;
    syringe = std::move(lines.front());
    lines.erase(lines.begin());
    return true;
}

bool has_compound_file_signature(std::span<const std::uint8_t> bytes) {
    static constexpr std::uint8_t signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    return bytes.size() >= sizeof signature && std::memcmp(bytes.data(), signature, sizeof signature) == 0;
}

bool file_has_compound_file_signature(const std::string& path) {
    // Only a regular file is read: anything else is no document, and a FIFO could block.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    std::uint8_t head[8] = {};
    ssize_t got = 0;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) got = ::pread(fd, head, sizeof head, 0);
    ::close(fd);
    return got > 0 &&
           has_compound_file_signature(std::span<const std::uint8_t>(head, static_cast<std::size_t>(got)));
}

com::HRESULT document_hresult(StgError error, bool is_compound_file) {
    if (error == StgError::file_corrupt && !is_compound_file) return com::STG_E_INVALIDHEADER;
    return storage_hresult(error);
}

std::string message_code(com::HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "%010X", static_cast<unsigned>(hr));
    return text;
}

std::string storage_failure_words(com::HRESULT hr) {
    switch (hr) {
        case com::S_OK:
            return "no failure";
        case com::STG_E_FILENOTFOUND:
            return "the file does not exist";
        case com::STG_E_PATHNOTFOUND:
            return "its folder does not exist";
        case com::STG_E_ACCESSDENIED:
            return "access is denied";
        case com::STG_E_SHAREVIOLATION:
        case com::STG_E_LOCKVIOLATION:
            return "the file is open elsewhere";
        case com::STG_E_FILEALREADYEXISTS:
            return "it exists already";
        case com::STG_E_MEDIUMFULL:
            return "the disk is full";
        case com::STG_E_INVALIDHEADER:
            return "the file is no compound file";
        case com::STG_E_DOCFILECORRUPT:
            return "the file is damaged";
        case com::STG_E_DOCFILETOOLARGE:
            return "the file is too large";
        case com::STG_E_READFAULT:
            return "it could not be read";
        case com::STG_E_WRITEFAULT:
            return "it could not be written";
        case com::STG_E_INVALIDPOINTER:
            return "a name or place is not valid";
        default:
            return "failure " + com::hresult_text(hr);
    }
}

}  // namespace platform::storage
