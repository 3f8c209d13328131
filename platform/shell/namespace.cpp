// The namespace: the root, Computer and file-system folders over POSIX calls.
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <unordered_map>

#include "platform/shell/mounts.h"
#include "platform/shell/ole.h"
#include "platform/shell/protected_paths.h"
#include "platform/shell/shell.h"

namespace platform::shell {
namespace {

constexpr std::string_view computer_id = "computer";
constexpr int has_subfolder_lookup_limit = 4096;

bool ends_with(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

int compare_names(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char x = ascii_lower(a[i]), y = ascii_lower(b[i]);
        if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y) ? -1 : 1;
    }
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    // Same letters: the exact bytes decide, so two names that differ only in case stay two items.
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool is_directory_following(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// What the attributes of every entry of one folder depend on: whether entries may be renamed,
// moved or deleted there (the folder is writable and searchable, and in a folder with the
// sticky bit the caller owns the entry or the folder), and whether its file system is mounted
// read-only.
struct FolderFacts {
    bool changeable = false;
    bool sticky = false;
    uid_t owner = 0;
    bool read_only_fs = false;
    std::string real_path;  // links resolved, for telling which entries must stay
    bool allows_change(const struct stat& entry) const {
        if (!changeable) return false;
        if (!sticky) return true;
        const uid_t me = ::geteuid();
        return me == 0 || me == entry.st_uid || me == owner;
    }
};

bool on_read_only_fs(const std::string& path) {
    struct statvfs vfs {};
    return ::statvfs(path.c_str(), &vfs) == 0 && (vfs.f_flag & ST_RDONLY);
}

// The facts of a folder whose status `folder_status` has just been read.
FolderFacts folder_facts_of(const std::string& folder, const struct stat& folder_status) {
    FolderFacts facts;
    facts.changeable = ::access(folder.c_str(), W_OK | X_OK) == 0;
    facts.sticky = folder_status.st_mode & S_ISVTX;
    facts.owner = folder_status.st_uid;
    facts.read_only_fs = on_read_only_fs(folder);
    facts.real_path = real_or_normal(folder);
    return facts;
}

FolderFacts folder_facts_of(const std::string& folder) {
    struct stat fs {};
    if (::stat(folder.c_str(), &fs) != 0) return {};
    return folder_facts_of(folder, fs);
}

// Whether the caller may read (R_OK) or write (W_OK) an entry, decided from its mode bits as
// access() decides for owner, group and others (root may do both; nobody writes on a read-only
// file system). Reading the bits we already have spares two system calls per entry when a
// folder of thousands is filled. ACLs are not consulted: the answer only chooses what the
// controls offer, and the operation itself reports a refusal.
bool permits(const struct stat& st, int mode, bool read_only_fs) {
    if ((mode & W_OK) && read_only_fs) return false;
    const uid_t me = ::geteuid();
    if (me == 0) return true;
    // The groups, read again only when the process's identity changed.
    static uid_t groups_of_uid = static_cast<uid_t>(-1);
    static gid_t groups_of_gid = static_cast<gid_t>(-1);
    static std::vector<gid_t> groups;
    if (groups_of_uid != me || groups_of_gid != ::getegid()) {
        groups_of_uid = me;
        groups_of_gid = ::getegid();
        groups.assign(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)), 0);
        if (!groups.empty()) {
            const int n = ::getgroups(static_cast<int>(groups.size()), groups.data());
            groups.resize(static_cast<std::size_t>(std::max(n, 0)));
        }
        groups.push_back(groups_of_gid);
    }
    mode_t bits;
    if (st.st_uid == me) {
        bits = (st.st_mode >> 6) & 7;
    } else if (std::find(groups.begin(), groups.end(), st.st_gid) != groups.end()) {
        bits = (st.st_mode >> 3) & 7;
    } else {
        bits = st.st_mode & 7;
    }
    if ((mode & R_OK) && !(bits & 4)) return false;
    if ((mode & W_OK) && !(bits & 2)) return false;
    return true;
}

// Whether a folder has a sub-folder. Names whose type the directory gives are read however many
// there are (a folder of many plain files has none); only entries whose type needs a status of
// their own (links, file systems that give no type) are limited. When the scan cannot finish (a
// read error, too many such entries) the answer is yes, and expanding the folder finds out.
bool has_subfolder(const std::string& path) {
    if (const Mount* m = mount_of(path); m && drive_type(*m) == DriveType::remote) return true;
    DIR* dir = ::opendir(path.c_str());
    if (!dir) return false;
    bool found = false;
    int looked_up = 0;
    for (;;) {
        errno = 0;
        const dirent* e = ::readdir(dir);
        if (!e) {
            found = errno != 0;
            break;
        }
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        if (e->d_type == DT_DIR) {
            found = true;
            break;
        }
        if (e->d_type != DT_LNK && e->d_type != DT_UNKNOWN) continue;
        if (++looked_up > has_subfolder_lookup_limit) {
            found = true;
            break;
        }
        if (is_directory_following(join_path(path, e->d_name))) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

// Attributes of a file-system entry. `anchor`: the entry is a root of the namespace (home, a
// mount), which is never renamed, moved or deleted.
// `facts`: those of the entry's folder, when the caller has them.
std::uint32_t fs_attributes(const std::string& path, bool anchor, std::uint32_t mask,
                            const FolderFacts* facts = nullptr) {
    struct stat ls {};
    if (::lstat(path.c_str(), &ls) != 0) return 0;
    struct stat st = ls;
    const bool link = S_ISLNK(ls.st_mode);
    if (link && ::stat(path.c_str(), &st) != 0) st = ls;  // a broken link is a plain item
    const bool folder = S_ISDIR(st.st_mode);
    std::uint32_t a = SFGAO_FILESYSTEM | SFGAO_CANLINK;
    if (folder) a |= SFGAO_FOLDER | SFGAO_FILESYSANCESTOR;
    if (mask & SFGAO_LINK) {
        if (link || (S_ISREG(ls.st_mode) && ends_with(path, ".desktop") && is_shortcut(path)))
            a |= SFGAO_LINK;
    }
    if ((mask & SFGAO_HASSUBFOLDER) && folder && has_subfolder(path)) a |= SFGAO_HASSUBFOLDER;
    const bool mount = folder && !link && is_mount_point(path);
    std::optional<FolderFacts> own_facts;
    if (!facts) own_facts = folder_facts_of(dir_name(path));
    const FolderFacts& parent = facts ? *facts : *own_facts;
    if (mask & (SFGAO_READONLY | SFGAO_CANCOPY)) {
        // A mount point (and an anchor, which may be one) is on a file system of its own.
        const bool read_only_fs = (mount || anchor) ? on_read_only_fs(path) : parent.read_only_fs;
        if ((mask & SFGAO_READONLY) && !permits(st, W_OK, read_only_fs)) a |= SFGAO_READONLY;
        if ((mask & SFGAO_CANCOPY) && permits(st, R_OK, read_only_fs)) a |= SFGAO_CANCOPY;
    }
    if ((mask & SFGAO_DROPTARGET) && folder && ::access(path.c_str(), W_OK | X_OK) == 0)
        a |= SFGAO_DROPTARGET;
    if (mask & (SFGAO_CANRENAME | SFGAO_CANMOVE | SFGAO_CANDELETE)) {
        // Only a real folder can be one that must stay (home or above it, a mount, the trash).
        const bool kept = anchor || mount || (folder && !link && change_refused(path, parent.real_path));
        if (!kept && parent.allows_change(ls)) a |= SFGAO_CANRENAME | SFGAO_CANMOVE | SFGAO_CANDELETE;
    }
    if (mask & SFGAO_GHOSTED) {
        const std::string name = base_name(path);
        if ((name.size() > 1 && name[0] == '.') || shell_clipboard().is_cut(path)) a |= SFGAO_GHOSTED;
    }
    if (mask & SFGAO_REMOVABLE) {
        if (const Mount* m = mount_of(path); m && drive_type(*m) == DriveType::removable)
            a |= SFGAO_REMOVABLE;
    }
    return a & mask;
}

std::optional<Item> single_item(PCIDL child) {
    if (!child || id_list_count(child) != 1) return std::nullopt;
    auto items = decode(child);
    if (!items) return std::nullopt;
    return items->front();
}

bool valid_new_name(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.size() <= max_name_bytes &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

class FileSystemFolder final : public Folder {
  public:
    FileSystemFolder(IdList list, std::string path) : Folder(std::move(list)), path_(std::move(path)) {}

    std::string path() const override { return path_; }

    HRESULT enum_objects(std::uint32_t flags, std::vector<IdList>& out) const override {
        out.clear();
        DIR* dir = ::opendir(path_.c_str());
        if (!dir) return hresult_from_errno(errno);
        const bool hidden = flags & SHCONTF_INCLUDEHIDDEN;
        const bool folders = flags & SHCONTF_FOLDERS;
        const bool files = flags & SHCONTF_NONFOLDERS;
        HRESULT hr = com::S_OK;
        for (;;) {
            errno = 0;
            const dirent* e = ::readdir(dir);
            if (!e) {
                if (errno != 0) hr = com::E_FAIL;
                break;
            }
            const std::string_view name = e->d_name;
            if (name == "." || name == "..") continue;
            if (!hidden && name[0] == '.') continue;
            bool is_dir = e->d_type == DT_DIR;
            if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN)
                is_dir = is_directory_following(join_path(path_, name));
            if (is_dir ? !folders : !files) continue;
            out.push_back(make_item(ItemKind::child, name));
        }
        ::closedir(dir);
        return hr;
    }

    std::uint32_t attributes_of(std::span<const PCIDL> children, std::uint32_t mask) const override {
        if (mask & SFGAO_VALIDATE) validate_mounts();
        if (children.empty()) return fs_attributes(path_, false, mask & ~SFGAO_VALIDATE);
        std::uint32_t result = mask & ~SFGAO_VALIDATE;
        const FolderFacts& facts = folder_facts();
        for (PCIDL child : children) {
            auto item = single_item(child);
            if (!item || item->kind != ItemKind::child) return 0;
            result &= fs_attributes(join_path(path_, item->payload), false, mask, &facts);
        }
        return result;
    }

    std::string display_name_of(PCIDL child, std::uint32_t flags) const override {
        auto item = single_item(child);
        if (!item || item->kind != ItemKind::child) return {};
        if (flags & SHGDN_FORPARSING)
            return (flags & SHGDN_INFOLDER) ? item->payload : join_path(path_, item->payload);
        return display_text(item->payload);
    }

    int compare_ids(int column, PCIDL a, PCIDL b) const override {
        auto ia = single_item(a), ib = single_item(b);
        if (!ia || !ib || id_list_count(a) != 1 || id_list_count(b) != 1)
            return Folder::compare_ids(column, a, b);
        const std::string pa = join_path(path_, ia->payload), pb = join_path(path_, ib->payload);
        struct stat sa {
        }, sb{};
        const bool oka = ::stat(pa.c_str(), &sa) == 0, okb = ::stat(pb.c_str(), &sb) == 0;
        const bool da = oka && S_ISDIR(sa.st_mode), db = okb && S_ISDIR(sb.st_mode);
        if (da != db) return da ? -1 : 1;
        int c = 0;
        if (column == 1 && !da) {
            c = sa.st_size < sb.st_size ? -1 : (sa.st_size > sb.st_size ? 1 : 0);
        } else if (column == 2) {
            const std::string ta = type_name_of(pa), tb = type_name_of(pb);
            c = compare_names(ta, tb);
        } else if (column == 3) {
            c = sa.st_mtime < sb.st_mtime ? -1 : (sa.st_mtime > sb.st_mtime ? 1 : 0);
        }
        return c != 0 ? c : compare_names(ia->payload, ib->payload);
    }

    void sort_ids(int column, std::vector<PCIDL>& children, bool descending) const override {
        // The keys compare_ids reads, read once per child.
        struct Key {
            PCIDL list;
            std::string name;
            bool dir = false;
            off_t size = 0;
            time_t mtime = 0;
            std::string type;
        };
        std::vector<Key> keys;
        keys.reserve(children.size());
        for (PCIDL child : children) {
            auto item = single_item(child);
            if (!item || id_list_count(child) != 1) return Folder::sort_ids(column, children, descending);
            Key k{child, item->payload};
            const std::string path = join_path(path_, item->payload);
            struct stat st {};
            if (::stat(path.c_str(), &st) == 0) {
                k.dir = S_ISDIR(st.st_mode);
                k.size = st.st_size;
                k.mtime = st.st_mtime;
            }
            if (column == 2) k.type = type_name_of(path);
            keys.push_back(std::move(k));
        }
        auto compare = [column](const Key& a, const Key& b) {
            if (a.dir != b.dir) return a.dir ? -1 : 1;
            int c = 0;
            if (column == 1 && !a.dir)
                c = a.size < b.size ? -1 : (a.size > b.size ? 1 : 0);
            else if (column == 2)
                c = compare_names(a.type, b.type);
            else if (column == 3)
                c = a.mtime < b.mtime ? -1 : (a.mtime > b.mtime ? 1 : 0);
            return c != 0 ? c : compare_names(a.name, b.name);
        };
        std::stable_sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) {
            const int c = compare(a, b);
            return descending ? c > 0 : c < 0;
        });
        for (std::size_t i = 0; i < keys.size(); ++i) children[i] = keys[i].list;
    }

    HRESULT parse_display_name(std::string_view name, IdList& out) const override {
        if (!valid_new_name(name)) return com::E_INVALIDARG;
        struct stat st {};
        if (::lstat(join_path(path_, name).c_str(), &st) != 0) return hresult_from_errno(errno);
        out = make_item(ItemKind::child, name);
        return com::S_OK;
    }

    HRESULT set_name_of(PCIDL child, std::string_view new_name, IdList& out) const override {
        auto item = single_item(child);
        if (!item || item->kind != ItemKind::child) return com::E_INVALIDARG;
        if (!valid_new_name(new_name)) return com::E_INVALIDARG;
        if (new_name == item->payload) {
            out = make_item(ItemKind::child, new_name);
            return com::S_OK;
        }
        const std::string from = join_path(path_, item->payload), to = join_path(path_, new_name);
        if (change_refused(from)) return com::E_ACCESSDENIED;
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
            if (errno != EINVAL && errno != ENOSYS) return hresult_from_errno(errno);
            // A file system without no-replace renames: look first, then rename.
            struct stat st {};
            if (::lstat(to.c_str(), &st) == 0) return hresult_from_errno(EEXIST);
            if (::rename(from.c_str(), to.c_str()) != 0) return hresult_from_errno(errno);
        }
        out = make_item(ItemKind::child, new_name);
        return com::S_OK;
    }

  private:
    // The folder's facts, read again only when the folder's status changed (a chmod, chown,
    // ACL change or a new mount there moves its change time or device), so filling a large
    // folder does not ask the same questions for every entry.
    const FolderFacts& folder_facts() const {
        struct stat fs {};
        if (::stat(path_.c_str(), &fs) != 0) {
            facts_cache_.reset();
            return no_facts_;
        }
        const bool same = facts_cache_ && facts_cache_->dev == fs.st_dev && facts_cache_->ino == fs.st_ino &&
                          facts_cache_->mode == fs.st_mode && facts_cache_->uid == fs.st_uid &&
                          facts_cache_->ctime.tv_sec == fs.st_ctim.tv_sec &&
                          facts_cache_->ctime.tv_nsec == fs.st_ctim.tv_nsec;
        if (!same) {
            facts_cache_ = FactsCache{fs.st_dev, fs.st_ino,  fs.st_mode,
                                      fs.st_uid, fs.st_ctim, folder_facts_of(path_, fs)};
        }
        return facts_cache_->facts;
    }
    struct FactsCache {
        dev_t dev;
        ino_t ino;
        mode_t mode;
        uid_t uid;
        struct timespec ctime;
        FolderFacts facts;
    };
    std::string path_;
    mutable std::optional<FactsCache> facts_cache_;
    static inline const FolderFacts no_facts_{};
};

// Folders whose children are anchors or virtual items: the root and Computer.
class VirtualFolder final : public Folder {
  public:
    VirtualFolder(IdList list, bool computer) : Folder(std::move(list)), computer_(computer) {}

    HRESULT enum_objects(std::uint32_t flags, std::vector<IdList>& out) const override {
        out.clear();
        if (!(flags & SHCONTF_FOLDERS)) return com::S_OK;
        if (computer_) {
            for (const auto& d : drives()) out.push_back(make_item(ItemKind::anchor, d.mount_point));
        } else {
            out.push_back(make_item(ItemKind::anchor, home_directory()));
            out.push_back(make_item(ItemKind::virtual_folder, computer_id));
        }
        return com::S_OK;
    }

    std::uint32_t attributes_of(std::span<const PCIDL> children, std::uint32_t mask) const override {
        if (mask & SFGAO_VALIDATE) validate_mounts();
        mask &= ~SFGAO_VALIDATE;
        constexpr std::uint32_t virtual_bits = SFGAO_FOLDER | SFGAO_HASSUBFOLDER | SFGAO_FILESYSANCESTOR;
        if (children.empty()) return virtual_bits & mask;
        std::uint32_t result = mask;
        for (PCIDL child : children) {
            auto item = single_item(child);
            if (!item) return 0;
            if (item->kind == ItemKind::virtual_folder) {
                result &= virtual_bits;
            } else if (item->kind == ItemKind::anchor) {
                result &= fs_attributes(item->payload, true, mask);
            } else {
                return 0;
            }
        }
        return result;
    }

    std::string display_name_of(PCIDL child, std::uint32_t flags) const override {
        auto item = single_item(child);
        if (!item) return {};
        if (item->kind == ItemKind::virtual_folder)
            return item->payload == computer_id ? "Computer" : std::string{};
        if (item->kind != ItemKind::anchor) return {};
        if (flags & SHGDN_FORPARSING) return item->payload;
        if (!computer_ && item->payload == home_directory()) return "Home";
        if (item->payload == "/") return "File System";
        return display_text(base_name(item->payload));
    }

    int compare_ids(int column, PCIDL a, PCIDL b) const override {
        if (id_list_count(a) == 1 && id_list_count(b) == 1 && !computer_) {
            // The home folder first, then Computer.
            auto ia = single_item(a), ib = single_item(b);
            if (ia && ib && ia->kind != ib->kind) return ia->kind == ItemKind::anchor ? -1 : 1;
        }
        if (computer_ && id_list_count(a) == 1 && id_list_count(b) == 1) {
            auto ia = single_item(a), ib = single_item(b);
            if (ia && ib) {
                // "/" first, then by mount point.
                if (ia->payload == "/" || ib->payload == "/") {
                    return ia->payload == ib->payload ? 0 : (ia->payload == "/" ? -1 : 1);
                }
            }
        }
        return Folder::compare_ids(column, a, b);
    }

    HRESULT parse_display_name(std::string_view name, IdList& out) const override {
        std::vector<IdList> children;
        enum_objects(SHCONTF_FOLDERS, children);
        for (const auto& c : children) {
            if (display_name_of(c.data(), SHGDN_NORMAL) == name ||
                display_name_of(c.data(), SHGDN_FORPARSING) == name) {
                out = c;
                return com::S_OK;
            }
        }
        return hresult_from_errno(ENOENT);
    }

    HRESULT set_name_of(PCIDL, std::string_view, IdList&) const override { return com::E_ACCESSDENIED; }

  private:
    bool computer_;
};

std::string read_user_dir(const std::string& key) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string file =
        (config && *config ? std::string(config) : home_directory() + "/.config") + "/user-dirs.dirs";
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key + "=", 0) != 0) continue;
        std::string v = line.substr(key.size() + 1);
        if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
        if (v.rfind("$HOME", 0) == 0) v = home_directory() + v.substr(5);
        return v;
    }
    return {};
}

std::string percent_decode(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
            out += static_cast<char>(std::stoi(std::string(s.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::string_view trim_blanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// The target path of a ".desktop" link to a file URL, or empty. Lines may end in CR LF and keys
// may have blanks around "=" ("Type = Link"); "file:///p" and "file://localhost/p" are local.
std::string desktop_link_target(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    bool entry = false, is_link = false;
    std::string url;
    while (std::getline(in, line)) {
        const std::string_view text = trim_blanks(line);
        if (!text.empty() && text[0] == '[') {
            entry = text == "[Desktop Entry]";
            continue;
        }
        if (!entry) continue;
        const auto equals = text.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view key = trim_blanks(text.substr(0, equals));
        const std::string_view value = trim_blanks(text.substr(equals + 1));
        if (key == "Type") is_link = value == "Link";
        if (key == "URL") url = value;
    }
    if (!is_link) return {};
    for (const std::string_view local : {"file://localhost/", "file:///"}) {
        if (url.rfind(local, 0) == 0) return percent_decode(std::string_view(url).substr(local.size() - 1));
    }
    return {};
}

}  // namespace

// ---- Folder -------------------------------------------------------------------------------

int Folder::compare_ids(int column, PCIDL a, PCIDL b) const {
    // Several items: item by item, the first difference decides; a shorter list comes first.
    const IdList la = to_id_list(a), lb = to_id_list(b);
    auto ia = decode(la.data()), ib = decode(lb.data());
    if (!ia || !ib) return la < lb ? -1 : (la == lb ? 0 : 1);
    const std::size_t n = std::min(ia->size(), ib->size());
    for (std::size_t i = 0; i < n; ++i) {
        const Item& x = (*ia)[i];
        const Item& y = (*ib)[i];
        if (x.kind != y.kind) return x.kind < y.kind ? -1 : 1;
        if (i == 0 && (ia->size() == 1 && ib->size() == 1) && column != 0) break;
        if (const int c = compare_names(x.payload, y.payload); c != 0) return c;
    }
    if (ia->size() != ib->size()) return ia->size() < ib->size() ? -1 : 1;
    return 0;
}

void Folder::sort_ids(int column, std::vector<PCIDL>& children, bool descending) const {
    std::stable_sort(children.begin(), children.end(), [&](PCIDL a, PCIDL b) {
        const int c = compare_ids(column, a, b);
        return descending ? c > 0 : c < 0;
    });
}

HRESULT Folder::parse_display_name(std::string_view, IdList&) const {
    return com::E_NOTIMPL;
}

HRESULT Folder::set_name_of(PCIDL, std::string_view, IdList&) const {
    return com::E_NOTIMPL;
}

HRESULT Folder::bind_to_object(PCIDL relative, FolderPtr& out) const {
    const IdList whole = concat(list_.data(), relative);
    return bind_folder(whole.data(), out);
}

// ---- binding and paths --------------------------------------------------------------------

FolderPtr desktop_folder() {
    return std::make_shared<VirtualFolder>(empty_id_list(), false);
}

HRESULT bind_folder(PCIDL absolute, FolderPtr& out) {
    out.reset();
    auto items = decode(absolute);
    if (!items) return com::E_INVALIDARG;
    if (items->empty()) {
        out = desktop_folder();
        return com::S_OK;
    }
    if (items->size() == 1 && (*items)[0].kind == ItemKind::virtual_folder) {
        if ((*items)[0].payload != computer_id) return com::E_INVALIDARG;
        out = std::make_shared<VirtualFolder>(to_id_list(absolute), true);
        return com::S_OK;
    }
    auto path = path_of(absolute);
    if (!path) return com::E_INVALIDARG;
    struct stat st {};
    if (::stat(path->c_str(), &st) != 0) return hresult_from_errno(errno);
    if (!S_ISDIR(st.st_mode)) return hresult_from_errno(ENOTDIR);
    out = std::make_shared<FileSystemFolder>(to_id_list(absolute), *path);
    return com::S_OK;
}

std::optional<std::string> path_of(PCIDL absolute) {
    auto items = decode(absolute);
    if (!items) return std::nullopt;
    std::optional<std::string> path;
    for (const auto& item : *items) {
        if (item.kind == ItemKind::anchor) {
            path = item.payload;
        } else if (item.kind == ItemKind::child) {
            if (!path) return std::nullopt;
            *path = join_path(*path, item.payload);
        } else if (path) {
            return std::nullopt;  // a virtual item below a real folder is not ours
        }
    }
    return path;
}

HRESULT parse_path(std::string_view raw, IdList& out) {
    out.clear();
    if (raw.empty() || raw[0] != '/') return com::E_INVALIDARG;
    const std::string path = normalize_path(raw);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return hresult_from_errno(errno);
    std::vector<Item> items;
    std::string anchor;
    const std::string home = normalize_path(home_directory());
    if (home != "/" && (path == home || path.rfind(home + "/", 0) == 0)) {
        anchor = home;
    } else {
        items.push_back({ItemKind::virtual_folder, std::string(computer_id)});
        for (const auto& d : drives()) {
            const std::string& mp = d.mount_point;
            const bool prefix = mp == "/" || path == mp || path.rfind(mp + "/", 0) == 0;
            if (prefix && mp.size() >= anchor.size()) anchor = mp;
        }
    }
    items.push_back({ItemKind::anchor, anchor});
    std::string_view rest = std::string_view(path).substr(anchor.size());
    while (!rest.empty()) {
        if (rest[0] == '/') {
            rest.remove_prefix(1);
            continue;
        }
        const auto slash = rest.find('/');
        const std::string_view name = rest.substr(0, slash);
        if (name.size() > max_name_bytes) return hresult_from_errno(ENAMETOOLONG);
        items.push_back({ItemKind::child, std::string(name)});
        rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash);
    }
    out = encode(items);
    return com::S_OK;
}

std::string display_name(PCIDL absolute, std::uint32_t flags) {
    if (id_list_count(absolute) == 0) return (flags & SHGDN_FORPARSING) ? std::string{} : "Desktop";
    const IdList parent = parent_of(absolute);
    FolderPtr folder;
    if (com::failed(bind_folder(parent.data(), folder))) return {};
    const IdList last = last_item(absolute);
    return folder->display_name_of(last.data(), flags);
}

std::uint32_t attributes(PCIDL absolute, std::uint32_t mask) {
    if (id_list_count(absolute) == 0) {
        if (mask & SFGAO_VALIDATE) validate_mounts();
        return (SFGAO_FOLDER | SFGAO_HASSUBFOLDER | SFGAO_FILESYSANCESTOR) & mask;
    }
    const IdList parent = parent_of(absolute);
    FolderPtr folder;
    if (com::failed(bind_folder(parent.data(), folder))) return 0;
    const IdList last = last_item(absolute);
    return folder->attributes_of(last.data(), mask);
}

bool is_namespace_anchor(PCIDL absolute) {
    auto items = decode(absolute);
    return !items || items->empty() || items->back().kind != ItemKind::child;
}

std::string type_name_of(const std::string& path) {
    struct stat ls {};
    if (::lstat(path.c_str(), &ls) != 0) return {};
    if (S_ISLNK(ls.st_mode)) return "Symbolic Link";
    if (S_ISDIR(ls.st_mode)) return "File Folder";
    const std::string name = base_name(path);
    const auto dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0 && dot + 1 < name.size()) {
        std::string ext = name.substr(dot + 1);
        for (char& c : ext) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        return display_text(ext) + " File";
    }
    if (S_ISREG(ls.st_mode) && (ls.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH))) return "Program";
    return "File";
}

// ---- special folders ----------------------------------------------------------------------

std::string home_directory() {
    if (const char* h = std::getenv("HOME"); h && *h) return normalize_path(h);
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return normalize_path(pw->pw_dir);
    return "/";
}

std::string data_home() {
    if (const char* d = std::getenv("XDG_DATA_HOME"); d && *d == '/') return normalize_path(d);
    return home_directory() + "/.local/share";
}

std::string send_to_directory() {
    return data_home() + "/zor/SendTo";
}

HRESULT special_folder_location(int csidl, IdList& out) {
    out.clear();
    switch (csidl) {
        case CSIDL_DESKTOP:
            out = empty_id_list();
            return com::S_OK;
        case CSIDL_DRIVES:
            out = make_item(ItemKind::virtual_folder, computer_id);
            return com::S_OK;
        case CSIDL_PROFILE:
            return parse_path(home_directory(), out);
        case CSIDL_PERSONAL: {
            const std::string docs = read_user_dir("XDG_DOCUMENTS_DIR");
            if (!docs.empty() && is_directory_following(docs)) return parse_path(docs, out);
            return parse_path(home_directory(), out);
        }
        case CSIDL_DESKTOPDIRECTORY: {
            std::string desk = read_user_dir("XDG_DESKTOP_DIR");
            if (desk.empty()) desk = home_directory() + "/Desktop";
            if (!is_directory_following(desk)) return hresult_from_errno(ENOENT);
            return parse_path(desk, out);
        }
        case CSIDL_SENDTO:
            if (!is_directory_following(send_to_directory())) return hresult_from_errno(ENOENT);
            return parse_path(send_to_directory(), out);
        default:
            return com::E_INVALIDARG;
    }
}

// ---- icons --------------------------------------------------------------------------------

int icon_index(PCIDL absolute, bool open) {
    auto items = decode(absolute);
    if (!items) return icon_file;
    if (items->empty()) return icon_desktop;
    const Item& last = items->back();
    if (last.kind == ItemKind::virtual_folder) return icon_computer;
    if (last.kind == ItemKind::anchor) {
        if (items->size() == 1) return icon_home;
        const Mount* m = mount_of(last.payload);
        const DriveType t = m ? drive_type(*m) : DriveType::fixed;
        if (t == DriveType::remote) return icon_drive_remote;
        if (t == DriveType::removable || t == DriveType::cdrom) return icon_drive_removable;
        return icon_drive_fixed;
    }
    const auto path = path_of(absolute);
    if (!path) return icon_file;
    struct stat st {};
    if (::stat(path->c_str(), &st) != 0) return icon_link;  // a broken link
    if (S_ISDIR(st.st_mode)) return open ? icon_folder_open : icon_folder;
    if (S_ISREG(st.st_mode) && (st.st_mode & S_IXUSR)) return icon_program;
    return icon_file;
}

std::vector<std::uint32_t> icon_pixels(int index, int size) {
    // Small flat pictures: a coloured body with a darker outline. Enough to tell the kinds
    // apart; no icon theme is needed.
    static constexpr std::uint32_t colours[icon_count] = {0xF0F0F0, 0x4AC8F0, 0x6AD8F8, 0x3060C0, 0x808080,
                                                          0x909090, 0x50A050, 0xA05050, 0xC08040, 0x40A0A0,
                                                          0xF0F0F0, 0x2080E0, 0xFFE0C0};
    std::vector<std::uint32_t> px(static_cast<std::size_t>(size * size), 0);
    if (index < 0 || index >= icon_count) return px;
    const std::uint32_t body = colours[index];
    const std::uint32_t edge = (body >> 1) & 0x7F7F7F;
    const bool overlay = index == icon_overlay_share || index == icon_overlay_link;
    const int lo = overlay ? size / 2 : size / 8, hi = size - 1 - size / 8;
    for (int y = lo; y <= hi; ++y) {
        for (int x = overlay ? 0 : lo; x <= (overlay ? size / 2 - 1 : hi); ++x) {
            const bool border = y == lo || y == hi || x == lo || x == hi;
            px[static_cast<std::size_t>(y * size + x)] = border ? edge : body;
        }
    }
    return px;
}

// ---- shortcuts ----------------------------------------------------------------------------

bool is_shortcut(const std::string& path) {
    struct stat ls {};
    if (::lstat(path.c_str(), &ls) != 0) return false;
    if (S_ISLNK(ls.st_mode)) return true;
    return S_ISREG(ls.st_mode) && ends_with(path, ".desktop") && !desktop_link_target(path).empty();
}

std::optional<LinkTarget> resolve_shortcut(const std::string& path) {
    struct stat ls {};
    if (::lstat(path.c_str(), &ls) != 0) return std::nullopt;
    std::string target;
    if (S_ISLNK(ls.st_mode)) {
        char* real = ::realpath(path.c_str(), nullptr);
        if (!real) return std::nullopt;
        target = real;
        std::free(real);
    } else if (S_ISREG(ls.st_mode) && ends_with(path, ".desktop")) {
        target = desktop_link_target(path);
    }
    if (target.empty()) return std::nullopt;
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0) return std::nullopt;
    return LinkTarget{target, S_ISDIR(st.st_mode)};
}

}  // namespace platform::shell
