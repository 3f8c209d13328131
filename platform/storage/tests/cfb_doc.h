// Field access into a compound file's bytes, found the simple, trusting way (tests only).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/storage/cfb_format.h"

namespace cfb_test {

namespace fmt = platform::storage::format;

// A good file and the positions of its fields, found by reading it the simple, trusting way.
class Doc {
  public:
    explicit Doc(std::vector<std::uint8_t> bytes) : b(std::move(bytes)) {}

    std::uint32_t get(std::size_t off) const { return fmt::get32(b.data() + off); }
    void set(std::size_t off, std::uint32_t v) { fmt::put32(b.data() + off, v); }
    void set16(std::size_t off, std::uint16_t v) { fmt::put16(b.data() + off, v); }

    static std::size_t sector(std::uint32_t id) { return (static_cast<std::size_t>(id) + 1) * 512; }
    // Where the FAT entry of sector id lives.
    std::size_t fat_entry(std::uint32_t id) const {
        std::uint32_t fat_sector = fat_sector_id(id / 128);
        return sector(fat_sector) + 4 * (id % 128);
    }
    std::uint32_t fat_sector_id(std::uint32_t k) const {
        if (k < 109) return get(fmt::kOffDifat + 4 * k);
        std::uint32_t d = get(fmt::kOffFirstDifat);
        k -= 109;
        while (k >= 127) {
            d = get(sector(d) + 4 * 127);
            k -= 127;
        }
        return get(sector(d) + 4 * k);
    }
    std::uint32_t next(std::uint32_t id) const { return get(fat_entry(id)); }
    std::vector<std::uint32_t> chain(std::uint32_t start) const {
        std::vector<std::uint32_t> c;
        for (std::uint32_t s = start; s != fmt::kEndOfChain; s = next(s)) c.push_back(s);
        return c;
    }
    std::size_t entry(std::uint32_t id) const {
        auto dir = chain(get(fmt::kOffFirstDir));
        return sector(dir[id / 4]) + 128 * (id % 4);
    }
    std::uint32_t entry_count() const {
        return static_cast<std::uint32_t>(chain(get(fmt::kOffFirstDir)).size() * 4);
    }
    std::uint32_t find(const std::u16string& name) const {
        for (std::uint32_t id = 0; id < entry_count(); ++id) {
            std::size_t e = entry(id);
            std::u16string n;
            for (std::size_t i = 0; i < 31; ++i) {
                auto c = static_cast<char16_t>(fmt::get16(b.data() + e + 2 * i));
                if (!c) break;
                n.push_back(c);
            }
            if (n == name && b[e + fmt::kEntType] != 0) return id;
        }
        ADD_FAILURE() << "no entry";
        return 0;
    }
    std::size_t field(const std::u16string& name, std::size_t offset) const {
        return entry(find(name)) + offset;
    }
    std::size_t minifat_entry(std::uint32_t mini_id) const {
        auto c = chain(get(fmt::kOffFirstMiniFat));
        return sector(c[mini_id / 128]) + 4 * (mini_id % 128);
    }

    std::vector<std::uint8_t> b;
};

}  // namespace cfb_test
