// The method document as a file, written by the platform's storage layer: the storage "Zor" and
// its stream "Data". (The tests keep their own compound-file writer, which shares no code with
// this one, as the oracle for the readers.)
#include "platform/storage/cfb_file.h"
#include "platform/storage/method_codec.h"
#include "tools/zorctl/document.h"

namespace zorctl {

namespace stg = platform::storage;

std::vector<std::uint8_t> stream_bytes(const std::vector<std::string>& lines) {
    return stg::method_stream_bytes(lines);
}

bool write_method_document(const std::filesystem::path& path, const std::vector<std::uint8_t>& data,
                           std::string& error) {
    // The name goes to the file system as given: UTF-8 bytes, whatever their characters.
    auto file = stg::CompoundFile::create(path.string());
    if (!file) {
        error = file.result().message();
        return false;
    }
    auto zor = file->root().create_storage(stg::method_storage_name);
    if (!zor) {
        error = zor.result().message();
        return false;
    }
    auto stream = zor->create_stream(stg::data_stream_name, true);
    if (!stream) {
        error = stream.result().message();
        return false;
    }
    if (auto written = stream->write(data.data(), data.size()); !written) {
        error = written.message();
        return false;
    }
    if (auto committed = file->commit(); !committed) {
        error = committed.message();
        return false;
    }
    return true;
}

}  // namespace zorctl
