#include "platform/storage/com_storage.h"

#include <new>

#include "platform/com/text.h"

namespace platform::storage {

using com::HRESULT;

HRESULT storage_hresult(StgError error) {
    switch (error) {
        case StgError::ok:
            return com::S_OK;
        case StgError::file_not_found:
        case StgError::not_found:
            return com::STG_E_FILENOTFOUND;
        case StgError::path_not_found:
            return com::STG_E_PATHNOTFOUND;
        case StgError::access_denied:
            return com::STG_E_ACCESSDENIED;
        case StgError::share_violation:
            return com::STG_E_SHAREVIOLATION;
        case StgError::already_exists:
            return com::STG_E_FILEALREADYEXISTS;
        case StgError::invalid_header:
            return com::STG_E_INVALIDHEADER;
        case StgError::file_corrupt:
            return com::STG_E_DOCFILECORRUPT;
        case StgError::read_fault:
            return com::STG_E_READFAULT;
        case StgError::invalid_name:
            return com::STG_E_INVALIDPOINTER;
        case StgError::medium_full:
            return com::STG_E_MEDIUMFULL;
        case StgError::write_fault:
            return com::STG_E_WRITEFAULT;
        default:
            return com::E_FAIL;
    }
}

namespace {

class ComStream final : public com::ComObject<IStream> {
  public:
    explicit ComStream(Stream stream, bool writable) : stream_(std::move(stream)), writable_(writable) {}

    HRESULT Read(void* buffer, std::uint32_t count, std::uint32_t* done) override {
        if (done) *done = 0;
        if (!buffer && count) return com::STG_E_INVALIDPOINTER;
        const std::size_t n = stream_.read(buffer, count);
        if (done) *done = static_cast<std::uint32_t>(n);
        return com::S_OK;
    }
    HRESULT Write(const void* data, std::uint32_t count, std::uint32_t* done) override {
        if (done) *done = 0;
        if (!data && count) return com::STG_E_INVALIDPOINTER;
        if (!writable_) return com::STG_E_ACCESSDENIED;
        const StgResult r = stream_.write(data, count);
        if (!r.ok()) return storage_hresult(r.error());
        if (done) *done = count;
        return com::S_OK;
    }

  private:
    Stream stream_;
    bool writable_;
};

class ComStorage final : public com::ComObject<IStorage> {
  public:
    explicit ComStorage(Storage storage) : storage_(std::move(storage)) {}

    HRESULT CreateStream(const char16_t* name, std::uint32_t mode, std::uint32_t, std::uint32_t,
                         IStream** stream) override {
        if (!stream) return com::STG_E_INVALIDPOINTER;
        *stream = nullptr;
        if (!name) return com::STG_E_INVALIDPOINTER;
        auto made = storage_.create_stream(com::utf8_from_utf16(name), (mode & STGM_CREATE) != 0);
        if (!made) return storage_hresult(made.error());
        *stream = new (std::nothrow) ComStream(std::move(*made), (mode & 0x3) != STGM_READ);
        return *stream ? com::S_OK : com::E_OUTOFMEMORY;
    }
    HRESULT OpenStream(const char16_t* name, void*, std::uint32_t mode, std::uint32_t,
                       IStream** stream) override {
        if (!stream) return com::STG_E_INVALIDPOINTER;
        *stream = nullptr;
        if (!name) return com::STG_E_INVALIDPOINTER;
        auto opened = storage_.open_stream(com::utf8_from_utf16(name));
        if (!opened) return storage_hresult(opened.error());
        *stream = new (std::nothrow) ComStream(std::move(*opened), (mode & 0x3) != STGM_READ);
        return *stream ? com::S_OK : com::E_OUTOFMEMORY;
    }

  private:
    Storage storage_;
};

}  // namespace

com::ComPtr<IStorage> make_com_storage(Storage storage) {
    return com::ComPtr<IStorage>::adopt(new ComStorage(std::move(storage)));
}

}  // namespace platform::storage
