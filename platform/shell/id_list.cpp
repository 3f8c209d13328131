// Item-ID lists in our own encoding, and the small path and text helpers.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/shell/shell.h"
#include "platform/text/text.h"

namespace platform::shell {
namespace {

std::uint16_t read_cb(PCIDL p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// Our errno codes: failure, facility 0x7A ("zor"), errno in the low 16 bits.
constexpr std::uint32_t errno_base = 0x807A0000u;

}  // namespace

std::size_t id_list_size(PCIDL list) {
    if (!list) return 0;
    std::size_t size = 0;
    for (PCIDL p = list; read_cb(p) != 0; p += read_cb(p)) size += read_cb(p);
    return size + 2;
}

int id_list_count(PCIDL list) {
    if (!list) return 0;
    int n = 0;
    for (PCIDL p = list; read_cb(p) != 0; p += read_cb(p)) ++n;
    return n;
}

IdList empty_id_list() {
    return IdList{0, 0};
}

IdList to_id_list(PCIDL list) {
    if (!list) return empty_id_list();
    return IdList(list, list + id_list_size(list));
}

IdList make_item(ItemKind kind, std::string_view payload) {
    const std::size_t cb = 4 + payload.size() + 1;
    IdList out(cb + 2, 0);
    out[0] = static_cast<std::uint8_t>(cb & 0xFF);
    out[1] = static_cast<std::uint8_t>(cb >> 8);
    out[2] = static_cast<std::uint8_t>(kind);
    std::memcpy(out.data() + 4, payload.data(), payload.size());
    return out;
}

IdList concat(PCIDL a, PCIDL b) {
    const std::size_t sa = a ? id_list_size(a) - 2 : 0;
    const std::size_t sb = b ? id_list_size(b) - 2 : 0;
    IdList out(sa + sb + 2, 0);
    if (sa) std::memcpy(out.data(), a, sa);
    if (sb) std::memcpy(out.data() + sa, b, sb);
    return out;
}

bool is_valid_id_list(const std::uint8_t* data, std::size_t size) {
    if (!data) return false;
    std::size_t at = 0;
    for (;;) {
        if (size < 2 || at > size - 2) return false;
        const std::uint16_t cb = read_cb(data + at);
        if (cb == 0) return true;
        if (cb < 4 || cb > size - at) return false;
        at += cb;
    }
}

std::optional<std::vector<Item>> decode(PCIDL list) {
    std::vector<Item> out;
    if (!list) return out;
    for (PCIDL p = list; read_cb(p) != 0; p += read_cb(p)) {
        const std::uint16_t cb = read_cb(p);
        if (cb < 5 || p[cb - 1] != 0) return std::nullopt;
        const auto kind = static_cast<ItemKind>(p[2]);
        if (kind != ItemKind::virtual_folder && kind != ItemKind::anchor && kind != ItemKind::child) {
            return std::nullopt;
        }
        Item item{kind, std::string(reinterpret_cast<const char*>(p + 4), cb - 5)};
        if (item.payload.find('\0') != std::string::npos) return std::nullopt;
        out.push_back(std::move(item));
    }
    return out;
}

IdList encode(const std::vector<Item>& items) {
    IdList out;
    for (const auto& item : items) {
        IdList one = make_item(item.kind, item.payload);
        out.insert(out.end(), one.begin(), one.end() - 2);
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

IdList last_item(PCIDL list) {
    if (!list || read_cb(list) == 0) return empty_id_list();
    PCIDL last = list;
    for (PCIDL p = list; read_cb(p) != 0; p += read_cb(p)) last = p;
    IdList out(last, last + read_cb(last));
    out.push_back(0);
    out.push_back(0);
    return out;
}

IdList parent_of(PCIDL list) {
    if (!list || read_cb(list) == 0) return empty_id_list();
    PCIDL last = list;
    for (PCIDL p = list; read_cb(p) != 0; p += read_cb(p)) last = p;
    IdList out(list, last);
    out.push_back(0);
    out.push_back(0);
    return out;
}

HRESULT hresult_from_errno(int error) {
    if (error == EEXIST) return hresult_already_exists();
    return com::make_hresult(errno_base | (static_cast<std::uint32_t>(error) & 0xFFFF));
}

HRESULT hresult_already_exists() {
    return com::make_hresult(0x80070000u | error_already_exists);
}

int errno_of(HRESULT hr) {
    const auto bits = static_cast<std::uint32_t>(hr);
    if (hr == hresult_already_exists()) return EEXIST;
    if ((bits & 0xFFFF0000u) == errno_base) return static_cast<int>(bits & 0xFFFF);
    return 0;
}

std::string error_text(HRESULT hr) {
    if (const int e = errno_of(hr)) {
        char buf[256];
        return std::string(strerror_r(e, buf, sizeof buf));
    }
    if (hr == com::E_ACCESSDENIED) return "Permission denied";
    if (hr == com::E_INVALIDARG) return "Invalid argument";
    if (hr == com::E_OUTOFMEMORY) return "Not enough memory";
    return "Error " + com::hresult_text(hr);
}

std::string normalize_path(std::string_view path) {
    const bool absolute = !path.empty() && path[0] == '/';
    std::vector<std::string_view> parts;
    std::size_t i = 0;
    while (i <= path.size()) {
        std::size_t j = path.find('/', i);
        if (j == std::string_view::npos) j = path.size();
        const std::string_view part = path.substr(i, j - i);
        if (part.empty() || part == ".") {
        } else if (part == "..") {
            if (!parts.empty() && parts.back() != "..") {
                parts.pop_back();
            } else if (!absolute) {
                parts.push_back(part);
            }
        } else {
            parts.push_back(part);
        }
        i = j + 1;
    }
    std::string out = absolute ? "/" : "";
    for (std::size_t k = 0; k < parts.size(); ++k) {
        if (k) out += '/';
        out += parts[k];
    }
    if (out.empty()) out = ".";
    return out;
}

std::string join_path(std::string_view folder, std::string_view name) {
    std::string out(folder);
    if (out.empty() || out.back() != '/') out += '/';
    out += name;
    return out;
}

std::string display_text(std::string_view raw) {
    static constexpr const char* replacement = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size();) {
        const auto c = static_cast<unsigned char>(raw[i]);
        if (c < 0x80) {
            out += (c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c);
            ++i;
            continue;
        }
        char32_t code = 0;
        if (const std::size_t len = platform::text::utf8_sequence(raw, i, code); len != 0) {
            out.append(raw.substr(i, len));
            i += len;
        } else {
            out += replacement;
            ++i;
        }
    }
    return out;
}

std::string base_name(const std::string& path) {
    if (path == "/") return "/";
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string dir_name(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string edited_name(std::string_view name, std::string_view offered, std::string_view typed) {
    if (typed == offered) return std::string(name);
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    const auto leading = [&](std::string_view s) {
        std::size_t n = 0;
        while (n < s.size() && blank(s[n])) ++n;
        return n;
    };
    const auto trailing = [&](std::string_view s) {
        std::size_t n = 0;
        while (n < s.size() && blank(s[s.size() - 1 - n])) ++n;
        return n;
    };
    const std::size_t lead = leading(typed);
    if (lead == typed.size()) return {};
    const std::size_t trail = trailing(typed);
    // As many blanks as the offered text had at each end are the name's own; more were typed.
    const std::size_t drop_lead = lead - std::min(lead, leading(offered));
    const std::size_t drop_trail = trail - std::min(trail, trailing(offered));
    return std::string(typed.substr(drop_lead, typed.size() - drop_lead - drop_trail));
}

}  // namespace platform::shell
