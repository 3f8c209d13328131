#include "platform/shell/file_ops.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/forms/message_dialog.h"
#include "platform/shell/mounts.h"

extern char** environ;

namespace platform::shell {
namespace {

bool exists_no_follow(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

void show_box(forms::DialogType type, const std::string& text) {
    forms::MessageBoxRequest r;
    r.type = type;
    r.caption = forms::dialog_caption(type);
    r.text = text;
    r.buttons = {forms::DialogButton::ok};
    r.stay_on_top = true;
    forms::show_message_dialog(r);
}

bool ask(const std::string& text) {
    forms::MessageBoxRequest r;
    r.type = forms::DialogType::confirmation;
    r.caption = forms::dialog_caption(r.type);
    r.text = text;
    r.buttons = {forms::DialogButton::yes, forms::DialogButton::no};
    r.stay_on_top = true;
    return forms::show_message_dialog(r) == forms::mr_yes;
}

// ---- trash ----------------------------------------------------------------------------------

std::string percent_encode_path(const std::string& path) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : path) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '/' || c == '-' || c == '_' || c == '.' || c == '~';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// The name of the n-th try at a trash name for `name`: the name, then "name.2", "name.3"...
// Cut (at a character boundary where the bytes are UTF-8) so that the record's name, with
// ".trashinfo", still fits a file name; the record keeps the whole original path.
std::string trash_name(const std::string& name, int n) {
    static constexpr std::size_t record_suffix = sizeof ".trashinfo" - 1;
    const std::string number = n == 1 ? std::string{} : "." + std::to_string(n);
    const std::size_t room = max_name_bytes - record_suffix - number.size();
    if (name.size() <= room) return name + number;
    std::size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    if (cut == 0) cut = room;
    return name.substr(0, cut) + number;
}

bool ensure_dir(const std::string& path, mode_t mode) {
    if (::mkdir(path.c_str(), mode) == 0) return true;
    if (errno != EEXIST) return false;
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ensure_dirs(const std::string& path, mode_t mode) {
    if (path.empty() || path == "/") return true;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    return ensure_dirs(dir_name(path), mode) && ensure_dir(path, mode);
}

struct Trash {
    std::string dir;     // holds files/ and info/
    std::string topdir;  // for a top-directory trash: the paths in info are relative to it
};

// The trash for an entry on device `dev`: the home trash when it is on that device, else the
// top directory's ".Trash-<uid>" (created if need be).
std::optional<Trash> trash_for(const std::string& path, dev_t dev) {
    const std::string home_trash = data_home() + "/Trash";
    if (ensure_dirs(home_trash + "/files", 0700) && ensure_dirs(home_trash + "/info", 0700)) {
        struct stat st {};
        if (::stat(home_trash.c_str(), &st) == 0 && st.st_dev == dev) return Trash{home_trash, {}};
    }
    const Mount* m = mount_of(path);
    if (!m) return std::nullopt;
    const std::string top = m->mount_point;
    const std::string uid = std::to_string(::getuid());
    // An administrator-made "$top/.Trash" is used only when it is a real, sticky folder.
    struct stat st {};
    const std::string shared = join_path(top, ".Trash");
    if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        const std::string mine = join_path(shared, uid);
        if (ensure_dir(mine, 0700) && ensure_dir(mine + "/files", 0700) && ensure_dir(mine + "/info", 0700)) {
            return Trash{mine, top};
        }
    }
    const std::string own = join_path(top, ".Trash-" + uid);
    if (ensure_dir(own, 0700) && ensure_dir(own + "/files", 0700) && ensure_dir(own + "/info", 0700)) {
        struct stat os {};
        if (::lstat(own.c_str(), &os) == 0 && os.st_uid == ::getuid()) return Trash{own, top};
    }
    return std::nullopt;
}

// ---- copying --------------------------------------------------------------------------------

HRESULT copy_entry(const std::string& from, const std::string& to);

HRESULT copy_file(const std::string& from, const std::string& to, mode_t mode) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return hresult_from_errno(errno);
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode & 07777);
    if (out < 0) {
        const int e = errno;
        ::close(in);
        return hresult_from_errno(e);
    }
    char buf[65536];
    HRESULT hr = com::S_OK;
    for (;;) {
        const ssize_t n = ::read(in, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            hr = hresult_from_errno(errno);
            break;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buf + done, static_cast<std::size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                hr = hresult_from_errno(errno);
                break;
            }
            done += w;
        }
        if (com::failed(hr)) break;
    }
    if (::close(out) != 0 && com::succeeded(hr)) hr = hresult_from_errno(errno);
    ::close(in);
    if (com::failed(hr)) ::unlink(to.c_str());  // no half copy is left behind
    return hr;
}

HRESULT copy_entry(const std::string& from, const std::string& to) {
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0) return hresult_from_errno(errno);
    if (S_ISLNK(st.st_mode)) {
        std::string target(static_cast<std::size_t>(st.st_size) + 1, '\0');
        const ssize_t n = ::readlink(from.c_str(), target.data(), target.size());
        if (n < 0) return hresult_from_errno(errno);
        target.resize(static_cast<std::size_t>(n));
        return ::symlink(target.c_str(), to.c_str()) == 0 ? com::S_OK : hresult_from_errno(errno);
    }
    if (S_ISDIR(st.st_mode)) {
        if (::mkdir(to.c_str(), (st.st_mode & 07777) | S_IRWXU) != 0) return hresult_from_errno(errno);
        DIR* dir = ::opendir(from.c_str());
        if (!dir) return hresult_from_errno(errno);
        HRESULT hr = com::S_OK;
        while (const dirent* e = ::readdir(dir)) {
            if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
            hr = copy_entry(join_path(from, e->d_name), join_path(to, e->d_name));
            if (com::failed(hr)) break;
        }
        ::closedir(dir);
        return hr;
    }
    if (S_ISREG(st.st_mode)) return copy_file(from, to, st.st_mode);
    return hresult_from_errno(ENOTSUP);
}

int remove_one(const char* path, const struct stat*, int flag, struct FTW*) {
    return (flag == FTW_DP ? ::rmdir(path) : ::unlink(path)) == 0 ? 0 : -1;
}

// Removes a tree for good, never following links (after a copy has succeeded).
HRESULT remove_tree(const std::string& path) {
    if (::nftw(path.c_str(), remove_one, 32, FTW_PHYS | FTW_DEPTH) != 0) return hresult_from_errno(errno);
    return com::S_OK;
}

// The first of "name", "name (2)", "name (3)"... that is free in `folder`; the number goes
// before an extension, so "a.txt" becomes "a (2).txt".
std::string free_name_in(const std::string& folder, const std::string& name) {
    const auto dot = name.find_last_of('.');
    const bool has_extension = dot != std::string::npos && dot > 0;
    const std::string stem = has_extension ? name.substr(0, dot) : name;
    const std::string extension = has_extension ? name.substr(dot) : std::string{};
    std::string candidate = join_path(folder, name);
    for (int n = 2; exists_no_follow(candidate); ++n)
        candidate = join_path(folder, stem + " (" + std::to_string(n) + ")" + extension);
    return candidate;
}

// ---- drop targets -----------------------------------------------------------------------------

class FolderDropTarget final : public com::ComObject<IDropTarget> {
  public:
    explicit FolderDropTarget(std::string folder) : folder_(std::move(folder)) {}

    HRESULT DragEnter(IDataObject* data, std::uint32_t keys, POINTL, std::uint32_t* effect) override {
        take_paths(data);
        return choose(keys, effect);
    }
    HRESULT DragOver(std::uint32_t keys, POINTL, std::uint32_t* effect) override {
        return choose(keys, effect);
    }
    HRESULT DragLeave() override {
        paths_.clear();
        refused_ = true;
        return com::S_OK;
    }
    HRESULT Drop(IDataObject* data, std::uint32_t keys, POINTL, std::uint32_t* effect) override {
        take_paths(data);
        const HRESULT hr = choose(keys, effect);
        if (com::failed(hr) || !effect || *effect == DROPEFFECT_NONE) return hr;
        // A name the folder has already is asked about, item by item (transfer_into); when
        // every item was left where it was, the source is told that nothing was dropped.
        std::size_t done = 0;
        const HRESULT moved = transfer_into(paths_, folder_, *effect, &done);
        if (com::succeeded(moved) && done == 0) *effect = DROPEFFECT_NONE;
        return moved;
    }

  private:
    // Whether the folder takes the paths at all is settled once per drag, not at every move of
    // the pointer (each answer resolves the links of every path).
    void take_paths(IDataObject* data) {
        paths_ = paths_of_data_object(data);
        refused_ = paths_.empty() || std::any_of(paths_.begin(), paths_.end(), [&](const std::string& p) {
                       return contains_path(p, folder_);
                   });
    }

    HRESULT choose(std::uint32_t keys, std::uint32_t* effect) {
        if (!effect) return com::E_INVALIDARG;
        const std::uint32_t allowed = *effect;
        std::uint32_t want = DROPEFFECT_NONE;
        if (!refused_) {
            if ((keys & MK_CONTROL) && (keys & MK_SHIFT)) {
                want = DROPEFFECT_LINK;
            } else if (keys & MK_ALT) {
                want = DROPEFFECT_LINK;
            } else if (keys & MK_CONTROL) {
                want = DROPEFFECT_COPY;
            } else if (keys & MK_SHIFT) {
                want = DROPEFFECT_MOVE;
            } else if (keys & MK_RBUTTON) {
                want = DROPEFFECT_COPY;
            } else {
                struct stat a {
                }, b{};
                const bool same = ::stat(paths_.front().c_str(), &a) == 0 &&
                                  ::stat(folder_.c_str(), &b) == 0 && a.st_dev == b.st_dev;
                want = same ? DROPEFFECT_MOVE : DROPEFFECT_COPY;
            }
            if (!(allowed & want)) want = (allowed & DROPEFFECT_COPY) ? DROPEFFECT_COPY : DROPEFFECT_NONE;
            // Moving items into the folder they are in moves nothing.
            const std::string here = normalize_path(folder_);
            if (want == DROPEFFECT_MOVE &&
                std::all_of(paths_.begin(), paths_.end(),
                            [&](const std::string& p) { return dir_name(normalize_path(p)) == here; }))
                want = DROPEFFECT_NONE;
        }
        *effect = want;
        return com::S_OK;
    }

    std::string folder_;
    std::vector<std::string> paths_;
    bool refused_ = true;
};

class ProgramDropTarget final : public com::ComObject<IDropTarget> {
  public:
    explicit ProgramDropTarget(std::string program) : program_(std::move(program)) {}
    HRESULT DragEnter(IDataObject*, std::uint32_t, POINTL, std::uint32_t* effect) override {
        return copy_only(effect);
    }
    HRESULT DragOver(std::uint32_t, POINTL, std::uint32_t* effect) override { return copy_only(effect); }
    HRESULT DragLeave() override { return com::S_OK; }
    HRESULT Drop(IDataObject* data, std::uint32_t, POINTL, std::uint32_t* effect) override {
        const auto paths = paths_of_data_object(data);
        if (paths.empty()) return com::E_INVALIDARG;
        std::vector<char*> argv;
        argv.push_back(program_.data());
        std::vector<std::string> copies(paths);
        for (auto& p : copies) argv.push_back(p.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        const int rc = ::posix_spawn(&pid, program_.c_str(), nullptr, nullptr, argv.data(), environ);
        if (rc != 0) return hresult_from_errno(rc);
        if (effect) *effect = DROPEFFECT_COPY;
        return com::S_OK;
    }

  private:
    static HRESULT copy_only(std::uint32_t* effect) {
        if (effect) *effect &= DROPEFFECT_COPY;
        return com::S_OK;
    }
    std::string program_;
};

Opener& opener() {
    static Opener o;
    return o;
}

HRESULT spawn_xdg_open(const std::string& path) {
    std::string tool = "xdg-open";
    std::string arg = path;
    char* argv[] = {tool.data(), arg.data(), nullptr};
    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ);
    if (rc != 0) return hresult_from_errno(rc);
    // The opener hands the file on and ends quickly; reap it so no zombie is left.
    int status = 0;
    ::waitpid(pid, &status, 0);
    return (WIFEXITED(status) && WEXITSTATUS(status) == 0) ? com::S_OK : com::E_FAIL;
}

}  // namespace

HRESULT create_directory(const std::string& path) {
    if (::mkdir(path.c_str(), 0777) == 0) return com::S_OK;
    return hresult_from_errno(errno);
}

std::optional<std::string> deletion_refused(const std::string& path) {
    validate_mounts();
    return change_refused(path);
}

HRESULT move_to_trash(const std::string& raw, std::string* info_file) {
    if (deletion_refused(raw)) return com::E_ACCESSDENIED;
    const std::string path = normalize_path(raw);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return hresult_from_errno(errno);
    auto trash = trash_for(path, st.st_dev);
    if (!trash) return com::E_ACCESSDENIED;
    std::string recorded = path;
    if (!trash->topdir.empty() && trash->topdir != "/")
        recorded = path.substr(trash->topdir.size() + 1);
    else if (!trash->topdir.empty())
        recorded = path.substr(1);
    char when[32];
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%S", &tm);
    const std::string text =
        "[Trash Info]\nPath=" + percent_encode_path(recorded) + "\nDeletionDate=" + when + "\n";
    // A trash name is taken only when it is free in both files/ and info/: the record is made
    // with O_EXCL and the entry moved in without replacing, so nothing in the trash is ever
    // overwritten, by another deletion or by something put into files/ by hand.
    const std::string name = base_name(path);
    for (int n = 1; n < 10000; ++n) {
        const std::string stem = trash_name(name, n);
        const std::string target = trash->dir + "/files/" + stem;
        if (exists_no_follow(target)) continue;
        const std::string info = trash->dir + "/info/" + stem + ".trashinfo";
        const int fd = ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return hresult_from_errno(errno);
        }
        const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        const bool closed = ::close(fd) == 0;
        if (!written || !closed) {
            ::unlink(info.c_str());
            return com::E_FAIL;
        }
        if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
            int e = errno;
            if (e == EINVAL || e == ENOSYS) {
                // A file system without no-replace renames: it was free a moment ago.
                e = exists_no_follow(target) ? EEXIST
                                             : (::rename(path.c_str(), target.c_str()) == 0 ? 0 : errno);
            }
            if (e != 0) {
                ::unlink(info.c_str());  // nothing was moved: take the record back
                if (e == EEXIST) continue;
                return hresult_from_errno(e);
            }
        }
        if (info_file) *info_file = info;
        return com::S_OK;
    }
    return hresult_from_errno(EEXIST);
}

Opener set_opener(Opener o) {
    return std::exchange(opener(), std::move(o));
}

HRESULT open_with_desktop(const std::string& path) {
    if (opener()) return opener()(path);
    return spawn_xdg_open(path);
}

HRESULT transfer_into(const std::vector<std::string>& paths, const std::string& folder, std::uint32_t effect,
                      std::size_t* done) {
    if (done) *done = 0;
    const std::string dest = normalize_path(folder);
    // Refusals come before anything is done, so a refused batch changes nothing.
    const char* doing =
        effect == DROPEFFECT_MOVE ? "moved" : (effect == DROPEFFECT_LINK ? "linked" : "copied");
    for (const auto& raw : paths) {
        if (contains_path(raw, folder)) {
            show_box(forms::DialogType::warning, "'" + display_text(raw) + "' cannot be " + doing +
                                                     " into '" + display_text(folder) +
                                                     "': it is that folder or holds it.");
            return com::E_INVALIDARG;
        }
        if (effect != DROPEFFECT_MOVE) continue;
        if (auto why = deletion_refused(raw)) {
            show_box(forms::DialogType::warning,
                     "'" + display_text(raw) + "' cannot be moved: " + *why + ".");
            return com::E_ACCESSDENIED;
        }
    }
    for (const auto& raw : paths) {
        const std::string from = normalize_path(raw);
        const std::string name = base_name(from);
        std::string to = join_path(dest, name);
        if (exists_no_follow(to)) {
            // Moving an item into the folder it is in changes nothing.
            if (effect == DROPEFFECT_MOVE && dir_name(from) == dest) continue;
            // Nothing is ever overwritten: both are kept, or this item is left where it is.
            to = free_name_in(dest, name);
            if (!ask("'" + display_text(name) + "' is already in '" + display_text(dest) +
                     "'.\n\nKeep both, with the new one named '" + display_text(base_name(to)) + "'?")) {
                continue;
            }
        }
        HRESULT hr = com::S_OK;
        if (effect == DROPEFFECT_LINK) {
            hr = ::symlink(from.c_str(), to.c_str()) == 0 ? com::S_OK : hresult_from_errno(errno);
        } else if (effect == DROPEFFECT_MOVE) {
            if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
                if (errno != EXDEV) return hresult_from_errno(errno);
                hr = copy_entry(from, to);
                if (com::succeeded(hr)) hr = remove_tree(from);
            }
        } else if (effect == DROPEFFECT_COPY) {
            hr = copy_entry(from, to);
            if (com::failed(hr)) {
                struct stat st {};
                if (::lstat(to.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) remove_tree(to);
            }
        } else {
            return com::E_INVALIDARG;
        }
        if (com::failed(hr)) return hr;
        if (done) ++*done;
    }
    return com::S_OK;
}

com::ComPtr<IDropTarget> make_folder_drop_target(const std::string& folder) {
    return com::ComPtr<IDropTarget>::adopt(new FolderDropTarget(folder));
}

com::ComPtr<IDropTarget> make_program_drop_target(const std::string& program) {
    return com::ComPtr<IDropTarget>::adopt(new ProgramDropTarget(program));
}

com::ComPtr<IDropTarget> drop_target_for_path(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    if (S_ISDIR(st.st_mode)) {
        if (auto link = resolve_shortcut(path)) return make_folder_drop_target(link->path);
        return make_folder_drop_target(path);
    }
    if (S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0) return make_program_drop_target(path);
    return {};
}

std::vector<std::string> send_to_entries() {
    std::vector<std::string> out;
    const std::string dir = send_to_directory();
    DIR* d = ::opendir(dir.c_str());
    if (!d) return out;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.empty() || name[0] == '.') continue;
        struct stat ls {};
        if (::lstat(join_path(dir, name).c_str(), &ls) != 0) continue;
        if (S_ISDIR(ls.st_mode)) continue;  // a real folder is skipped; a link to one is a target
        out.push_back(name);
    }
    ::closedir(d);
    std::sort(out.begin(), out.end());
    return out;
}

// ---- ContextMenu ------------------------------------------------------------------------------

ContextMenu::ContextMenu(FolderPtr folder, std::vector<IdList> children)
    : folder_(std::move(folder)), children_(std::move(children)) {
    std::vector<PCIDL> raw;
    for (const auto& c : children_) {
        raw.push_back(c.data());
        const IdList whole = concat(folder_->id_list().data(), c.data());
        if (auto p = path_of(whole.data())) paths_.push_back(*p);
    }
    attributes_ = raw.empty() ? 0 : folder_->attributes_of(raw, 0xFFFFFFFFu & ~SFGAO_VALIDATE);
    // Items without a path (the root's and Computer's virtual entries) can only be opened.
    if (paths_.size() != children_.size()) attributes_ &= SFGAO_FOLDER;
}

bool ContextMenu::offered(int offset, std::uint32_t flags) const {
    if (children_.empty()) return false;
    const bool all_paths = paths_.size() == children_.size();
    switch (offset) {
        case verb_open:
            return true;
        case verb_cut:
            return all_paths && (attributes_ & SFGAO_CANMOVE);
        case verb_copy:
            return all_paths && (attributes_ & SFGAO_CANCOPY);
        case verb_rename:
            return (flags & CMF_CANRENAME) && children_.size() == 1 && (attributes_ & SFGAO_CANRENAME);
        case verb_paste:
            return all_paths && children_.size() == 1 && (attributes_ & SFGAO_DROPTARGET) &&
                   !shell_clipboard().empty();
        case verb_delete:
            return all_paths && (attributes_ & SFGAO_CANDELETE);
        case verb_properties:
            return all_paths;
        default:
            return false;
    }
}

std::vector<MenuCommand> ContextMenu::query(std::uint32_t flags) const {
    static const MenuCommand all[] = {
        {verb_open, "open", "&Open", "Opens the selected item.", true},
        {verb_cut, "cut", "Cu&t", "Removes the selected items and puts them on the clipboard.", false},
        {verb_copy, "copy", "&Copy", "Copies the selected items to the clipboard.", false},
        {verb_paste, "paste", "&Paste", "Inserts the items you have copied or cut into this folder.", false},
        {verb_delete, "delete", "&Delete", "Moves the selected items to the trash.", false},
        {verb_rename, "rename", "Rena&me", "Renames the selected item.", false},
        {verb_properties, "properties", "P&roperties", "Shows the properties of the selected items.", false},
    };
    std::vector<MenuCommand> out;
    for (const auto& c : all) {
        if ((flags & CMF_DEFAULTONLY) && !c.is_default) continue;
        if (offered(c.offset, flags)) out.push_back(c);
        if (c.offset == verb_copy && !(flags & CMF_DEFAULTONLY) && paths_.size() == children_.size() &&
            !children_.empty()) {
            out.push_back({-1, {}, "Se&nd To", {}, false});
        }
    }
    return out;
}

std::optional<std::string> ContextMenu::verb_of(int offset) const {
    for (const auto& c : query(CMF_CANRENAME))
        if (c.offset == offset && offset >= 0) return c.verb;
    return std::nullopt;
}

std::optional<std::string> ContextMenu::help_of(int offset) const {
    for (const auto& c : query(CMF_CANRENAME))
        if (c.offset == offset && offset >= 0) return c.help;
    return std::nullopt;
}

HRESULT ContextMenu::invoke(int offset) {
    if (!offered(offset, CMF_CANRENAME)) return com::E_INVALIDARG;
    switch (offset) {
        case verb_open: {
            if (paths_.empty()) return com::S_OK;  // a virtual folder: the controls browse into it
            HRESULT last = com::S_OK;
            for (const auto& p : paths_) {
                const HRESULT hr = open_with_desktop(p);
                if (com::failed(hr)) {
                    show_box(forms::DialogType::error,
                             "Unable to open '" + display_text(p) + "'.\n\n" + error_text(hr));
                    last = hr;
                }
            }
            return last;
        }
        case verb_cut:
        case verb_copy:
            shell_clipboard().set(paths_, offset == verb_cut ? DROPEFFECT_MOVE : DROPEFFECT_COPY);
            return com::S_OK;
        case verb_paste: {
            const auto& clip = shell_clipboard();
            const std::uint32_t effect = clip.effect();
            const auto sources = clip.paths();
            const HRESULT hr = transfer_into(sources, paths_.front(), effect);
            // A refusal has been explained by transfer_into already.
            if (com::failed(hr) && hr != com::E_INVALIDARG && hr != com::E_ACCESSDENIED) {
                show_box(forms::DialogType::warning,
                         "Unable to paste into '" + display_text(paths_.front()) + "'.\n\n" + error_text(hr));
            } else if (effect == DROPEFFECT_MOVE) {
                shell_clipboard().clear();
            }
            return hr;
        }
        case verb_delete:
            return delete_items();
        case verb_rename:
            return com::E_NOTIMPL;
        case verb_properties:
            return show_properties();
        default:
            return com::E_INVALIDARG;
    }
}

HRESULT ContextMenu::delete_items() {
    for (const auto& p : paths_) {
        if (auto why = deletion_refused(p)) {
            show_box(forms::DialogType::warning,
                     "'" + display_text(p) + "' cannot be deleted: " + *why + ".");
            return com::E_ACCESSDENIED;
        }
    }
    const std::string question =
        paths_.size() == 1
            ? "Are you sure you want to move '" + display_text(base_name(paths_.front())) + "' to the trash?"
            : "Are you sure you want to move these " + std::to_string(paths_.size()) + " items to the trash?";
    if (!ask(question)) return com::E_ABORT;
    for (const auto& p : paths_) {
        const HRESULT hr = move_to_trash(p);
        if (com::failed(hr)) {
            show_box(forms::DialogType::warning,
                     "Unable to move '" + display_text(p) + "' to the trash.\n\n" + error_text(hr));
            return hr;
        }
    }
    return com::S_OK;
}

HRESULT ContextMenu::show_properties() {
    std::string text;
    for (const auto& p : paths_) {
        struct stat st {};
        if (!text.empty()) text += "\n\n";
        text += "Name: " + display_text(base_name(p)) + "\nType: " + type_name_of(p) +
                "\nLocation: " + display_text(dir_name(p));
        if (::lstat(p.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) text += "\nSize: " + std::to_string(st.st_size) + " bytes";
            char when[64];
            std::tm tm{};
            ::localtime_r(&st.st_mtime, &tm);
            std::strftime(when, sizeof when, "%Y/%m/%d %H:%M:%S", &tm);
            text += std::string("\nModified: ") + when;
        }
    }
    show_box(forms::DialogType::information, text);
    return com::S_OK;
}

}  // namespace platform::shell
