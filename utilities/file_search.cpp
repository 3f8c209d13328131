#include "utilities/file_search.h"

#include <dirent.h>
#include <fnmatch.h>

#include <algorithm>
#include <memory>

namespace putils {

namespace {

char fold(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool folded_less(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(fold(a[i]));
        const auto y = static_cast<unsigned char>(fold(b[i]));
        if (x != y) return x < y;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

}  // namespace

std::vector<std::string> find_files(std::string_view mask) {
    const std::size_t slash = mask.rfind('/');
    std::string folder =
        slash == std::string_view::npos ? std::string(".") : std::string(mask.substr(0, slash));
    if (folder.empty()) folder = "/";
    std::string pattern(slash == std::string_view::npos ? mask : mask.substr(slash + 1));
    if (pattern == "*.*") pattern = "*";

    std::vector<std::string> names;
    if (pattern.empty()) return names;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
    if (!dir) return names;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (fnmatch(pattern.c_str(), entry->d_name, FNM_CASEFOLD | FNM_NOESCAPE) == 0)
            names.emplace_back(name);
    }
    std::sort(names.begin(), names.end(), folded_less);
    return names;
}

}  // namespace putils
