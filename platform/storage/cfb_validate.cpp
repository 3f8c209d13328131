// The strict check of a whole compound file (validate_compound_file in cfb_file.h). It shares
// only the layout constants and the name order with the loader, and checks what the loader
// lets pass: who owns every sector, exact chain lengths, header counts, clear unused fields and
// the red-black shape of every sibling tree. Every loop is bounded by a count taken from the
// file's size, and every sector and directory entry may be visited once, so hostile input ends.
#include <cstdio>

#include "platform/storage/cfb_format.h"
#include "platform/storage/cfb_tree.h"

namespace platform::storage {

using namespace format;

namespace {

enum Owner : std::uint8_t {
    kNobody,
    kFatOwner,
    kDifatOwner,
    kDirOwner,
    kMiniFatOwner,
    kMiniStreamOwner,
    kStreamOwner
};

struct Entry {
    std::uint8_t type = kTypeUnused;
    std::uint8_t colour = kBlack;
    std::u16string name;
    std::uint32_t left = kNoStream, right = kNoStream, child = kNoStream;
    std::uint32_t start = 0;
    std::uint64_t size = 0;
};

class Validator {
  public:
    explicit Validator(std::span<const std::uint8_t> bytes) : b_(bytes) {}

    StgResult run() {
        if (auto r = header(); !r) return r;
        if (auto r = fat(); !r) return r;
        if (auto r = directory(); !r) return r;
        if (auto r = trees(); !r) return r;
        if (auto r = mini(); !r) return r;
        if (auto r = streams(); !r) return r;
        return leftovers();
    }

  private:
    const std::uint8_t* sec(std::uint32_t id) const {
        return b_.data() + (static_cast<std::size_t>(id) + 1) * ss_;
    }
    std::uint32_t h32(std::size_t off) const { return get32(b_.data() + off); }
    std::uint16_t h16(std::size_t off) const { return get16(b_.data() + off); }

    StgResult header() {
        if (b_.size() < kHeaderSize) return detail::corrupt("shorter than a header");
        if (std::memcmp(b_.data(), kSignature, sizeof kSignature) != 0)
            return detail::corrupt("bad signature");
        if (h16(kOffByteOrder) != kByteOrderMark) return detail::corrupt("bad byte order mark");
        version_ = h16(kOffMajor);
        if (version_ != 3 && version_ != 4)
            return detail::corrupt("major version " + std::to_string(version_));
        if (h16(kOffSectorShift) != (version_ == 3 ? 9 : 12))
            return detail::corrupt("sector shift does not match the version");
        if (h16(kOffMiniShift) != 6) return detail::corrupt("mini sector shift is not 6");
        for (std::size_t off = 0x08; off < 0x18; ++off) {
            if (b_[off] != 0) return detail::corrupt("header class id is not zero");
        }
        for (std::size_t off = 0x22; off < 0x28; ++off) {
            if (b_[off] != 0) return detail::corrupt("reserved header bytes are not zero");
        }
        if (version_ == 3 && h32(kOffDirSectors) != 0)
            return detail::corrupt("version 3 header counts directory sectors");
        if (h32(kOffMiniCutoff) != kMiniCutoff) return detail::corrupt("mini stream cutoff is not 4096");
        ss_ = version_ == 3 ? 512 : 4096;
        for (std::size_t off = kHeaderSize; off < ss_ && off < b_.size(); ++off) {
            if (b_[off] != 0) return detail::corrupt("the rest of the header sector is not zero");
        }
        if (b_.size() < ss_ || b_.size() % ss_ != 0) {
            return detail::corrupt("file size " + std::to_string(b_.size()) +
                                   " is not a whole number of sectors");
        }
        std::size_t n = b_.size() / ss_ - 1;
        if (n > kMaxRegSect) return detail::corrupt("more sectors than ids can address");
        n_ = static_cast<std::uint32_t>(n);
        owner_.assign(n_, kNobody);
        return {};
    }

    StgResult claim(std::uint32_t id, Owner who, const std::string& what) {
        if (id >= n_)
            return detail::corrupt(what + ": sector " + detail::hex_id(id) + " is past the end of the file");
        if (owner_[id] != kNobody) {
            return detail::corrupt(what + ": sector " + std::to_string(id) +
                                   " already belongs to another structure");
        }
        owner_[id] = who;
        return {};
    }

    StgResult fat() {
        const std::size_t per = ss_ / 4;
        std::uint32_t num_fat = h32(kOffFatSectors);
        std::uint32_t num_difat = h32(kOffDifatSectors);
        std::uint32_t first_difat = h32(kOffFirstDifat);
        if (num_fat == 0 || num_fat > n_)
            return detail::corrupt("FAT sector count " + std::to_string(num_fat) + " does not fit the file");
        std::vector<std::uint32_t> ids;
        for (std::size_t i = 0; i < kHeaderDifatEntries; ++i) {
            std::uint32_t id = h32(kOffDifat + 4 * i);
            if (i < num_fat) {
                ids.push_back(id);
            } else if (id != kFreeSect) {
                return detail::corrupt("header DIFAT entry " + std::to_string(i) +
                                       " beyond the FAT is not free");
            }
        }
        const std::size_t per_difat = per - 1;
        std::size_t beyond = num_fat > kHeaderDifatEntries ? num_fat - kHeaderDifatEntries : 0;
        std::size_t need = (beyond + per_difat - 1) / per_difat;
        if (num_difat != need) {
            return detail::corrupt("header counts " + std::to_string(num_difat) + " DIFAT sectors, " +
                                   std::to_string(num_fat) + " FAT sectors need " + std::to_string(need));
        }
        if (need == 0 && first_difat != kEndOfChain)
            return detail::corrupt("first DIFAT sector is set without DIFAT sectors");
        std::uint32_t cur = first_difat;
        for (std::size_t d = 0; d < need; ++d) {  // need <= n_, since num_fat <= n_
            if (auto r = claim(cur, kDifatOwner, "DIFAT"); !r) return r;
            difat_ids_.push_back(cur);
            const std::uint8_t* s = sec(cur);
            for (std::size_t i = 0; i < per_difat; ++i) {
                std::uint32_t id = get32(s + 4 * i);
                if (ids.size() < num_fat) {
                    ids.push_back(id);
                } else if (id != kFreeSect) {
                    return detail::corrupt("DIFAT sector " + std::to_string(cur) +
                                           " lists more than the FAT sectors");
                }
            }
            cur = get32(s + 4 * per_difat);
        }
        if (need > 0 && cur != kEndOfChain)
            return detail::corrupt("DIFAT chain does not end after its last sector");
        for (std::uint32_t id : ids) {
            if (auto r = claim(id, kFatOwner, "FAT"); !r) return r;
        }
        fat_.resize(static_cast<std::size_t>(num_fat) * per);
        for (std::size_t k = 0; k < ids.size(); ++k) {
            for (std::size_t i = 0; i < per; ++i) fat_[k * per + i] = get32(sec(ids[k]) + 4 * i);
        }
        if (fat_.size() < n_) return detail::corrupt("the FAT does not cover every sector of the file");
        for (std::size_t id = n_; id < fat_.size(); ++id) {
            if (fat_[id] != kFreeSect)
                return detail::corrupt("FAT entry " + std::to_string(id) + " beyond the file is not free");
        }
        for (std::uint32_t id : ids) {
            if (fat_[id] != kFatSect)
                return detail::corrupt("FAT sector " + std::to_string(id) + " is not marked as one");
        }
        for (std::uint32_t id : difat_ids_) {
            if (fat_[id] != kDifSect)
                return detail::corrupt("DIFAT sector " + std::to_string(id) + " is not marked as one");
        }
        return {};
    }

    // Walks a chain of regular sectors. count: the sectors it must have; -1: as many as it has
    // (bounded by the file's sector count).
    StgResult chain(std::uint32_t start, long long count, Owner who, const std::string& what,
                    std::vector<std::uint32_t>& out) {
        out.clear();
        if (count == 0) {
            if (start != kEndOfChain)
                return detail::corrupt(what + ": empty, but its chain starts at " + detail::hex_id(start));
            return {};
        }
        std::uint32_t cur = start;
        for (std::uint32_t steps = 0; steps <= n_; ++steps) {
            if (auto r = claim(cur, who, what); !r) return r;
            out.push_back(cur);
            std::uint32_t next = fat_[cur];
            bool last = count > 0 && out.size() == static_cast<std::size_t>(count);
            if (next == kEndOfChain) {
                if (count > 0 && !last) {
                    return detail::corrupt(what + ": chain has " + std::to_string(out.size()) +
                                           " sectors, needs " + std::to_string(count));
                }
                return {};
            }
            if (last)
                return detail::corrupt(what + ": chain goes on past the " + std::to_string(count) +
                                       " sectors it needs");
            if (next > kMaxRegSect)
                return detail::corrupt(what + ": chain runs into " + detail::hex_id(next));
            cur = next;
        }
        return detail::corrupt(what + ": chain is longer than the file");
    }

    StgResult directory() {
        std::vector<std::uint32_t> ids;
        if (auto r = chain(h32(kOffFirstDir), -1, kDirOwner, "directory", ids); !r) return r;
        if (version_ == 4 && h32(kOffDirSectors) != ids.size())
            return detail::corrupt("header's directory sector count is wrong");
        const std::size_t per = ss_ / kDirEntrySize;
        entries_.resize(ids.size() * per);
        for (std::size_t k = 0; k < ids.size(); ++k) {
            for (std::size_t i = 0; i < per; ++i) {
                std::size_t index = k * per + i;
                if (auto r = entry(sec(ids[k]) + i * kDirEntrySize, index); !r) return r;
            }
        }
        if (entries_[0].type != kTypeRoot) return detail::corrupt("entry 0 is not the root");
        if (entries_[0].name != u"Root Entry") return detail::corrupt("the root is not named \"Root Entry\"");
        if (entries_[0].left != kNoStream || entries_[0].right != kNoStream)
            return detail::corrupt("the root has siblings");
        return {};
    }

    StgResult entry(const std::uint8_t* p, std::size_t index) {
        Entry& e = entries_[index];
        const std::string where = "directory entry " + std::to_string(index);
        e.type = p[kEntType];
        e.colour = p[kEntColour];
        e.left = get32(p + kEntLeft);
        e.right = get32(p + kEntRight);
        e.child = get32(p + kEntChild);
        e.start = get32(p + kEntStart);
        e.size = get64(p + kEntSize);
        if (e.type == kTypeUnused) {
            for (std::size_t i = 0; i < kDirEntrySize; ++i) {
                bool link = i >= kEntLeft && i < kEntClsid;
                if (p[i] != (link ? 0xFF : 0x00))
                    return detail::corrupt(where + " is unused but not cleared");
            }
            return {};
        }
        if (e.type != kTypeStorage && e.type != kTypeStream && e.type != kTypeRoot) {
            return detail::corrupt(where + " has type " + std::to_string(e.type));
        }
        if (e.type == kTypeRoot && index != 0) return detail::corrupt(where + " is a second root");
        if (e.colour != kRed && e.colour != kBlack)
            return detail::corrupt(where + " has colour " + std::to_string(e.colour));
        std::uint16_t len = get16(p + kEntNameLen);
        if (len < 4 || len > 64 || len % 2 != 0)
            return detail::corrupt(where + " has name length " + std::to_string(len));
        for (std::size_t i = 0; i + 1 < len / 2u; ++i)
            e.name.push_back(static_cast<char16_t>(get16(p + kEntName + 2 * i)));
        if (get16(p + kEntName + len - 2) != 0)
            return detail::corrupt(where + ": name is not terminated where its length says");
        for (std::size_t off = kEntName + len; off < kEntNameLen; ++off) {
            if (p[off] != 0) return detail::corrupt(where + ": bytes after the name are not zero");
        }
        if (e.type != kTypeRoot) {
            if (auto problem = detail::name_problem(e.name); !problem.empty())
                return detail::corrupt(where + ": name " + problem);
        }
        if (version_ == 3 && (e.size >> 32) != 0)
            return detail::corrupt(where + ": size has a high half in a version 3 file");
        auto zero = [&](std::size_t off, std::size_t n) {
            for (std::size_t i = 0; i < n; ++i) {
                if (p[off + i] != 0) return false;
            }
            return true;
        };
        // Other writers stamp streams with times and start storages at end-of-chain rather than
        // 0; both are harmless, so they pass here (ours writes zeros).
        if (e.type == kTypeStream) {
            if (e.child != kNoStream) return detail::corrupt(where + ": a stream has a child");
            if (!zero(kEntClsid, 16)) return detail::corrupt(where + ": a stream has a class id");
        }
        if (e.type == kTypeStorage && ((e.start != 0 && e.start != kEndOfChain) || e.size != 0)) {
            return detail::corrupt(where + ": a storage has a start or size");
        }
        if (e.type == kTypeRoot && !zero(kEntCreated, 8))
            return detail::corrupt(where + ": the root has a creation time");
        for (std::uint32_t link : {e.left, e.right, e.child}) {
            if (link != kNoStream && link >= entries_.size()) {
                return detail::corrupt(where + " links to entry " + detail::hex_id(link) + ", out of range");
            }
        }
        return {};
    }

    // Each storage's sibling tree: reached once, in name order, red-black.
    StgResult trees() {
        std::vector<std::uint8_t> seen(entries_.size(), 0);
        seen[0] = 1;
        std::vector<std::uint32_t> storages{0};
        for (std::size_t q = 0; q < storages.size(); ++q) {  // each entry enters once: bounded
            std::uint32_t top = entries_[storages[q]].child;
            if (top == kNoStream) continue;
            const std::string where = "sibling tree of entry " + std::to_string(storages[q]);
            if (seen[top])
                return detail::corrupt(where + ": entry " + std::to_string(top) + " is reached twice");
            seen[top] = 1;
            if (entries_[top].colour != kBlack) return detail::corrupt(where + " has a red top");
            // In-order walk with the black count to each node; every missing child is a leaf.
            struct Item {
                std::uint32_t id;
                int blacks;  // black nodes above, this one excluded
                bool expanded;
            };
            std::vector<Item> stack{{top, 0, false}};
            int leaf_blacks = -1;
            const std::u16string* previous = nullptr;
            while (!stack.empty()) {
                Item it = stack.back();
                stack.pop_back();
                Entry& e = entries_[it.id];
                int below = it.blacks + (e.colour == kBlack ? 1 : 0);
                if (it.expanded) {
                    if (previous && detail::compare_names(*previous, e.name) >= 0) {
                        return detail::corrupt(where + ": \"" + detail::to_utf8(*previous) + "\" and \"" +
                                               detail::to_utf8(e.name) + "\" are out of order or equal");
                    }
                    previous = &e.name;
                    if (auto r = leaf_or_push(e.right, below, e.colour, where, leaf_blacks, seen, stack); !r)
                        return r;
                    continue;
                }
                if (e.type != kTypeStorage && e.type != kTypeStream) {
                    return detail::corrupt(where + " reaches entry " + std::to_string(it.id) +
                                           ", which is not an element");
                }
                if (e.type == kTypeStorage) storages.push_back(it.id);
                stack.push_back({it.id, it.blacks, true});
                if (auto r = leaf_or_push(e.left, below, e.colour, where, leaf_blacks, seen, stack); !r)
                    return r;
            }
        }
        for (std::size_t id = 1; id < entries_.size(); ++id) {
            if (entries_[id].type != kTypeUnused && !seen[id]) {
                return detail::corrupt("directory entry " + std::to_string(id) + " is in no sibling tree");
            }
        }
        return {};
    }

    template <class Stack>
    StgResult leaf_or_push(std::uint32_t id, int below, std::uint8_t colour, const std::string& where,
                           int& leaf_blacks, std::vector<std::uint8_t>& seen, Stack& stack) {
        if (id == kNoStream) {
            if (leaf_blacks < 0) leaf_blacks = below;
            if (below != leaf_blacks) return detail::corrupt(where + ": black heights differ");
            return {};
        }
        if (id >= entries_.size())
            return detail::corrupt(where + " links to entry " + detail::hex_id(id) + ", out of range");
        if (seen[id]) return detail::corrupt(where + ": entry " + std::to_string(id) + " is reached twice");
        seen[id] = 1;
        if (colour == kRed && entries_[id].colour == kRed)
            return detail::corrupt(where + ": a red entry has a red child");
        stack.push_back({id, below, false});
        return {};
    }

    StgResult mini() {
        const Entry& root = entries_[0];
        std::uint64_t mini_bytes = root.size;
        if (mini_bytes > static_cast<std::uint64_t>(n_) * ss_)
            return detail::corrupt("mini stream is larger than the file");
        std::vector<std::uint32_t> ids;
        long long need = static_cast<long long>((mini_bytes + ss_ - 1) / ss_);
        if (auto r = chain(root.start, need, kMiniStreamOwner, "mini stream", ids); !r) return r;
        mini_sectors_ = static_cast<std::size_t>((mini_bytes + kMiniSectorSize - 1) / kMiniSectorSize);
        std::uint32_t count = h32(kOffMiniFatSectors);
        std::uint32_t first = h32(kOffFirstMiniFat);
        if (count > n_) return detail::corrupt("mini FAT sector count does not fit the file");
        std::vector<std::uint32_t> mf;
        if (count == 0 && first != kEndOfChain)
            return detail::corrupt("mini FAT start is set without mini FAT sectors");
        if (auto r = chain(first, count, kMiniFatOwner, "mini FAT", mf); !r) return r;
        const std::size_t per = ss_ / 4;
        minifat_.resize(mf.size() * per);
        for (std::size_t k = 0; k < mf.size(); ++k) {
            for (std::size_t i = 0; i < per; ++i) minifat_[k * per + i] = get32(sec(mf[k]) + 4 * i);
        }
        if (minifat_.size() < mini_sectors_)
            return detail::corrupt("the mini FAT does not cover the mini stream");
        mini_owner_.assign(mini_sectors_, 0);
        return {};
    }

    StgResult streams() {
        std::vector<std::uint32_t> ids;
        for (std::size_t id = 1; id < entries_.size(); ++id) {
            const Entry& e = entries_[id];
            if (e.type != kTypeStream) continue;
            const std::string what =
                "stream \"" + detail::to_utf8(e.name) + "\" (entry " + std::to_string(id) + ")";
            if (e.size == 0) {
                if (e.start != kEndOfChain && e.start != 0)
                    return detail::corrupt(what + ": empty, but starts at " + detail::hex_id(e.start));
                continue;
            }
            if (e.size >= kMiniCutoff) {
                if (e.size > static_cast<std::uint64_t>(n_) * ss_)
                    return detail::corrupt(what + ": larger than the file");
                long long need = static_cast<long long>((e.size + ss_ - 1) / ss_);
                if (auto r = chain(e.start, need, kStreamOwner, what, ids); !r) return r;
                continue;
            }
            std::size_t need = static_cast<std::size_t>((e.size + kMiniSectorSize - 1) / kMiniSectorSize);
            std::uint32_t cur = e.start;
            for (std::size_t k = 0; k < need; ++k) {
                if (cur >= mini_sectors_)
                    return detail::corrupt(what + ": mini sector " + detail::hex_id(cur) +
                                           " is beyond the mini stream");
                if (mini_owner_[cur])
                    return detail::corrupt(what + ": mini sector " + std::to_string(cur) + " is used twice");
                mini_owner_[cur] = 1;
                std::uint32_t next = minifat_[cur];
                if (k + 1 == need) {
                    if (next != kEndOfChain)
                        return detail::corrupt(what + ": mini chain goes on past its size");
                } else if (next == kEndOfChain || next > kMaxRegSect) {
                    return detail::corrupt(what + ": mini chain ends after " + std::to_string(k + 1) +
                                           " of " + std::to_string(need));
                }
                cur = next;
            }
        }
        return {};
    }

    StgResult leftovers() {
        for (std::uint32_t id = 0; id < n_; ++id) {
            std::uint32_t v = fat_[id];
            if (owner_[id] == kNobody && v != kFreeSect) {
                return detail::corrupt("sector " + std::to_string(id) + " is marked " + detail::hex_id(v) +
                                       " but belongs to nothing");
            }
            if (owner_[id] != kFatOwner && v == kFatSect)
                return detail::corrupt("sector " + std::to_string(id) + " is marked FAT but is none");
            if (owner_[id] != kDifatOwner && v == kDifSect)
                return detail::corrupt("sector " + std::to_string(id) + " is marked DIFAT but is none");
        }
        for (std::size_t m = 0; m < minifat_.size(); ++m) {
            bool used = m < mini_owner_.size() && mini_owner_[m];
            if (!used && minifat_[m] != kFreeSect) {
                return detail::corrupt("mini sector " + std::to_string(m) +
                                       " is marked in use but belongs to nothing");
            }
        }
        return {};
    }

    std::span<const std::uint8_t> b_;
    int version_ = 3;
    std::size_t ss_ = kSectorSize;
    std::uint32_t n_ = 0;
    std::vector<std::uint8_t> owner_;
    std::vector<std::uint32_t> difat_ids_;
    std::vector<std::uint32_t> fat_;
    std::vector<Entry> entries_;
    std::vector<std::uint32_t> minifat_;
    std::size_t mini_sectors_ = 0;
    std::vector<std::uint8_t> mini_owner_;
};

}  // namespace

StgResult validate_compound_file(std::span<const std::uint8_t> bytes) {
    Validator v(bytes);
    return v.run();
}

}  // namespace platform::storage
