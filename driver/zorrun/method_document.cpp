#include "driver/zorrun/method_document.h"

#include "driver/zorrun/run_preparation.h"
#include "platform/com/hresult.h"
#include "platform/storage/method_codec.h"
#include "utilities/message_boxes.h"

namespace zorrun {

namespace com = platform::com;
namespace stg = platform::storage;

namespace {

std::string describe_failure(const std::string& shown, const std::string& path, const std::string& reason) {
    return shown + " (" + path + (reason.empty() ? "" : ": " + reason) + ")";
}

}  // namespace

std::int32_t read_method_stream(const stg::Storage& storage, std::string_view name,
                                std::vector<std::string>& lines, std::string* shown) {
    lines.clear();
    const auto fail = [&](com::HRESULT hr, const std::string& text) {
        putils::show_error(text);
        if (shown) *shown = text;
        return hr;
    };
    auto stream = storage.open_stream(name);
    if (!stream) {
        const com::HRESULT hr = stg::storage_hresult(stream.error());
        return fail(hr, "cant open " + std::string(name) + " stream: " + stg::message_code(hr));
    }
    // The whole stream: a method cut at some length would run without its end.
    const std::uint64_t size = stream->size();
    if (size > method_stream_limit) {
        const com::HRESULT hr = com::STG_E_DOCFILETOOLARGE;
        return fail(hr, "cant read " + std::string(name) + " stream: " + stg::message_code(hr) + " (" +
                            std::to_string(size) + " bytes; a method holds at most " +
                            std::to_string(method_stream_limit) + ")");
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    std::size_t got = 0;
    while (got < bytes.size()) {
        const std::size_t n = stream->read(bytes.data() + got, bytes.size() - got);
        if (n == 0) break;
        got += n;
    }
    bytes.resize(got);
    lines = stg::method_stream_lines(bytes);
    return 0;
}

std::int32_t read_document_method(const std::string& path, std::vector<std::string>& lines,
                                  std::string* failure_text) {
    lines.clear();
    const auto fail = [&](com::HRESULT hr, const std::string& shown, const std::string& reason) {
        putils::show_error(shown);
        if (failure_text) *failure_text = describe_failure(shown, path, reason);
        return hr;
    };
    // The storage layer opens only regular files, and never in a way that could wait.
    auto file = stg::CompoundFile::open(path, stg::Mode::read_only);
    if (!file) {
        const com::HRESULT hr =
            stg::document_hresult(file.error(), stg::file_has_compound_file_signature(path));
        return fail(hr, "cant open storage: " + stg::message_code(hr), file.result().message());
    }
    auto zor = file->root().open_storage(stg::method_storage_name);
    if (!zor) {
        const com::HRESULT hr = stg::storage_hresult(zor.error());
        return fail(hr, "cant open Zor substorage: " + stg::message_code(hr), zor.result().message());
    }
    std::string shown;
    const std::int32_t hr = read_method_stream(*zor, stg::data_stream_name, lines, &shown);
    if (hr != 0 && failure_text) *failure_text = describe_failure(shown, path, "");
    return hr;
}

bool read_storage_bytes_method(std::string_view bytes, std::vector<std::string>& lines) {
    lines.clear();
    auto file = stg::CompoundFile::open_bytes(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    if (!file) return false;
    return read_method_stream(file->root(), stg::data_stream_name, lines) == 0;
}

}  // namespace zorrun
