// A reader of compound files (the compound file binary format, versions 3 and 4): the whole
// file is taken as bytes and checked as it is walked; storages and streams are found by name
// and streams read. Nothing is written.
//
// Damaged input is refused, never followed: every sector number is checked against the file,
// every chain walk and tree walk has a step limit, sizes are checked against what the chains
// hold. Failures are the structured-storage codes (STG_E_INVALIDHEADER for bytes that are no
// compound file, STG_E_DOCFILECORRUPT for a damaged one, STG_E_FILENOTFOUND for a name that
// is not there).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/hresult.h"

namespace zorrun {

class CompoundFile {
  public:
    // A storage of the file: its directory entry.
    struct Storage {
        std::uint32_t entry = 0;
    };

    // Takes the file's bytes. S_OK or the failure of the header and the tables.
    platform::com::HRESULT open(std::string bytes);

    Storage root() const { return Storage{0}; }
    // The child storage or stream of that name (names compared without regard to case).
    platform::com::HRESULT open_storage(Storage parent, std::u16string_view name, Storage& child) const;
    platform::com::HRESULT find_stream(Storage parent, std::u16string_view name, std::uint32_t& stream) const;
    // At most `limit` bytes from the start of the stream.
    platform::com::HRESULT read_stream(std::uint32_t stream, std::size_t limit, std::string& bytes) const;

  private:
    struct Entry {
        std::u16string name;
        std::uint8_t type = 0;  // 1 storage, 2 stream, 5 root
        std::uint32_t left = 0, right = 0, child = 0;
        std::uint32_t start = 0;
        std::uint64_t size = 0;
    };
    platform::com::HRESULT find_child(Storage parent, std::u16string_view name, std::uint8_t type,
                                      std::uint32_t& found) const;
    platform::com::HRESULT chain(std::uint32_t start, bool mini, std::size_t bytes_wanted, std::string& out) const;
    std::uint32_t u32(std::size_t offset) const;

    std::string data_;
    std::uint32_t sector_size_ = 512;
    std::uint32_t sector_count_ = 0;
    std::uint32_t mini_cutoff_ = 4096;
    std::vector<std::uint32_t> fat_;
    std::vector<std::uint32_t> mini_fat_;
    std::vector<Entry> entries_;
    std::string mini_stream_;
};

}  // namespace zorrun
