// The method document as a file: a compound file (version 3: 512-byte sectors, 64-byte mini
// sectors below 4096 bytes) with exactly three directory entries, the root, the storage "Zor" and
// its stream "Data". Written here from the format itself, so that the driver's reader and this
// writer share no code and a mistake in one shows against the other.
//
// Layout, in sector order: the FAT sectors, the directory sector, then either the mini FAT and
// the mini stream (a "Data" stream below 4096 bytes) or the stream's own sectors.
#include <cstring>
#include <fstream>
#include <system_error>

#include "tools/zorctl/document.h"

namespace zorctl {

namespace {

constexpr std::uint32_t sector_size = 512;
constexpr std::uint32_t mini_sector_size = 64;
constexpr std::uint32_t mini_stream_cutoff = 4096;
constexpr std::uint32_t entries_per_sector = sector_size / 4;
constexpr std::uint32_t header_difat_entries = 109;

constexpr std::uint32_t FREESECT = 0xFFFFFFFF;
constexpr std::uint32_t ENDOFCHAIN = 0xFFFFFFFE;
constexpr std::uint32_t FATSECT = 0xFFFFFFFD;
constexpr std::uint32_t NOSTREAM = 0xFFFFFFFF;

enum EntryType : std::uint8_t { storage_type = 1, stream_type = 2, root_type = 5 };
constexpr std::uint8_t black = 1;

void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t sectors_for(std::size_t bytes, std::uint32_t size) {
    return static_cast<std::uint32_t>((bytes + size - 1) / size);
}

struct Entry {
    std::u16string name;
    std::uint8_t type;
    std::uint32_t child = NOSTREAM;
    std::uint32_t start = ENDOFCHAIN;
    std::uint32_t size = 0;
};

void put_entry(std::vector<std::uint8_t>& b, std::size_t at, const Entry& e) {
    for (std::size_t i = 0; i < e.name.size(); ++i) put16(b, at + 2 * i, e.name[i]);
    put16(b, at + 64, static_cast<std::uint16_t>(2 * (e.name.size() + 1)));  // with its 0
    b[at + 66] = e.type;
    b[at + 67] = black;
    put32(b, at + 68, NOSTREAM);  // left sibling
    put32(b, at + 72, NOSTREAM);  // right sibling
    put32(b, at + 76, e.child);
    put32(b, at + 116, e.start);
    put32(b, at + 120, e.size);  // the upper half of the size stays 0 in version 3
}

void put_unused_entry(std::vector<std::uint8_t>& b, std::size_t at) {
    put32(b, at + 68, NOSTREAM);
    put32(b, at + 72, NOSTREAM);
    put32(b, at + 76, NOSTREAM);
}

// The whole file.
bool compose(const std::vector<std::uint8_t>& data, std::vector<std::uint8_t>& file, std::string& error) {
    const bool mini = data.size() < mini_stream_cutoff;
    const std::uint32_t mini_sectors = mini ? sectors_for(data.size(), mini_sector_size) : 0;
    const std::uint32_t mini_fat_sectors = sectors_for(mini_sectors * 4u, sector_size);
    const std::uint32_t content_sectors =
        mini ? sectors_for(std::size_t(mini_sectors) * mini_sector_size, sector_size)
             : sectors_for(data.size(), sector_size);
    const std::uint32_t other_sectors = 1 + mini_fat_sectors + content_sectors;  // + the directory
    // The FAT covers its own sectors too.
    std::uint32_t fat_sectors = 1;
    while (fat_sectors * entries_per_sector < fat_sectors + other_sectors) ++fat_sectors;
    if (fat_sectors > header_difat_entries) {
        error = "the stream is too long for a document";
        return false;
    }
    const std::uint32_t directory = fat_sectors;
    const std::uint32_t first_mini_fat = directory + 1;
    const std::uint32_t first_content = first_mini_fat + mini_fat_sectors;
    const std::uint32_t total = first_content + content_sectors;

    file.assign(sector_size * (1 + std::size_t(total)), 0);
    auto sector = [](std::uint32_t n) { return sector_size * (1 + std::size_t(n)); };

    // Header.
    static const std::uint8_t signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(file.data(), signature, sizeof signature);
    put16(file, 0x18, 0x003E);  // minor version
    put16(file, 0x1A, 0x0003);  // major version
    put16(file, 0x1C, 0xFFFE);  // little-endian
    put16(file, 0x1E, 9);       // 512-byte sectors
    put16(file, 0x20, 6);       // 64-byte mini sectors
    put32(file, 0x2C, fat_sectors);
    put32(file, 0x30, directory);
    put32(file, 0x38, mini_stream_cutoff);
    put32(file, 0x3C, mini_fat_sectors ? first_mini_fat : ENDOFCHAIN);
    put32(file, 0x40, mini_fat_sectors);
    put32(file, 0x44, ENDOFCHAIN);  // no DIFAT sectors
    put32(file, 0x48, 0);
    for (std::uint32_t i = 0; i < header_difat_entries; ++i)
        put32(file, 0x4C + 4 * i, i < fat_sectors ? i : FREESECT);

    // FAT: every entry free, then the chains.
    std::vector<std::uint32_t> fat(std::size_t(fat_sectors) * entries_per_sector, FREESECT);
    for (std::uint32_t i = 0; i < fat_sectors; ++i) fat[i] = FATSECT;
    auto chain = [&fat](std::uint32_t first, std::uint32_t count) {
        for (std::uint32_t i = 0; i < count; ++i) fat[first + i] = i + 1 < count ? first + i + 1 : ENDOFCHAIN;
    };
    chain(directory, 1);
    chain(first_mini_fat, mini_fat_sectors);
    chain(first_content, content_sectors);
    for (std::size_t i = 0; i < fat.size(); ++i) put32(file, sector(0) + 4 * i, fat[i]);

    // Mini FAT: one chain for the stream, the rest of the sector free.
    for (std::uint32_t i = 0; i < mini_fat_sectors * entries_per_sector; ++i) {
        const std::uint32_t v = i < mini_sectors ? (i + 1 < mini_sectors ? i + 1 : ENDOFCHAIN) : FREESECT;
        put32(file, sector(first_mini_fat) + 4 * std::size_t(i), v);
    }

    // Directory: the root (holding the mini stream), "Zor" under it, "Data" under that.
    Entry root{u"Root Entry", root_type, 1};
    Entry zor{u"Zor", storage_type, 2};
    Entry stream{u"Data", stream_type, NOSTREAM};
    stream.size = static_cast<std::uint32_t>(data.size());
    if (mini && mini_sectors) {
        root.start = first_content;
        root.size = mini_sectors * mini_sector_size;
        stream.start = 0;  // the first mini sector
    } else if (!mini) {
        stream.start = first_content;
    }
    put_entry(file, sector(directory), root);
    put_entry(file, sector(directory) + 128, zor);
    put_entry(file, sector(directory) + 256, stream);
    put_unused_entry(file, sector(directory) + 384);

    if (!data.empty()) std::memcpy(file.data() + sector(first_content), data.data(), data.size());
    return true;
}

}  // namespace

bool write_method_document(const std::filesystem::path& path, const std::vector<std::uint8_t>& data,
                           std::string& error) {
    std::vector<std::uint8_t> file;
    if (!compose(data, file, error)) return false;
    // A new file beside the old one, renamed over it when complete: a reader never sees half.
    const std::filesystem::path temporary = path.string() + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
        out.close();
        if (!out) {
            error = "cannot write " + temporary.string();
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        error = ec.message();
        std::filesystem::remove(temporary, ec);
        return false;
    }
    return true;
}

}  // namespace zorctl
