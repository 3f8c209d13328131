#include "driver/zorrun/tests/support/compound_writer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/com/text.h"

namespace zorrun_test {

namespace {

constexpr std::uint32_t end_of_chain = 0xFFFFFFFE;
constexpr std::uint32_t fat_sector = 0xFFFFFFFD;
constexpr std::uint32_t free_sector = 0xFFFFFFFF;
constexpr std::uint32_t no_stream = 0xFFFFFFFF;
constexpr std::size_t sector = 512;
constexpr std::size_t mini = 64;
constexpr std::size_t cutoff = 4096;

struct Flat {
    std::string name;
    std::uint8_t type = 0;
    std::uint32_t left = no_stream, right = no_stream, child = no_stream;
    const std::string* data = nullptr;
    std::uint32_t start = end_of_chain;
    std::uint64_t size = 0;
};

std::size_t units(std::size_t bytes, std::size_t unit) {
    return (bytes + unit - 1) / unit;
}

void put32(std::string& s, std::size_t at, std::uint32_t v) {
    std::memcpy(s.data() + at, &v, 4);
}
void put16(std::string& s, std::size_t at, std::uint16_t v) {
    std::memcpy(s.data() + at, &v, 2);
}

// The format's order of names: shorter first, then by upper case.
bool name_less(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return a.size() < b.size();
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char x = static_cast<char>(std::toupper(static_cast<unsigned char>(a[i])));
        const char y = static_cast<char>(std::toupper(static_cast<unsigned char>(b[i])));
        if (x != y) return x < y;
    }
    return false;
}

void flatten(const std::vector<CompoundNode>& children, std::uint32_t parent, std::vector<Flat>& out) {
    std::vector<const CompoundNode*> sorted;
    for (const auto& c : children) sorted.push_back(&c);
    std::sort(sorted.begin(), sorted.end(), [](auto* a, auto* b) { return name_less(a->name, b->name); });
    std::uint32_t previous = no_stream;
    for (const CompoundNode* c : sorted) {
        const auto id = static_cast<std::uint32_t>(out.size());
        Flat f;
        f.name = c->name;
        f.type = c->storage ? 1 : 2;
        if (!c->storage) {
            f.data = &c->data;
            f.size = c->data.size();
        }
        out.push_back(f);
        if (previous == no_stream) {
            out[parent].child = id;
        } else {
            out[previous].right = id;
        }
        previous = id;
        if (c->storage) flatten(c->children, id, out);
    }
}

}  // namespace

std::string make_compound_file(const std::vector<CompoundNode>& top) {
    std::vector<Flat> entries(1);
    entries[0].name = "Root Entry";
    entries[0].type = 5;
    flatten(top, 0, entries);

    // The mini stream and the large streams.
    std::string mini_stream;
    std::vector<std::uint32_t> mini_fat;
    std::vector<Flat*> large;
    for (Flat& e : entries) {
        if (e.type != 2 || e.size == 0) continue;
        if (e.size >= cutoff) {
            large.push_back(&e);
            continue;
        }
        const auto first = static_cast<std::uint32_t>(mini_fat.size());
        const std::size_t n = units(e.size, mini);
        for (std::size_t i = 0; i < n; ++i)
            mini_fat.push_back(i + 1 < n ? first + static_cast<std::uint32_t>(i) + 1 : end_of_chain);
        e.start = first;
        std::string padded = *e.data;
        padded.resize(n * mini, '\0');
        mini_stream += padded;
    }

    const std::size_t directory_sectors = units(entries.size() * 128, sector);
    const std::size_t mini_fat_sectors = units(mini_fat.size() * 4, sector);
    const std::size_t mini_stream_sectors = units(mini_stream.size(), sector);
    std::size_t large_sectors = 0;
    for (Flat* e : large) large_sectors += units(e->size, sector);
    std::size_t fat_sectors = 1;
    while (fat_sectors * (sector / 4) <
           fat_sectors + directory_sectors + mini_fat_sectors + mini_stream_sectors + large_sectors)
        ++fat_sectors;
    const std::size_t total =
        fat_sectors + directory_sectors + mini_fat_sectors + mini_stream_sectors + large_sectors;

    std::vector<std::uint32_t> fat(fat_sectors * (sector / 4), free_sector);
    std::size_t next = 0;
    const auto allocate = [&](std::size_t count) -> std::uint32_t {
        if (count == 0) return end_of_chain;
        const auto first = static_cast<std::uint32_t>(next);
        for (std::size_t i = 0; i < count; ++i, ++next)
            fat[next] = i + 1 < count ? static_cast<std::uint32_t>(next + 1) : end_of_chain;
        return first;
    };
    for (std::size_t i = 0; i < fat_sectors; ++i) fat[next++] = fat_sector;
    const std::uint32_t first_directory = allocate(directory_sectors);
    const std::uint32_t first_mini_fat = allocate(mini_fat_sectors);
    const std::uint32_t first_mini_stream = allocate(mini_stream_sectors);
    for (Flat* e : large) e->start = allocate(units(e->size, sector));
    entries[0].start = first_mini_stream;
    entries[0].size = mini_stream.size();

    std::string file((total + 1) * sector, '\0');
    // Header.
    const unsigned char signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(file.data(), signature, 8);
    put16(file, 0x18, 0x3E);
    put16(file, 0x1A, 3);
    put16(file, 0x1C, 0xFFFE);
    put16(file, 0x1E, 9);
    put16(file, 0x20, 6);
    put32(file, 0x2C, static_cast<std::uint32_t>(fat_sectors));
    put32(file, 0x30, first_directory);
    put32(file, 0x38, cutoff);
    put32(file, 0x3C, mini_fat_sectors ? first_mini_fat : end_of_chain);
    put32(file, 0x40, static_cast<std::uint32_t>(mini_fat_sectors));
    put32(file, 0x44, end_of_chain);
    put32(file, 0x48, 0);
    for (std::size_t i = 0; i < 109; ++i)
        put32(file, 0x4C + 4 * i, i < fat_sectors ? static_cast<std::uint32_t>(i) : free_sector);

    const auto at = [](std::size_t s) { return (s + 1) * sector; };
    for (std::size_t i = 0; i < fat.size(); ++i) put32(file, at(0) + 4 * i, fat[i]);
    // Directory.
    const std::size_t dir = at(first_directory);
    for (std::size_t i = 0; i < directory_sectors * (sector / 128); ++i) {
        const std::size_t o = dir + 128 * i;
        if (i >= entries.size()) {
            put32(file, o + 0x44, no_stream);
            put32(file, o + 0x48, no_stream);
            put32(file, o + 0x4C, no_stream);
            continue;
        }
        const Flat& e = entries[i];
        const std::u16string name = platform::com::utf16_from_cp1252(e.name);
        std::memcpy(file.data() + o, name.data(), name.size() * 2);
        put16(file, o + 0x40, static_cast<std::uint16_t>((name.size() + 1) * 2));
        file[o + 0x42] = static_cast<char>(e.type);
        file[o + 0x43] = 1;  // black
        put32(file, o + 0x44, e.left);
        put32(file, o + 0x48, e.right);
        put32(file, o + 0x4C, e.child);
        put32(file, o + 0x74, e.start);
        put32(file, o + 0x78, static_cast<std::uint32_t>(e.size));
    }
    for (std::size_t i = 0; i < mini_fat_sectors * (sector / 4); ++i)
        put32(file, at(first_mini_fat) + 4 * i, i < mini_fat.size() ? mini_fat[i] : free_sector);
    if (!mini_stream.empty())
        std::memcpy(file.data() + at(first_mini_stream), mini_stream.data(), mini_stream.size());
    for (Flat* e : large) std::memcpy(file.data() + at(e->start), e->data->data(), e->data->size());
    return file;
}

std::string method_stream_bytes(const std::vector<std::string>& lines) {
    std::string bytes;
    for (const std::string& line : lines) {
        const std::u16string wide = platform::com::utf16_from_cp1252(line + "\r\n");
        for (char16_t c : wide) {
            bytes.push_back(static_cast<char>(c & 0xFF));
            bytes.push_back(static_cast<char>(c >> 8));
        }
    }
    return bytes;
}

}  // namespace zorrun_test
