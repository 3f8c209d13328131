// Element names: UTF-8 <-> UTF-16, the naming rules and the sibling order.
#include <chrono>

#include "platform/storage/cfb_tree.h"
#include "platform/text/text.h"

namespace platform::storage::detail {

// Simple upper-case mappings of the scripts element names are likely to use: Latin (Basic,
// Latin-1, Extended-A), Greek, Cyrillic and the full-width forms. Other readers order and
// search sibling trees by upper-cased names, so a name whose letters fold differently there
// could be put where they do not look; outside these ranges a unit is kept as it is.
char16_t upper_unit(char16_t c) {
    auto u = [](int v) { return static_cast<char16_t>(v); };
    if (c < 0x80) return (c >= u'a' && c <= u'z') ? u(c - 0x20) : c;
    if (c < 0x100) {
        if (c == 0xB5) return 0x39C;  // micro sign -> Greek capital mu
        if (c == 0xFF) return 0x178;
        if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return u(c - 0x20);
        return c;
    }
    if (c < 0x180) {
        if (c == 0x131) return u'I';  // dotless i
        if (c == 0x17F) return u'S';  // long s
        if (c == 0x130 || c == 0x138 || c == 0x149 || c == 0x178) return c;
        bool odd_lower = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
        bool even_lower = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (odd_lower && (c & 1)) return u(c - 1);
        if (even_lower && !(c & 1)) return u(c - 1);
        return c;
    }
    if (c >= 0x3AC && c <= 0x3CE) {
        if (c == 0x3AC) return 0x386;
        if (c >= 0x3AD && c <= 0x3AF) return u(c - 0x25);
        if (c == 0x3C2) return 0x3A3;  // final sigma
        if (c >= 0x3B1 && c <= 0x3CB) return u(c - 0x20);
        if (c == 0x3CC) return 0x38C;
        if (c >= 0x3CD) return u(c - 0x3F);
        return c;
    }
    if (c >= 0x430 && c <= 0x44F) return u(c - 0x20);
    if (c >= 0x450 && c <= 0x45F) return u(c - 0x50);
    if (c >= 0x460 && c <= 0x481 && (c & 1)) return u(c - 1);
    if (c >= 0xFF41 && c <= 0xFF5A) return u(c - 0x20);
    return c;
}

int compare_names(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char16_t x = upper_unit(a[i]);
        char16_t y = upper_unit(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

namespace {

// Decodes strict UTF-8; false on malformed input.
bool decode_utf8(std::string_view in, std::u16string& out) {
    for (std::size_t i = 0; i < in.size();) {
        char32_t cp = 0;
        const std::size_t length = platform::text::utf8_sequence(in, i, cp);
        if (length == 0) return false;
        i += length;
    }
    out += platform::text::utf16_from_utf8(in);
    return true;
}

}  // namespace

std::string name_problem(std::u16string_view name) {
    if (name.empty()) return "is empty";
    if (name.size() > 31) return "is longer than 31 UTF-16 units";
    for (std::size_t i = 0; i < name.size(); ++i) {
        char16_t c = name[i];
        if (c == 0 || c == u'/' || c == u'\\' || c == u':' || c == u'!') {
            return "holds a forbidden character";
        }
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF) {
                ++i;
                continue;
            }
            return "holds a lone surrogate";
        }
        if (c >= 0xDC00 && c <= 0xDFFF) return "holds a lone surrogate";
    }
    return {};
}

StgOr<std::u16string> element_name(std::string_view utf8) {
    std::u16string name;
    if (!decode_utf8(utf8, name)) {
        return StgResult(StgError::invalid_name, "element name is not valid UTF-8");
    }
    if (auto problem = name_problem(name); !problem.empty()) {
        return StgResult(StgError::invalid_name, "element name \"" + std::string(utf8) + "\" " + problem);
    }
    return name;
}

std::string to_utf8(std::u16string_view in) {
    return platform::text::utf8_from_utf16(in);
}

std::u16string from_utf8_lenient(std::string_view utf8) {
    std::u16string out;
    if (!decode_utf8(utf8, out)) {
        out.clear();
        for (char c : utf8) out.push_back(static_cast<unsigned char>(c));
    }
    return out;
}

std::shared_ptr<Node> find_child(const Node& storage, std::u16string_view name, std::size_t* insert_at) {
    std::size_t lo = 0;
    std::size_t hi = storage.children.size();
    while (lo < hi) {
        std::size_t mid = lo + (hi - lo) / 2;
        int c = compare_names(storage.children[mid]->name, name);
        if (c == 0) {
            if (insert_at) *insert_at = mid;
            return storage.children[mid];
        }
        if (c < 0) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    if (insert_at) *insert_at = lo;
    return nullptr;
}

Node::~Node() {
    std::vector<std::shared_ptr<Node>> pending = std::move(children);
    while (!pending.empty()) {
        std::shared_ptr<Node> n = std::move(pending.back());
        pending.pop_back();
        // Only a node nobody else holds gives up its children here; a handle keeps its subtree.
        if (n.use_count() == 1) {
            for (auto& c : n->children) pending.push_back(std::move(c));
            n->children.clear();
        }
    }
}

std::shared_ptr<Node> new_root() {
    auto root = std::make_shared<Node>();
    root->name = u"Root Entry";
    root->is_storage = true;
    root->is_root = true;
    return root;
}

std::uint64_t filetime_now() {
    using namespace std::chrono;
    // 100-ns ticks between 1601-01-01 and 1970-01-01.
    constexpr std::uint64_t kEpochDelta = 116444736000000000ULL;
    auto ticks = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count() / 100;
    return kEpochDelta + static_cast<std::uint64_t>(ticks);
}

}  // namespace platform::storage::detail
