#include "driver/zorrun/compound_reader.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace zorrun {

namespace com = platform::com;

namespace {

constexpr std::uint32_t free_sector = 0xFFFFFFFF;
constexpr std::uint32_t end_of_chain = 0xFFFFFFFE;
constexpr std::uint32_t no_entry = 0xFFFFFFFF;
constexpr std::size_t header_size = 512;
constexpr std::size_t entry_size = 128;
constexpr std::uint32_t mini_sector_size = 64;
constexpr unsigned char signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

char16_t upper(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
    return c;
}

bool same_name(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

}  // namespace

std::uint32_t CompoundFile::u32(std::size_t offset) const {
    std::uint32_t v = 0;
    std::memcpy(&v, data_.data() + offset, 4);
    return v;
}

com::HRESULT CompoundFile::chain(std::uint32_t start, bool mini, std::size_t bytes_wanted, std::string& out) const {
    out.clear();
    const std::vector<std::uint32_t>& table = mini ? mini_fat_ : fat_;
    const std::size_t unit = mini ? mini_sector_size : sector_size_;
    const std::string& source = mini ? mini_stream_ : data_;
    const std::size_t base = mini ? 0 : sector_size_;  // sector n is at (n + 1) * size
    std::uint32_t sector = start;
    // A sector met twice is a cycle.
    std::vector<bool> visited(table.size(), false);
    while (out.size() < bytes_wanted) {
        if (sector == end_of_chain) return com::STG_E_DOCFILECORRUPT;  // shorter than its size
        if (sector >= table.size() || visited[sector]) return com::STG_E_DOCFILECORRUPT;
        visited[sector] = true;
        const std::size_t offset = base + std::size_t(sector) * unit;
        if (offset + unit > source.size()) return com::STG_E_DOCFILECORRUPT;
        out.append(source, offset, std::min(unit, bytes_wanted - out.size()));
        sector = table[sector];
    }
    return com::S_OK;
}

com::HRESULT CompoundFile::open(std::string bytes) {
    data_ = std::move(bytes);
    if (data_.size() < header_size || std::memcmp(data_.data(), signature, 8) != 0) return com::STG_E_INVALIDHEADER;
    const auto u16 = [this](std::size_t offset) {
        return static_cast<std::uint16_t>(static_cast<unsigned char>(data_[offset]) |
                                          (static_cast<unsigned char>(data_[offset + 1]) << 8));
    };
    const std::uint16_t major = u16(0x1A);
    const std::uint16_t shift = u16(0x1E);
    if (u16(0x1C) != 0xFFFE || !((major == 3 && shift == 9) || (major == 4 && shift == 12)) || u16(0x20) != 6)
        return com::STG_E_INVALIDHEADER;
    sector_size_ = 1u << shift;
    if (data_.size() < sector_size_) return com::STG_E_INVALIDHEADER;
    sector_count_ = static_cast<std::uint32_t>((data_.size() - sector_size_ + sector_size_ - 1) / sector_size_);
    const std::uint32_t fat_sectors = u32(0x2C);
    const std::uint32_t first_directory = u32(0x30);
    mini_cutoff_ = u32(0x38);
    const std::uint32_t first_mini_fat = u32(0x3C);
    const std::uint32_t mini_fat_sectors = u32(0x40);
    std::uint32_t difat_sector = u32(0x44);
    const std::uint32_t difat_sectors = u32(0x48);
    if (fat_sectors > sector_count_ || mini_fat_sectors > sector_count_ || difat_sectors > sector_count_)
        return com::STG_E_DOCFILECORRUPT;

    // The FAT's sectors: 109 in the header, the rest in the DIFAT chain.
    std::vector<std::uint32_t> fat_list;
    for (std::uint32_t i = 0; i < 109 && fat_list.size() < fat_sectors; ++i) fat_list.push_back(u32(0x4C + 4 * i));
    const std::uint32_t per_difat = sector_size_ / 4 - 1;
    for (std::uint32_t n = 0; fat_list.size() < fat_sectors; ++n) {
        if (n >= difat_sectors || difat_sector >= sector_count_) return com::STG_E_DOCFILECORRUPT;
        const std::size_t offset = std::size_t(difat_sector + 1) * sector_size_;
        for (std::uint32_t i = 0; i < per_difat && fat_list.size() < fat_sectors; ++i)
            fat_list.push_back(u32(offset + 4 * i));
        difat_sector = u32(offset + 4 * per_difat);
    }
    fat_.clear();
    for (std::uint32_t s : fat_list) {
        if (s >= sector_count_) return com::STG_E_DOCFILECORRUPT;
        const std::size_t offset = std::size_t(s + 1) * sector_size_;
        if (offset + sector_size_ > data_.size()) return com::STG_E_DOCFILECORRUPT;
        for (std::uint32_t i = 0; i < sector_size_ / 4; ++i) fat_.push_back(u32(offset + 4 * i));
    }
    // Entries beyond the file's sectors can only be free.
    if (fat_.size() > sector_count_) fat_.resize(sector_count_);

    // The directory: a chain of sectors of 128-byte entries.
    std::string directory;
    {
        std::uint32_t sector = first_directory;
        std::vector<bool> visited(fat_.size(), false);
        while (sector != end_of_chain) {
            if (sector >= fat_.size() || visited[sector]) return com::STG_E_DOCFILECORRUPT;
            visited[sector] = true;
            directory.append(data_, std::size_t(sector + 1) * sector_size_, sector_size_);
            sector = fat_[sector];
        }
    }
    entries_.clear();
    for (std::size_t offset = 0; offset + entry_size <= directory.size(); offset += entry_size) {
        const char* e = directory.data() + offset;
        Entry entry;
        std::uint16_t name_bytes = 0;
        std::memcpy(&name_bytes, e + 0x40, 2);
        entry.type = static_cast<std::uint8_t>(e[0x42]);
        if (name_bytes > 64 || name_bytes % 2) return com::STG_E_DOCFILECORRUPT;
        for (std::size_t i = 0; i + 1 < name_bytes; i += 2) {
            const auto c = static_cast<char16_t>(static_cast<unsigned char>(e[i]) |
                                                 (static_cast<unsigned char>(e[i + 1]) << 8));
            if (c == 0) break;
            entry.name.push_back(c);
        }
        std::memcpy(&entry.left, e + 0x44, 4);
        std::memcpy(&entry.right, e + 0x48, 4);
        std::memcpy(&entry.child, e + 0x4C, 4);
        std::memcpy(&entry.start, e + 0x74, 4);
        std::memcpy(&entry.size, e + 0x78, 8);
        if (major == 3) entry.size &= 0xFFFFFFFFu;
        entries_.push_back(std::move(entry));
    }
    if (entries_.empty() || entries_[0].type != 5) return com::STG_E_DOCFILECORRUPT;

    // The mini FAT and the mini stream (the root entry's data).
    mini_fat_.clear();
    std::string mini_fat_bytes;
    if (mini_fat_sectors > 0) {
        const com::HRESULT hr = chain(first_mini_fat, false, std::size_t(mini_fat_sectors) * sector_size_, mini_fat_bytes);
        if (com::failed(hr)) return hr;
    }
    for (std::size_t i = 0; i + 4 <= mini_fat_bytes.size(); i += 4) {
        std::uint32_t v = 0;
        std::memcpy(&v, mini_fat_bytes.data() + i, 4);
        mini_fat_.push_back(v);
    }
    mini_stream_.clear();
    const Entry& root_entry = entries_[0];
    if (root_entry.size > data_.size()) return com::STG_E_DOCFILECORRUPT;
    if (root_entry.size > 0) {
        const com::HRESULT hr = chain(root_entry.start, false, static_cast<std::size_t>(root_entry.size), mini_stream_);
        if (com::failed(hr)) return hr;
    }
    return com::S_OK;
}

com::HRESULT CompoundFile::find_child(Storage parent, std::u16string_view name, std::uint8_t type,
                                      std::uint32_t& found) const {
    if (parent.entry >= entries_.size()) return com::STG_E_INVALIDPOINTER;
    // Every entry of the sibling tree, with a step limit against cycles.
    std::vector<std::uint32_t> pending = {entries_[parent.entry].child};
    std::vector<bool> visited(entries_.size(), false);
    while (!pending.empty()) {
        const std::uint32_t id = pending.back();
        pending.pop_back();
        if (id == no_entry) continue;
        if (id >= entries_.size() || id == 0 || visited[id]) return com::STG_E_DOCFILECORRUPT;
        visited[id] = true;
        const Entry& e = entries_[id];
        if (same_name(e.name, name) && (e.type == type)) {
            found = id;
            return com::S_OK;
        }
        pending.push_back(e.left);
        pending.push_back(e.right);
    }
    return com::STG_E_FILENOTFOUND;
}

com::HRESULT CompoundFile::open_storage(Storage parent, std::u16string_view name, Storage& child) const {
    return find_child(parent, name, 1, child.entry);
}

com::HRESULT CompoundFile::find_stream(Storage parent, std::u16string_view name, std::uint32_t& stream) const {
    return find_child(parent, name, 2, stream);
}

com::HRESULT CompoundFile::read_stream(std::uint32_t stream, std::size_t limit, std::string& bytes) const {
    bytes.clear();
    if (stream >= entries_.size() || entries_[stream].type != 2) return com::STG_E_INVALIDPOINTER;
    const Entry& e = entries_[stream];
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(e.size, limit));
    if (wanted == 0) return com::S_OK;
    return chain(e.start, e.size < mini_cutoff_, wanted, bytes);
}

}  // namespace zorrun
