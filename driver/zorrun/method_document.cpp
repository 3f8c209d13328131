#include "driver/zorrun/method_document.h"

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

}  // namespace

std::int32_t read_method_stream(const stg::Storage& storage, std::string_view name, std::vector<std::string>& lines) {
    lines.clear();
    auto stream = storage.open_stream(name);
    if (!stream) {
        const com::HRESULT hr = storage_code(stream.error(), true);
        putils::show_error("cant open " + std::string(name) + " stream: " + hresult_text(hr));
        return hr;
    }
    // One read of at most the limit, as the documents have always been read.
    std::string bytes(method_stream_limit, '\0');
    bytes.resize(stream->read(bytes.data(), bytes.size()));
    lines = split_stream_text(bytes);
    return 0;
}

std::int32_t read_document_method(std::string_view file_name, std::vector<std::string>& lines) {
    lines.clear();
    const std::string path = core::file_name_to_utf8(file_name);
    auto file = stg::CompoundFile::open(path, stg::Mode::read_only);
    if (!file) {
        const com::HRESULT hr = storage_code(file.error(), file_has_signature(path));
        putils::show_error("cant open storage: " + hresult_text(hr));
        return hr;
    }
    auto zor = file->root().open_storage("Zor");
    if (!zor) {
        const com::HRESULT hr = storage_code(zor.error(), true);
        putils::show_error("cant open Zor substorage: " + hresult_text(hr));
        return hr;
    }
    return read_method_stream(*zor, "Data", lines);
}

bool read_storage_bytes_method(std::string_view bytes, std::vector<std::string>& lines) {
    lines.clear();
    auto file = stg::CompoundFile::open_bytes(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    if (!file) return false;
    return read_method_stream(file->root(), "Data", lines) == 0;
}

}  // namespace zorrun
