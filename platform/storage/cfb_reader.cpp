// Loads a compound file into the in-memory tree. Every id read from the file is checked before
// it is followed, every sector may belong to one chain only (so loops and overlaps are caught and
// the loaded data can never outgrow the file), and the directory is walked without recursion.
#include <algorithm>
#include <cstdio>

#include "platform/storage/cfb_format.h"
#include "platform/storage/cfb_tree.h"

namespace platform::storage::detail {

std::string hex_id(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

using namespace format;

namespace {

struct RawEntry {
    std::u16string name;
    std::uint8_t type = kTypeUnused;
    std::uint32_t left = kNoStream;
    std::uint32_t right = kNoStream;
    std::uint32_t child = kNoStream;
    std::array<std::uint8_t, 16> clsid{};
    std::uint32_t state = 0;
    std::uint64_t created = 0;
    std::uint64_t modified = 0;
    std::uint32_t start = kEndOfChain;
    std::uint64_t size = 0;
};

class Reader {
  public:
    explicit Reader(std::span<const std::uint8_t> bytes) : b_(bytes) {}

    StgOr<std::shared_ptr<Node>> run() {
        if (auto r = read_header(); !r) return r;
        if (auto r = read_fat(); !r) return r;
        if (auto r = read_directory(); !r) return r;
        if (auto r = read_mini(); !r) return r;
        return build_tree();
    }

  private:
    // Copies sector id (already range-checked) to dst; a short last sector reads as zero-padded.
    void copy_sector(std::uint32_t id, std::uint8_t* dst, std::size_t n) const {
        std::size_t off = (static_cast<std::size_t>(id) + 1) * ss_;
        std::size_t avail = off < b_.size() ? std::min(n, b_.size() - off) : 0;
        if (avail) std::memcpy(dst, b_.data() + off, avail);
        if (avail < n) std::memset(dst + avail, 0, n - avail);
    }

    std::vector<std::uint8_t> sector(std::uint32_t id) const {
        std::vector<std::uint8_t> s(ss_);
        copy_sector(id, s.data(), ss_);
        return s;
    }

    StgResult read_header() {
        if (b_.size() < kHeaderSize) {
            return corrupt("file of " + std::to_string(b_.size()) +
                           " bytes is shorter than a compound file header");
        }
        const std::uint8_t* h = b_.data();
        if (std::memcmp(h, kSignature, sizeof kSignature) != 0) {
            return corrupt("not a compound file: bad signature");
        }
        if (get16(h + kOffByteOrder) != kByteOrderMark) {
            return corrupt("byte order mark is " + hex_id(get16(h + kOffByteOrder)) + ", not 0xFFFE");
        }
        version_ = get16(h + kOffMajor);
        std::uint16_t shift = get16(h + kOffSectorShift);
        if (version_ == 3) {
            if (shift != 9) return corrupt("version 3 file with sector shift " + std::to_string(shift));
        } else if (version_ == 4) {
            if (shift != 12) return corrupt("version 4 file with sector shift " + std::to_string(shift));
        } else {
            return corrupt("unsupported major version " + std::to_string(version_));
        }
        ss_ = std::size_t{1} << shift;
        if (get16(h + kOffMiniShift) != 6) {
            return corrupt("mini sector shift is " + std::to_string(get16(h + kOffMiniShift)) + ", not 6");
        }
        if (get32(h + kOffMiniCutoff) != kMiniCutoff) {
            return corrupt("mini stream cutoff is " + std::to_string(get32(h + kOffMiniCutoff)) +
                           ", not 4096");
        }
        std::size_t sectors = b_.size() > ss_ ? (b_.size() - ss_ + ss_ - 1) / ss_ : 0;
        if (sectors > kMaxRegSect) return corrupt("file has more sectors than ids can address");
        n_ = static_cast<std::uint32_t>(sectors);
        used_.assign(n_, 0);
        return {};
    }

    StgResult read_fat() {
        const std::uint8_t* h = b_.data();
        std::uint32_t num_fat = get32(h + kOffFatSectors);
        if (num_fat == 0) return corrupt("header names no FAT sector");
        if (num_fat > n_) {
            return corrupt("header claims " + std::to_string(num_fat) + " FAT sectors, the file has " +
                           std::to_string(n_) + " sectors");
        }
        std::vector<std::uint32_t> fat_ids;
        for (std::size_t i = 0; i < kHeaderDifatEntries && fat_ids.size() < num_fat; ++i) {
            fat_ids.push_back(get32(h + kOffDifat + 4 * i));
        }
        std::uint32_t cur = get32(h + kOffFirstDifat);
        std::size_t per_difat = ss_ / 4 - 1;
        while (fat_ids.size() < num_fat) {
            if (cur == kEndOfChain || cur == kFreeSect) {
                return corrupt("DIFAT ends after " + std::to_string(fat_ids.size()) + " of " +
                               std::to_string(num_fat) + " FAT sectors");
            }
            if (cur >= n_) return corrupt("DIFAT sector id " + hex_id(cur) + " is past the end of the file");
            if (used_[cur]) return corrupt("DIFAT chain loops at sector " + std::to_string(cur));
            used_[cur] = 1;
            auto s = sector(cur);
            for (std::size_t i = 0; i < per_difat && fat_ids.size() < num_fat; ++i) {
                fat_ids.push_back(get32(s.data() + 4 * i));
            }
            cur = get32(s.data() + 4 * per_difat);
        }
        std::size_t per_fat = ss_ / 4;
        fat_.resize(static_cast<std::size_t>(num_fat) * per_fat);
        for (std::size_t k = 0; k < fat_ids.size(); ++k) {
            std::uint32_t id = fat_ids[k];
            if (id >= n_) {
                return corrupt("FAT sector " + std::to_string(k) + " has id " + hex_id(id) +
                               ", past the end of the file");
            }
            if (used_[id]) return corrupt("sector " + std::to_string(id) + " is listed twice as FAT/DIFAT");
            used_[id] = 1;
            auto s = sector(id);
            for (std::size_t i = 0; i < per_fat; ++i) fat_[k * per_fat + i] = get32(s.data() + 4 * i);
        }
        return {};
    }

    // Follows a chain of regular sectors. need = sectors the contents require (0: to the end).
    StgResult walk(std::uint32_t start, std::size_t need, const std::string& what,
                   std::vector<std::uint32_t>& out) {
        out.clear();
        std::uint32_t cur = start;
        while (cur != kEndOfChain && (need == 0 || out.size() < need)) {
            if (cur > kMaxRegSect) return corrupt(what + ": chain reaches special sector id " + hex_id(cur));
            if (cur >= n_ || cur >= fat_.size()) {
                return corrupt(what + ": chain points past the end of the file (sector " + hex_id(cur) + ")");
            }
            if (used_[cur]) {
                return corrupt(what + ": sector " + std::to_string(cur) +
                               " is already in use (the chain loops or overlaps another)");
            }
            if (out.size() >= n_) return corrupt(what + ": chain is longer than the file");
            used_[cur] = 1;
            out.push_back(cur);
            cur = fat_[cur];
            if (cur != kEndOfChain && cur > kMaxRegSect && (need == 0 || out.size() < need)) {
                return corrupt(what + ": chain continues into a free or special sector (" + hex_id(cur) +
                               ")");
            }
        }
        if (need && out.size() < need) {
            return corrupt(what + " needs " + std::to_string(need) + " sectors, its chain has " +
                           std::to_string(out.size()));
        }
        return {};
    }

    StgResult read_directory() {
        std::vector<std::uint32_t> chain;
        if (auto r = walk(get32(b_.data() + kOffFirstDir), 0, "directory", chain); !r) return r;
        if (chain.empty()) return corrupt("the directory is empty");
        std::size_t per = ss_ / kDirEntrySize;
        entries_.resize(chain.size() * per);
        for (std::size_t k = 0; k < chain.size(); ++k) {
            auto s = sector(chain[k]);
            for (std::size_t i = 0; i < per; ++i) {
                std::size_t index = k * per + i;
                if (auto r = parse_entry(s.data() + i * kDirEntrySize, index, entries_[index]); !r) return r;
            }
        }
        if (entries_[0].type != kTypeRoot) return corrupt("the first directory entry is not the root");
        return {};
    }

    StgResult parse_entry(const std::uint8_t* p, std::size_t index, RawEntry& e) {
        e.type = p[kEntType];
        if (e.type == kTypeUnused) return {};
        std::string where = "directory entry " + std::to_string(index);
        if (e.type != kTypeStorage && e.type != kTypeStream && e.type != kTypeRoot) {
            return corrupt(where + " has unknown type " + std::to_string(e.type));
        }
        std::uint16_t len = get16(p + kEntNameLen);
        if (len % 2 != 0 || len > 64 || (len < 4 && e.type != kTypeRoot)) {
            return corrupt(where + " has a bad name length " + std::to_string(len));
        }
        std::size_t units = len >= 2 ? len / 2 - 1 : 0;
        for (std::size_t i = 0; i < units; ++i) {
            char16_t c = static_cast<char16_t>(get16(p + kEntName + 2 * i));
            if (c == 0) break;  // tolerate an early terminator
            e.name.push_back(c);
        }
        if (e.type != kTypeRoot) {
            // Everything loaded must be reachable by name through the API.
            if (auto problem = name_problem(e.name); !problem.empty()) {
                return corrupt(where + ": name " + problem);
            }
        }
        e.left = get32(p + kEntLeft);
        e.right = get32(p + kEntRight);
        e.child = get32(p + kEntChild);
        std::memcpy(e.clsid.data(), p + kEntClsid, 16);
        e.state = get32(p + kEntState);
        e.created = get64(p + kEntCreated);
        e.modified = get64(p + kEntModified);
        e.start = get32(p + kEntStart);
        // Version 3 keeps 32-bit sizes; some writers leave junk in the high half.
        e.size = version_ == 3 ? get32(p + kEntSize) : get64(p + kEntSize);
        return {};
    }

    StgResult check_size(std::uint64_t size, const std::string& what) const {
        if (size > static_cast<std::uint64_t>(n_) * ss_) {
            return corrupt(what + ": size " + std::to_string(size) + " is past the end of the file");
        }
        return {};
    }

    StgResult read_mini() {
        const RawEntry& root = entries_[0];
        if (root.size > 0) {
            if (auto r = check_size(root.size, "mini stream"); !r) return r;
            std::size_t need = static_cast<std::size_t>((root.size + ss_ - 1) / ss_);
            std::vector<std::uint32_t> chain;
            if (auto r = walk(root.start, need, "mini stream", chain); !r) return r;
            std::size_t n_mini =
                static_cast<std::size_t>((root.size + kMiniSectorSize - 1) / kMiniSectorSize);
            mini_.resize(n_mini * kMiniSectorSize);
            for (std::size_t k = 0; k < chain.size(); ++k) {
                std::size_t off = k * ss_;
                copy_sector(chain[k], mini_.data() + off, std::min(ss_, mini_.size() - off));
            }
            mini_used_.assign(n_mini, 0);
        }
        std::uint32_t first = get32(b_.data() + kOffFirstMiniFat);
        if (first != kEndOfChain) {
            std::vector<std::uint32_t> chain;
            if (auto r = walk(first, 0, "mini FAT", chain); !r) return r;
            std::size_t per = ss_ / 4;
            minifat_.resize(chain.size() * per);
            for (std::size_t k = 0; k < chain.size(); ++k) {
                auto s = sector(chain[k]);
                for (std::size_t i = 0; i < per; ++i) minifat_[k * per + i] = get32(s.data() + 4 * i);
            }
        }
        return {};
    }

    StgResult load_mini(const RawEntry& e, const std::string& what, std::vector<std::uint8_t>& out) {
        if (e.size > mini_.size()) {
            return corrupt(what + ": size " + std::to_string(e.size) +
                           " is past the end of the mini stream (" + std::to_string(mini_.size()) + ")");
        }
        std::size_t need = static_cast<std::size_t>((e.size + kMiniSectorSize - 1) / kMiniSectorSize);
        out.resize(static_cast<std::size_t>(e.size));
        std::uint32_t cur = e.start;
        for (std::size_t k = 0; k < need; ++k) {
            if (cur == kEndOfChain) {
                return corrupt(what + " needs " + std::to_string(need) + " mini sectors, its chain has " +
                               std::to_string(k));
            }
            if (cur > kMaxRegSect) return corrupt(what + ": mini chain reaches special id " + hex_id(cur));
            if (cur >= mini_used_.size() || cur >= minifat_.size()) {
                return corrupt(what + ": mini sector " + hex_id(cur) +
                               " lies beyond the mini stream or the mini FAT");
            }
            if (mini_used_[cur]) {
                return corrupt(what + ": mini sector " + std::to_string(cur) +
                               " is already in use (the chain loops or overlaps another)");
            }
            mini_used_[cur] = 1;
            std::size_t off = k * kMiniSectorSize;
            std::size_t n = std::min(kMiniSectorSize, out.size() - off);
            std::memcpy(out.data() + off, mini_.data() + static_cast<std::size_t>(cur) * kMiniSectorSize, n);
            cur = minifat_[cur];
        }
        return {};
    }

    StgResult load_regular(const RawEntry& e, const std::string& what, std::vector<std::uint8_t>& out) {
        if (auto r = check_size(e.size, what); !r) return r;
        std::size_t need = static_cast<std::size_t>((e.size + ss_ - 1) / ss_);
        std::vector<std::uint32_t> chain;
        if (auto r = walk(e.start, need, what, chain); !r) return r;
        out.resize(static_cast<std::size_t>(e.size));
        for (std::size_t k = 0; k < chain.size(); ++k) {
            std::size_t off = k * ss_;
            copy_sector(chain[k], out.data() + off, std::min(ss_, out.size() - off));
        }
        return {};
    }

    StgOr<std::shared_ptr<Node>> build_tree() {
        auto root = new_root();
        const RawEntry& re = entries_[0];
        root->clsid = re.clsid;
        root->state_bits = re.state;
        root->created = re.created;
        root->modified = re.modified;

        struct Work {
            std::uint32_t id;
            std::uint32_t from;
            Node* parent;
        };
        std::vector<std::uint8_t> visited(entries_.size(), 0);
        visited[0] = 1;
        std::vector<Work> stack;
        if (re.child != kNoStream) stack.push_back({re.child, 0, root.get()});
        std::vector<Node*> storages{root.get()};
        while (!stack.empty()) {
            Work w = stack.back();
            stack.pop_back();
            if (w.id >= entries_.size()) {
                return corrupt("directory entry " + std::to_string(w.from) + " links to entry " +
                               hex_id(w.id) + ", out of range");
            }
            if (visited[w.id]) {
                return corrupt("directory entry " + std::to_string(w.id) +
                               " is reached twice (the directory tree has a cycle)");
            }
            visited[w.id] = 1;
            const RawEntry& e = entries_[w.id];
            if (e.type != kTypeStorage && e.type != kTypeStream) {
                return corrupt("directory entry " + std::to_string(w.from) + " links to entry " +
                               std::to_string(w.id) + ", which is " +
                               (e.type == kTypeRoot ? "a second root" : "unused"));
            }
            auto node = std::make_shared<Node>();
            node->name = e.name;
            node->is_storage = e.type == kTypeStorage;
            node->clsid = e.clsid;
            node->state_bits = e.state;
            node->created = e.created;
            node->modified = e.modified;
            if (!node->is_storage && e.size > 0) {
                std::string what = "stream \"" + to_utf8(e.name) + "\" (entry " + std::to_string(w.id) + ")";
                auto r =
                    e.size < kMiniCutoff ? load_mini(e, what, node->data) : load_regular(e, what, node->data);
                if (!r) return r;
            }
            w.parent->children.push_back(node);
            if (e.left != kNoStream) stack.push_back({e.left, w.id, w.parent});
            if (e.right != kNoStream) stack.push_back({e.right, w.id, w.parent});
            if (node->is_storage) {
                storages.push_back(node.get());
                if (e.child != kNoStream) stack.push_back({e.child, w.id, node.get()});
            }
        }
        for (Node* s : storages) {
            auto less = [](const std::shared_ptr<Node>& a, const std::shared_ptr<Node>& b) {
                return compare_names(a->name, b->name) < 0;
            };
            std::sort(s->children.begin(), s->children.end(), less);
            for (std::size_t i = 1; i < s->children.size(); ++i) {
                if (compare_names(s->children[i - 1]->name, s->children[i]->name) == 0) {
                    return corrupt("storage \"" + to_utf8(s->name) + "\" holds two elements named \"" +
                                   to_utf8(s->children[i]->name) + "\"");
                }
            }
        }
        return root;
    }

    std::span<const std::uint8_t> b_;
    std::size_t ss_ = kSectorSize;
    int version_ = 3;
    std::uint32_t n_ = 0;             // sectors in the file
    std::vector<std::uint8_t> used_;  // sector already belongs to a chain
    std::vector<std::uint32_t> fat_;
    std::vector<RawEntry> entries_;
    std::vector<std::uint8_t> mini_;  // the root's mini stream
    std::vector<std::uint8_t> mini_used_;
    std::vector<std::uint32_t> minifat_;
};

}  // namespace

StgOr<std::shared_ptr<Node>> parse_compound_file(std::span<const std::uint8_t> bytes) {
    Reader reader(bytes);
    return reader.run();
}

}  // namespace platform::storage::detail
