// The entries the shell never renames, moves or deletes, and what a copy may not be put into.
#include <unistd.h>

#include <cstdlib>

#include "platform/shell/mounts.h"
#include "platform/shell/protected_paths.h"
#include "platform/shell/shell.h"

namespace platform::shell {
namespace {

// `folder` is `path` or one of the folders above it (both normalised).
bool at_or_above(const std::string& folder, const std::string& path) {
    return folder == path || folder == "/" || path.rfind(folder + "/", 0) == 0;
}

bool is_trash_name(const std::string& path, const std::string& home_trash) {
    const std::string name = base_name(path);
    if (path == home_trash || name == ".Trash" || name.rfind(".Trash-", 0) == 0) return true;
    // The trash's own two folders: without them nothing could be put back.
    const std::string parent = dir_name(path);
    return (name == "files" || name == "info") &&
           (parent == home_trash || base_name(parent).rfind(".Trash-", 0) == 0 ||
            base_name(dir_name(parent)) == ".Trash");
}

std::optional<std::string> refused(const std::string& path, const std::string& home,
                                   const std::string& home_trash) {
    if (path == "/") return "it is the root of the file system";
    if (path == home) return "it is the home folder";
    if (at_or_above(path, home)) return "it holds the home folder";
    if (is_mount_point(path)) return "it is a mount point";
    if (is_trash_name(path, home_trash)) return "it is a trash folder";
    if (at_or_above(path, home_trash)) return "it holds the trash";
    return std::nullopt;
}

}  // namespace

std::string real_or_normal(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return normalize_path(path);
    std::string out = real;
    std::free(real);
    return out;
}

std::optional<std::string> change_refused(const std::string& raw, const std::string& real_folder) {
    if (raw.empty() || raw[0] != '/') return "the path is not absolute";
    const std::string path = normalize_path(raw);
    const std::string home = normalize_path(home_directory());
    const std::string home_trash = data_home() + "/Trash";
    if (auto why = refused(path, home, home_trash)) return why;
    // The same folders reached through links above the entry (the entry itself is not
    // followed: renaming a link leaves what it leads to where it is).
    const std::string real = join_path(real_folder, base_name(path));
    if (real == path) return std::nullopt;
    return refused(real, real_or_normal(home), real_or_normal(home_trash));
}

std::optional<std::string> change_refused(const std::string& path) {
    if (path.empty() || path[0] != '/') return "the path is not absolute";
    return change_refused(path, real_or_normal(dir_name(normalize_path(path))));
}

bool contains_path(const std::string& source, const std::string& target) {
    if (source.empty() || target.empty()) return false;
    return at_or_above(normalize_path(source), normalize_path(target)) ||
           at_or_above(real_or_normal(source), real_or_normal(target));
}

}  // namespace platform::shell
