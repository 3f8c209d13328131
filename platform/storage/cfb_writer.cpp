// Lays out the in-memory tree as a version 3 compound file, in this order of sectors:
// FAT, DIFAT, directory, mini FAT, mini stream, then the large streams, each contiguous.
// Siblings go into a balanced binary tree coloured as a valid red-black tree (the last level,
// when it is not full, red; everything else black).
#include <algorithm>

#include "platform/storage/cfb_format.h"
#include "platform/storage/cfb_tree.h"

namespace platform::storage::detail {

using namespace format;

namespace {

struct OutEntry {
    const Node* node = nullptr;
    std::uint32_t left = kNoStream;
    std::uint32_t right = kNoStream;
    std::uint32_t child = kNoStream;
    std::uint8_t colour = kBlack;
    std::uint32_t start = kEndOfChain;
    std::uint64_t size = 0;
};

std::size_t ceil_div(std::size_t a, std::size_t b) {
    return (a + b - 1) / b;
}

unsigned floor_log2(std::size_t n) {
    unsigned l = 0;
    while (n >>= 1) ++l;
    return l;
}

class Writer {
  public:
    explicit Writer(const Node& root) : root_(root) {}

    std::vector<std::uint8_t> run() {
        flatten();
        layout();
        return emit();
    }

  private:
    // Gives every element a directory id; storages are expanded through a queue so deep
    // nesting cannot exhaust the stack.
    void flatten() {
        entries_.push_back({&root_});
        std::vector<std::uint32_t> queue{0};
        for (std::size_t q = 0; q < queue.size(); ++q) {
            std::uint32_t id = queue[q];
            const Node* storage = entries_[id].node;
            const auto& kids = storage->children;
            if (kids.empty()) continue;
            std::size_t n = kids.size();
            bool perfect = ((n + 1) & n) == 0;
            unsigned last_level = floor_log2(n);
            std::uint32_t top = build(kids, 0, n, 0, perfect, last_level, queue);
            entries_[id].child = top;
        }
    }

    std::uint32_t build(const std::vector<std::shared_ptr<Node>>& kids, std::size_t lo, std::size_t hi,
                        unsigned depth, bool perfect, unsigned last_level,
                        std::vector<std::uint32_t>& queue) {
        if (lo >= hi) return kNoStream;
        std::size_t mid = lo + (hi - lo - 1) / 2;
        auto id = static_cast<std::uint32_t>(entries_.size());
        entries_.push_back({kids[mid].get()});
        entries_[id].colour = (!perfect && depth == last_level) ? kRed : kBlack;
        if (kids[mid]->is_storage) queue.push_back(id);
        std::uint32_t left = build(kids, lo, mid, depth + 1, perfect, last_level, queue);
        std::uint32_t right = build(kids, mid + 1, hi, depth + 1, perfect, last_level, queue);
        entries_[id].left = left;
        entries_[id].right = right;
        return id;
    }

    void layout() {
        std::size_t mini_sectors = 0;
        std::size_t big_sectors = 0;
        for (auto& e : entries_) {
            if (e.node->is_storage) continue;
            std::size_t size = e.node->data.size();
            if (size == 0) continue;
            if (size < kMiniCutoff) {
                mini_sectors += ceil_div(size, kMiniSectorSize);
            } else {
                big_sectors += ceil_div(size, kSectorSize);
            }
        }
        dir_ = ceil_div(entries_.size(), kSectorSize / kDirEntrySize);
        minifat_ = ceil_div(mini_sectors, kSectorSize / 4);
        mini_count_ = mini_sectors;
        ministream_ = ceil_div(mini_sectors * kMiniSectorSize, kSectorSize);
        std::size_t content = dir_ + minifat_ + ministream_ + big_sectors;
        const std::size_t per_fat = kSectorSize / 4;
        const std::size_t per_difat = kSectorSize / 4 - 1;
        fat_ = 1;
        for (;;) {
            difat_ = fat_ > kHeaderDifatEntries ? ceil_div(fat_ - kHeaderDifatEntries, per_difat) : 0;
            if (fat_ * per_fat >= content + fat_ + difat_) break;
            ++fat_;
        }
        total_ = content + fat_ + difat_;
        dir_start_ = fat_ + difat_;
        minifat_start_ = dir_start_ + dir_;
        ministream_start_ = minifat_start_ + minifat_;
        big_start_ = ministream_start_ + ministream_;
    }

    std::uint8_t* sector(std::size_t id) { return out_.data() + (id + 1) * kSectorSize; }

    void chain(std::vector<std::uint32_t>& table, std::size_t start, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            table[start + i] = i + 1 < count ? static_cast<std::uint32_t>(start + i + 1) : kEndOfChain;
        }
    }

    std::vector<std::uint8_t> emit() {
        out_.assign((total_ + 1) * kSectorSize, 0);
        std::vector<std::uint32_t> fat(fat_ * (kSectorSize / 4), kFreeSect);
        std::vector<std::uint32_t> minifat(minifat_ * (kSectorSize / 4), kFreeSect);
        for (std::size_t i = 0; i < fat_; ++i) fat[i] = kFatSect;
        for (std::size_t i = 0; i < difat_; ++i) fat[fat_ + i] = kDifSect;
        chain(fat, dir_start_, dir_);
        chain(fat, minifat_start_, minifat_);
        chain(fat, ministream_start_, ministream_);

        // Stream contents.
        std::size_t next_mini = 0;
        std::size_t next_big = big_start_;
        std::uint8_t* mini_base = ministream_ ? sector(ministream_start_) : nullptr;
        for (auto& e : entries_) {
            if (e.node->is_storage) continue;
            const auto& data = e.node->data;
            e.size = data.size();
            if (data.empty()) continue;
            if (data.size() < kMiniCutoff) {
                std::size_t n = ceil_div(data.size(), kMiniSectorSize);
                e.start = static_cast<std::uint32_t>(next_mini);
                chain(minifat, next_mini, n);
                std::memcpy(mini_base + next_mini * kMiniSectorSize, data.data(), data.size());
                next_mini += n;
            } else {
                std::size_t n = ceil_div(data.size(), kSectorSize);
                e.start = static_cast<std::uint32_t>(next_big);
                chain(fat, next_big, n);
                std::memcpy(sector(next_big), data.data(), data.size());
                next_big += n;
            }
        }
        entries_[0].start = ministream_ ? static_cast<std::uint32_t>(ministream_start_) : kEndOfChain;
        entries_[0].size = mini_count_ * kMiniSectorSize;

        write_header();
        write_difat();
        for (std::size_t i = 0; i < fat.size(); ++i) {
            put32(sector(i / (kSectorSize / 4)) + 4 * (i % (kSectorSize / 4)), fat[i]);
        }
        for (std::size_t i = 0; i < minifat.size(); ++i) {
            put32(sector(minifat_start_ + i / (kSectorSize / 4)) + 4 * (i % (kSectorSize / 4)), minifat[i]);
        }
        write_directory();
        return std::move(out_);
    }

    void write_header() {
        std::uint8_t* h = out_.data();
        std::memcpy(h, kSignature, sizeof kSignature);
        put16(h + kOffMinor, kMinorVersion);
        put16(h + kOffMajor, 3);
        put16(h + kOffByteOrder, kByteOrderMark);
        put16(h + kOffSectorShift, 9);
        put16(h + kOffMiniShift, 6);
        put32(h + kOffDirSectors, 0);  // version 3 does not count directory sectors
        put32(h + kOffFatSectors, static_cast<std::uint32_t>(fat_));
        put32(h + kOffFirstDir, static_cast<std::uint32_t>(dir_start_));
        put32(h + kOffMiniCutoff, kMiniCutoff);
        put32(h + kOffFirstMiniFat, minifat_ ? static_cast<std::uint32_t>(minifat_start_) : kEndOfChain);
        put32(h + kOffMiniFatSectors, static_cast<std::uint32_t>(minifat_));
        put32(h + kOffFirstDifat, difat_ ? static_cast<std::uint32_t>(fat_) : kEndOfChain);
        put32(h + kOffDifatSectors, static_cast<std::uint32_t>(difat_));
        for (std::size_t i = 0; i < kHeaderDifatEntries; ++i) {
            put32(h + kOffDifat + 4 * i, i < fat_ ? static_cast<std::uint32_t>(i) : kFreeSect);
        }
    }

    void write_difat() {
        const std::size_t per = kSectorSize / 4 - 1;
        std::size_t fat_index = kHeaderDifatEntries;
        for (std::size_t d = 0; d < difat_; ++d) {
            std::uint8_t* s = sector(fat_ + d);
            for (std::size_t i = 0; i < per; ++i, ++fat_index) {
                put32(s + 4 * i, fat_index < fat_ ? static_cast<std::uint32_t>(fat_index) : kFreeSect);
            }
            put32(s + 4 * per, d + 1 < difat_ ? static_cast<std::uint32_t>(fat_ + d + 1) : kEndOfChain);
        }
    }

    void write_directory() {
        const std::size_t slots = dir_ * (kSectorSize / kDirEntrySize);
        for (std::size_t i = 0; i < slots; ++i) {
            std::uint8_t* p = sector(dir_start_ + i / 4) + (i % 4) * kDirEntrySize;
            if (i >= entries_.size()) {
                put32(p + kEntLeft, kNoStream);
                put32(p + kEntRight, kNoStream);
                put32(p + kEntChild, kNoStream);
                continue;
            }
            const OutEntry& e = entries_[i];
            const Node& n = *e.node;
            std::size_t units = std::min<std::size_t>(n.name.size(), 31);
            for (std::size_t k = 0; k < units; ++k) put16(p + kEntName + 2 * k, n.name[k]);
            put16(p + kEntNameLen, static_cast<std::uint16_t>((units + 1) * 2));
            p[kEntType] = n.is_root ? kTypeRoot : n.is_storage ? kTypeStorage : kTypeStream;
            p[kEntColour] = e.colour;
            put32(p + kEntLeft, e.left);
            put32(p + kEntRight, e.right);
            put32(p + kEntChild, e.child);
            // Streams carry no class id, state or times, and the root no creation time: the format
            // wants those fields zero, whatever a file we loaded held.
            if (n.is_storage) {
                std::memcpy(p + kEntClsid, n.clsid.data(), 16);
                put32(p + kEntState, n.state_bits);
                put64(p + kEntCreated, n.is_root ? 0 : n.created);
                put64(p + kEntModified, n.modified);
            }
            bool storage = n.is_storage && !n.is_root;
            put32(p + kEntStart, storage ? 0 : e.start);
            put64(p + kEntSize, storage ? 0 : e.size);
        }
    }

    const Node& root_;
    std::vector<OutEntry> entries_;
    std::vector<std::uint8_t> out_;
    std::size_t dir_ = 0, minifat_ = 0, ministream_ = 0, mini_count_ = 0;
    std::size_t fat_ = 0, difat_ = 0, total_ = 0;
    std::size_t dir_start_ = 0, minifat_start_ = 0, ministream_start_ = 0, big_start_ = 0;
};

}  // namespace

std::vector<std::uint8_t> serialize_compound_file(const Node& root) {
    Writer writer(root);
    return writer.run();
}

}  // namespace platform::storage::detail
