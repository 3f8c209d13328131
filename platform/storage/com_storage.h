// Storages and streams as COM objects, the way an in-process server receives a host
// document: the host hands an IUnknown that answers IStorage, and the server creates and
// opens its streams through it. Both sides may be separate modules with their own copy of
// this layer: only the interfaces' slots cross between them.
//
// Modes as the documents use them: read 0x0, write 0x1, read-write 0x2, share-exclusive 0x10,
// create 0x1000 (CreateStream replaces an existing stream of that name; without it an
// existing one gives STG_E_FILEALREADYEXISTS). Names are 0-terminated UTF-16.
// Thread contract: the thread that uses the storage handle.
#pragma once

#include <cstdint>

#include "platform/com/unknown.h"
#include "platform/storage/cfb_file.h"

namespace platform::storage {

inline constexpr std::uint32_t STGM_READ = 0x0;
inline constexpr std::uint32_t STGM_WRITE = 0x1;
inline constexpr std::uint32_t STGM_READWRITE = 0x2;
inline constexpr std::uint32_t STGM_SHARE_EXCLUSIVE = 0x10;
inline constexpr std::uint32_t STGM_CREATE = 0x1000;

struct ISequentialStream : com::IUnknown {
    // Reads up to `count` bytes; *done (may be null) gets the bytes read, 0 at the end.
    virtual com::HRESULT Read(void* buffer, std::uint32_t count, std::uint32_t* done) = 0;
    virtual com::HRESULT Write(const void* data, std::uint32_t count, std::uint32_t* done) = 0;

  protected:
    ~ISequentialStream() = default;
};

struct IStream : ISequentialStream {
    static constexpr com::IID iid = com::guid("{0000000C-0000-0000-C000-000000000046}");

  protected:
    ~IStream() = default;
};

struct IStorage : com::IUnknown {
    static constexpr com::IID iid = com::guid("{0000000B-0000-0000-C000-000000000046}");
    virtual com::HRESULT CreateStream(const char16_t* name, std::uint32_t mode, std::uint32_t reserved1,
                                      std::uint32_t reserved2, IStream** stream) = 0;
    virtual com::HRESULT OpenStream(const char16_t* name, void* reserved1, std::uint32_t mode,
                                    std::uint32_t reserved2, IStream** stream) = 0;

  protected:
    ~IStorage() = default;
};

// The storage as a COM object (one reference, the caller's). Opening with write access needs
// a storage of a file opened read-write.
com::ComPtr<IStorage> make_com_storage(Storage storage);

// The HRESULT that stands for a storage error (STG_E_..., E_FAIL for the rest).
com::HRESULT storage_hresult(StgError error);

}  // namespace platform::storage
